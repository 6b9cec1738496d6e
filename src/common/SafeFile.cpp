#include "SafeFile.h"

#include "Exceptions.h"
#include "TextLines.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace zw {
namespace {

// A temporary file is the target's name, this mark and six characters of
// mkstemp's alphabet: a name nobody gives a file of their own.
constexpr std::string_view kTemporaryMark = ".zwtmp.";
constexpr std::size_t kRandomLength = 6;

bool IsRandomPart(std::string_view text)
{
    if (text.size() != kRandomLength)
        return false;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
            return false;
    return true;
}

// Where a chain of symbolic links starting at `fileName` ends; `fileName`
// itself when it is no link. A dangling link names the file to create.
std::string LinkTarget(const std::string& fileName)
{
    namespace fs = std::filesystem;
    fs::path path = fileName;
    // The system's own bound on links followed in one path.
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(path, error)))
            return path.string();
        const fs::path target = fs::read_symlink(path, error);
        if (error)
            throw EInOutError(TFileAccess::Write, fileName, error.value());
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    throw EInOutError(TFileAccess::Write, fileName, ELOOP);
}

// Closes a descriptor when the reading or writing around it ends.
class TFileDescriptor {
public:
    explicit TFileDescriptor(int fd) : FFd(fd) {}
    ~TFileDescriptor()
    {
        if (FFd >= 0)
            ::close(FFd);
    }
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;
    int Get() const { return FFd; }
    // Closes now; false (errno set) when the close reported a failure.
    bool Close()
    {
        const int fd = FFd;
        FFd = -1;
        return ::close(fd) == 0;
    }

private:
    int FFd;
};

void WriteAll(int fd, const std::string& contents, const std::string& fileName)
{
    const char* data = contents.data();
    std::size_t left = contents.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            throw EInOutError(TFileAccess::Write, fileName, errno);
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
}

} // namespace

void WriteFileAtomically(const std::string& fileName, const std::string& contents)
{
    const std::string target = LinkTarget(fileName);
    std::string pattern = target + std::string(kTemporaryMark) + std::string(kRandomLength, 'X');
    std::vector<char> tempName(pattern.begin(), pattern.end());
    tempName.push_back('\0');
    TFileDescriptor file(::mkstemp(tempName.data()));
    if (file.Get() < 0)
        throw EInOutError(TFileAccess::Write, fileName, errno);
    try {
        WriteAll(file.Get(), contents, fileName);
        if (::fsync(file.Get()) != 0)
            throw EInOutError(TFileAccess::Write, fileName, errno);
        // mkstemp makes the file private to the user; keep the mode of the
        // file it replaces, or give a new file the usual one.
        struct stat previous {};
        ::fchmod(file.Get(), ::stat(target.c_str(), &previous) == 0 ? (previous.st_mode & 07777) : 0644);
        if (!file.Close() || std::rename(tempName.data(), target.c_str()) != 0)
            throw EInOutError(TFileAccess::Write, fileName, errno);
    } catch (...) {
        ::unlink(tempName.data());
        throw;
    }
}

void RemoveLeftoverTemporaries(const std::string& fileName)
{
    namespace fs = std::filesystem;
    fs::path target;
    try {
        target = LinkTarget(fileName);
    } catch (const EInOutError&) {
        return; // a broken link chain: nothing was written through it
    }
    std::error_code error;
    const std::string base = target.filename().string();
    fs::directory_iterator entries(target.parent_path().empty() ? fs::path(".") : target.parent_path(), error);
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        const std::string name = entries->path().filename().string();
        if (!name.starts_with(base))
            continue;
        const std::string_view rest = std::string_view(name).substr(base.size());
        // Only the names WriteFileAtomically makes: "zwirbels.INI.Live01" is the user's.
        const bool ours = rest.starts_with(kTemporaryMark) && IsRandomPart(rest.substr(kTemporaryMark.size()));
        struct stat info {};
        if (ours && ::lstat(entries->path().c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            info.st_uid == ::geteuid())
            ::unlink(entries->path().c_str());
    }
}

std::string ReadRegularFile(const std::string& fileName, std::size_t limit)
{
    // Not blocking: opening a pipe must not wait for a writer.
    TFileDescriptor file(::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.Get() < 0)
        throw EInOutError(TFileAccess::Read, fileName, errno);
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0)
        throw EInOutError(TFileAccess::Read, fileName, errno);
    if (!S_ISREG(info.st_mode))
        throw EInOutError(TFileAccess::Read, fileName,
                          S_ISDIR(info.st_mode) ? std::string("a folder, not a file") : std::string("not a regular file"));
    const auto tooLarge = [&] { return EInOutError(TFileAccess::Read, fileName, Format("larger than %zu bytes", limit)); };
    if (static_cast<std::uintmax_t>(info.st_size) > limit)
        throw tooLarge();
    std::string contents;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(file.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw EInOutError(TFileAccess::Read, fileName, errno);
        if (n == 0)
            return contents;
        // The file may grow while it is read.
        if (static_cast<std::size_t>(n) > limit - contents.size())
            throw tooLarge();
        contents.append(buffer, static_cast<std::size_t>(n));
    }
}

std::string ReadWholeFile(const std::string& fileName) { return ReadRegularFile(fileName); }

void IgnoreFileSizeSignal() { std::signal(SIGXFSZ, SIG_IGN); }

} // namespace zw
