#include "SafeFile.h"

#include "Exceptions.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zw {

void WriteFileAtomically(const std::string& fileName, const std::string& contents)
{
    std::string pattern = fileName + ".XXXXXX";
    std::vector<char> tempName(pattern.begin(), pattern.end());
    tempName.push_back('\0');
    const int fd = mkstemp(tempName.data());
    if (fd < 0)
        throw EInOutError(errno);

    auto fail = [&](int error) {
        ::close(fd);
        ::unlink(tempName.data());
        throw EInOutError(error);
    };

    const char* data = contents.data();
    std::size_t left = contents.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    if (::fsync(fd) != 0)
        fail(errno);
    // mkstemp makes the file private to the user; keep the mode of the file it
    // replaces, or give a new file the usual one.
    struct stat previous {};
    ::fchmod(fd, ::stat(fileName.c_str(), &previous) == 0 ? (previous.st_mode & 07777) : 0644);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(tempName.data());
        throw EInOutError(error);
    }
    if (std::rename(tempName.data(), fileName.c_str()) != 0) {
        const int error = errno;
        ::unlink(tempName.data());
        throw EInOutError(error);
    }
}

std::string ReadWholeFile(const std::string& fileName)
{
    return ReadFileUpTo(fileName, SIZE_MAX);
}

std::string ReadFileUpTo(const std::string& fileName, std::size_t limit)
{
    std::FILE* file = std::fopen(fileName.c_str(), "rb");
    if (!file)
        throw EInOutError(errno);
    std::string contents;
    char buffer[65536];
    std::size_t n = 0;
    while (contents.size() <= limit && (n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        contents.append(buffer, n);
    const bool failed = std::ferror(file) != 0;
    const int error = errno;
    std::fclose(file);
    if (failed)
        throw EInOutError(error);
    return contents;
}

} // namespace zw
