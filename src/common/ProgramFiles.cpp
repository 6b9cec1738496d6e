#include "common/ProgramFiles.h"

#include "common/Globals.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <unistd.h>

namespace zw {

namespace fs = std::filesystem;

namespace {

fs::path SharedDataFileName(const std::string& name)
{
    return (fs::path(ProgramPath()) / ".." / "share" / "zwirbels" / name).lexically_normal();
}

// An installed program: its data lives in ../share/zwirbels, not beside it.
// Its folder (say /usr/bin) is no place for a user's files even when root
// may write there.
bool IsInstalled()
{
    std::error_code error;
    return !fs::exists(ProgramPath() + "RuleHelp.txt", error) && fs::exists(SharedDataFileName("RuleHelp.txt"), error);
}

} // namespace

std::string DataFileName(const std::string& name)
{
    const std::string beside = ProgramPath() + name;
    std::error_code error;
    if (fs::exists(beside, error))
        return beside;
    const fs::path shared = SharedDataFileName(name);
    return fs::exists(shared, error) ? shared.string() : beside;
}

const std::string& WriteFolder()
{
    // A folder that turned read-only between start and close must not split
    // reading and writing over two places.
    static std::string decidedFor;
    static std::string folder;
    if (folder.empty() || decidedFor != ProgramPath()) {
        decidedFor = ProgramPath();
        folder = ::access(decidedFor.c_str(), W_OK) == 0 && !IsInstalled() ? decidedFor : UserConfigFolder();
    }
    return folder;
}

std::string WritableFileName(const std::string& name)
{
    std::error_code ignored; // shows as the write's own error
    fs::create_directories(WriteFolder(), ignored);
    return WriteFolder() + name;
}

std::string UserConfigFolder()
{
    // Relative values of XDG_CONFIG_HOME are to be ignored.
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    std::string folder;
    if (configHome && configHome[0] == '/') {
        folder = configHome;
    } else if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
        folder = std::string(home) + "/.config";
    } else {
        return ProgramPath();
    }
    if (folder.back() != '/')
        folder += '/';
    return folder + "zwirbels/";
}

} // namespace zw
