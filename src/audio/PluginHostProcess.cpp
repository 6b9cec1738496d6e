#include "audio/PluginHostProcess.h"

#include "audio/Lv2World.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>

extern char** environ;

namespace zw {
namespace {

// A descriptor of this process's own, above the ones a child is given, and
// never inherited by accident.
int Owned(int fd)
{
    if (fd < 0)
        return fd;
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 10);
    ::close(fd);
    return moved;
}

void Close(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

std::string SignalName(int signal)
{
    const char* abbreviation = sigabbrev_np(signal);
    return abbreviation ? std::string("SIG") + abbreviation : "signal " + std::to_string(signal);
}

// Takes the complete lines out of `pending`.
std::vector<std::string> TakeLines(std::string& pending)
{
    std::vector<std::string> lines;
    for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
        lines.push_back(pending.substr(0, end));
        pending.erase(0, end + 1);
    }
    return lines;
}

// Reads what `fd` holds now into `pending`; false at its end or on an error.
bool ReadAvailable(int fd, std::string& pending)
{
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            pending.append(buffer, static_cast<size_t>(got));
            continue;
        }
        return got < 0 && (errno == EAGAIN || errno == EINTR);
    }
}

} // namespace

std::string TPluginHostProcess::HostProgram()
{
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return (self.parent_path() / "zwirbels-plugin-host").string();
}

