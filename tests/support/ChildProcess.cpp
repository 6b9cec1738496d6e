#include "support/ChildProcess.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace zw {

namespace {

using namespace std::chrono_literals;

// The argument and environment arrays posix_spawn takes, kept alive by the strings.
std::vector<char*> CArray(std::vector<std::string>& strings)
{
    std::vector<char*> array;
    for (std::string& s : strings)
        array.push_back(s.data());
    array.push_back(nullptr);
    return array;
}

TExit ExitOf(int status)
{
    TExit exit;
    if (WIFSIGNALED(status)) {
        exit.Signalled = true;
        exit.Code = WTERMSIG(status);
    } else {
        exit.Code = WEXITSTATUS(status);
    }
    return exit;
}

// Spawns argv with the given standard input, output and error; -1 keeps ours.
pid_t Spawn(std::vector<std::string> argv, const TEnvironment& environment, int input, int output, int error,
            int extraFd)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input >= 0)
        posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
    if (output >= 0)
        posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
    if (error >= 0)
        posix_spawn_file_actions_adddup2(&actions, error, STDERR_FILENO);
    if (extraFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, extraFd, 3);
    std::vector<std::string> entries = environment.Entries();
    std::vector<char*> args = CArray(argv);
    std::vector<char*> env = CArray(entries);
    pid_t pid = -1;
    const int failure = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failure != 0)
        throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(failure));
    return pid;
}

} // namespace

TEnvironment::TEnvironment()
{
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const size_t equals = text.find('=');
        if (equals != std::string::npos)
            FValues[text.substr(0, equals)] = text.substr(equals + 1);
    }
}

std::vector<std::string> TEnvironment::Entries() const
{
    std::vector<std::string> entries;
    for (const auto& [name, value] : FValues)
        entries.push_back(name + "=" + value);
    return entries;
}

std::string TExit::Describe() const
{
    if (Signalled)
        return "ended by signal " + std::to_string(Code) + " (" + strsignal(Code) + ")";
    return "exit code " + std::to_string(Code);
}

TChildProcess::TChildProcess(const std::vector<std::string>& argv, const TEnvironment& environment,
                             const std::string& logFile, int extraFd)
    : FLogFile(logFile)
{
    const int log = open(logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (log < 0)
        throw std::runtime_error("cannot write " + logFile + ": " + std::strerror(errno));
    int input[2];
    if (pipe2(input, O_CLOEXEC) != 0) {
        close(log);
        throw std::runtime_error(std::string("no pipe: ") + std::strerror(errno));
    }
    try {
        FPid = Spawn(argv, environment, input[0], log, log, extraFd);
    } catch (...) {
        close(log);
        close(input[0]);
        close(input[1]);
        throw;
    }
    close(log);
    close(input[0]);
    FInput = input[1];
}

TChildProcess::~TChildProcess()
{
    Stop();
    CloseInput();
}

bool TChildProcess::Running() { return !Wait(0ms); }

std::optional<TExit> TChildProcess::Wait(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!FExit) {
        int status = 0;
        const pid_t done = waitpid(FPid, &status, WNOHANG);
        if (done == FPid) {
            FExit = ExitOf(status);
            break;
        }
        if (done < 0 && errno != EINTR) { // not ours to wait for any more
            FExit = TExit{true, SIGKILL};
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(20ms);
    }
    return FExit;
}

TExit TChildProcess::Stop(std::chrono::milliseconds grace)
{
    if (FExit)
        return *FExit;
    kill(FPid, SIGTERM);
    if (auto exit = Wait(grace))
        return *exit;
    kill(FPid, SIGKILL);
    int status = 0;
    waitpid(FPid, &status, 0);
    FExit = ExitOf(status);
    return *FExit;
}

void TChildProcess::CloseInput()
{
    if (FInput >= 0) {
        close(FInput);
        FInput = -1;
    }
}

std::optional<std::string> RunTool(const std::vector<std::string>& argv, const TEnvironment& environment,
                                   std::chrono::milliseconds timeout)
{
    int output[2];
    if (pipe2(output, O_CLOEXEC) != 0)
        return std::nullopt;
    pid_t pid = -1;
    try {
        pid = Spawn(argv, environment, -1, output[1], -1, -1);
    } catch (const std::runtime_error&) {
        close(output[0]);
        close(output[1]);
        return std::nullopt;
    }
    close(output[1]);
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    bool timedOut = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        pollfd ready{output[0], POLLIN, 0};
        if (poll(&ready, 1, static_cast<int>(left.count())) <= 0)
            continue;
        char buffer[4096];
        const ssize_t got = read(output[0], buffer, sizeof buffer);
        if (got <= 0)
            break;
        text.append(buffer, static_cast<size_t>(got));
    }
    close(output[0]);
    if (timedOut)
        kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    if (timedOut || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return text;
}

std::string FileTail(const std::string& fileName, size_t maxBytes)
{
    std::ifstream file(fileName, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    const std::string all = text.str();
    return all.size() > maxBytes ? "..." + all.substr(all.size() - maxBytes) : all;
}

} // namespace zw
