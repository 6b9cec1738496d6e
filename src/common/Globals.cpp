#include "Globals.h"

#include <unistd.h>

namespace zw {
namespace {

std::string ExecutableFolder()
{
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return "./";
    std::string path(buffer, static_cast<std::size_t>(n));
    return path.substr(0, path.rfind('/') + 1);
}

std::string& StoredProgramPath()
{
    static std::string path = ExecutableFolder();
    return path;
}

} // namespace

const std::string& ProgramPath() { return StoredProgramPath(); }

void SetProgramPath(std::string path)
{
    if (path.empty() || path.back() != '/')
        path += '/';
    StoredProgramPath() = std::move(path);
}

} // namespace zw