TPluginHostProcess::TPluginHostProcess(const TPluginHostStart& start) : FStart(start), FName(start.Uri)
{
    const std::string quoted = "The LV2 instrument " + start.Uri;
    const int memory = Owned(memfd_create("zwirbels-plugin", MFD_CLOEXEC));
    void* mapped = MAP_FAILED;
    if (memory >= 0 && ftruncate(memory, sizeof(TPluginShared)) == 0)
        mapped = mmap(nullptr, sizeof(TPluginShared), PROT_READ | PROT_WRITE, MAP_SHARED, memory, 0);
    if (mapped == MAP_FAILED) {
        if (memory >= 0)
            ::close(memory);
        throw ELv2Error(quoted + " cannot be started: no shared memory (" + std::strerror(errno) + ").");
    }
    FShared = new (mapped) TPluginShared();

    // The host's input is a socket, so that a command to a host that has
    // just died fails instead of raising SIGPIPE here.
    int in[2], out[2], err[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, in) != 0 || pipe2(out, O_CLOEXEC) != 0 ||
        pipe2(err, O_CLOEXEC) != 0) {
        const int error = errno;
        ::close(memory);
        Release();
        throw ELv2Error(quoted + " cannot be started: " + std::strerror(error) + ".");
    }
    for (int* fd : {&in[0], &in[1], &out[0], &out[1], &err[0], &err[1]})
        *fd = Owned(*fd);
    // A plug-in that floods its log loses lines rather than blocking its sound.
    fcntl(err[1], F_SETFL, O_NONBLOCK);
    fcntl(out[0], F_SETFL, O_NONBLOCK);
    fcntl(err[0], F_SETFL, O_NONBLOCK);

    const std::string program = HostProgram();
    const std::string rate = std::to_string(start.SampleRate);
    const std::string frames = std::to_string(start.MaxFrames);
    std::vector<char*> argv = {const_cast<char*>(program.c_str()), const_cast<char*>(start.Uri.c_str()),
                               const_cast<char*>(rate.c_str()), const_cast<char*>(frames.c_str()),
                               const_cast<char*>(start.Offline ? PluginHostLine::kOffline : PluginHostLine::kLive),
                               nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    posix_spawn_file_actions_adddup2(&actions, memory, TPluginShared::kFd);
    posix_spawn_file_actions_addclosefrom_np(&actions, TPluginShared::kFd + 1);
    const int spawned = posix_spawn(&FPid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(memory);
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    FIn = in[1];
    FOut = out[0];
    FErr = err[0];
    if (spawned != 0) {
        FPid = -1;
        Release();
        throw ELv2Error(quoted + " cannot be started: " + program + ": " + std::strerror(spawned) + ".");
    }
    FPidFd = static_cast<int>(syscall(SYS_pidfd_open, FPid, 0));

    const std::optional<std::string> answer = ReadLine(std::chrono::steady_clock::now() + start.Timeout);
    const std::string text = answer ? answer->substr(std::min(answer->size(), answer->find('\t') + 1)) : "";
    if (answer && answer->rfind(PluginHostLine::kReady, 0) == 0) {
        FName = text;
        return;
    }
    Kill();
    DrainLog();
    const std::string why = answer && !text.empty() ? text
                            : !FEnding.empty()      ? quoted + ": its host " + FEnding + " while loading it."
                                                    : quoted + " did not load within " +
                                                     std::to_string(start.Timeout.count() / 1000) + " s.";
    Release();
    throw ELv2Error(why);
}

TPluginHostProcess::~TPluginHostProcess() { Release(); }

void TPluginHostProcess::Release()
{
    Close(FIn); // a host that still runs ends by itself at the end of its input; it is not waited for
    Kill();
    Close(FOut);
    Close(FErr);
    Close(FPidFd);
    if (FShared) {
        FShared->~TPluginShared();
        munmap(FShared, sizeof(TPluginShared));
        FShared = nullptr;
    }
}

void TPluginHostProcess::Hold(const TMidiEvent* events, size_t count) noexcept
{
    for (size_t i = 0; i < count && FHeldCount < TPluginShared::kMaxEvents; ++i) {
        FHeld[FHeldCount] = events[i];
        FHeld[FHeldCount++].Frame = 0;
    }
}

void TPluginHostProcess::Post(const TMidiEvent* events, size_t count, uint32_t frames, uint32_t flags) noexcept
{
    std::copy(FHeld, FHeld + FHeldCount, FShared->Events);
    const size_t room = TPluginShared::kMaxEvents - FHeldCount;
    std::copy(events, events + std::min(count, room), FShared->Events + FHeldCount);
    FShared->EventCount = FHeldCount + static_cast<uint32_t>(std::min(count, room));
    FHeldCount = 0;
    FShared->Frames = std::min(frames, TPluginShared::kMaxFrames);
    FShared->Flags = flags;
    FShared->Request.store(++FPosted, std::memory_order_release);
    FutexWake(FShared->Request);
}

void TPluginHostProcess::Reap(int status)
{
    FPid = -1;
    FKilled = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    if (WIFSIGNALED(status))
        FEnding = "crashed (" + SignalName(WTERMSIG(status)) + ")";
    else
        FEnding = "exited with status " + std::to_string(WEXITSTATUS(status));
}

bool TPluginHostProcess::Exited()
{
    if (FPid < 0)
        return true;
    int status = 0;
    if (waitpid(FPid, &status, WNOHANG) != FPid)
        return false;
    Reap(status);
    return true;
}

void TPluginHostProcess::Kill()
{
    if (FPid < 0)
        return;
    ::kill(FPid, SIGKILL);
    int status = 0;
    while (waitpid(FPid, &status, 0) < 0 && errno == EINTR) {
    }
    Reap(status);
}

std::optional<std::string> TPluginHostProcess::ReadLine(std::chrono::steady_clock::time_point deadline)
{
    for (;;) {
        std::vector<std::string> lines = TakeLines(FOutText);
        if (!lines.empty()) {
            // Lines after the first are answers yet to be asked for: none are.
            return lines.front();
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || Exited())
            return std::nullopt;
        pollfd fds[2] = {{FOut, POLLIN, 0}, {FErr, POLLIN, 0}};
        poll(fds, 2, static_cast<int>(std::min<int64_t>(left.count(), 50)));
        DrainLog();
        if (!ReadAvailable(FOut, FOutText) && FOutText.find('\n') == std::string::npos)
            return std::nullopt; // the host closed its output
    }
}

void TPluginHostProcess::DrainLog()
{
    if (FErr < 0)
        return;
    ReadAvailable(FErr, FErrText);
    for (const std::string& line : TakeLines(FErrText))
        std::fprintf(stderr, "%s: %s\n", FName.c_str(), line.c_str());
    if (FErrText.size() > 4096) { // a line without end
        std::fprintf(stderr, "%s: %s\n", FName.c_str(), FErrText.c_str());
        FErrText.clear();
    }
}

void TPluginHostProcess::SavePreset(const std::string& bundle, const std::string& label)
{
    const std::string quoted = "The preset of \"" + FName + "\"";
    if (bundle.find_first_of("\t\n") != std::string::npos || label.find_first_of("\t\n") != std::string::npos)
        throw ELv2Error(quoted + " cannot be saved: its name or folder holds a tab or a line break.");
    const std::string command = std::string(PluginHostLine::kPreset) + "\t" + bundle + "\t" + label + "\n";
    if (FPid < 0 || ::send(FIn, command.data(), command.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(command.size()))
        throw ELv2Error(quoted + " cannot be saved: the instrument's host has ended.");
    const std::optional<std::string> answer = ReadLine(std::chrono::steady_clock::now() + std::chrono::seconds(10));
    if (answer && *answer == PluginHostLine::kOk)
        return;
    if (answer && answer->rfind(PluginHostLine::kError, 0) == 0)
        throw ELv2Error(answer->substr(std::min(answer->size(), answer->find('\t') + 1)));
    throw ELv2Error(quoted + " cannot be saved: the instrument's host did not answer.");
}

} // namespace zw
