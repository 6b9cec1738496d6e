#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace zw {

// The environment of a child: this process's own, with changes.
class TEnvironment {
public:
    TEnvironment(); // a copy of this process's environment
    void Set(const std::string& name, const std::string& value) { FValues[name] = value; }
    void Unset(const std::string& name) { FValues.erase(name); }
    std::vector<std::string> Entries() const; // "NAME=value"

private:
    std::map<std::string, std::string> FValues;
};

// How a child ended: its exit code, or the signal that ended it.
struct TExit {
    bool Signalled = false;
    int Code = 0; // exit code, or signal number when Signalled
    std::string Describe() const;
};

// Another program started by a test. Its output (stdout and stderr) goes to a
// log file; its standard input is a pipe that stays open until CloseInput, so
// that a program reading commands from it waits instead of ending. A child
// still running when the object goes is ended: asked with SIGTERM, then killed.
class TChildProcess {
public:
    // Starts `argv` (argv[0] looked up on PATH). `extraFd`, when not -1, is
    // handed to the child as its file descriptor 3. Raises std::runtime_error
    // when the program cannot be started.
    TChildProcess(const std::vector<std::string>& argv, const TEnvironment& environment,
                  const std::string& logFile, int extraFd = -1);
    ~TChildProcess();
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

    pid_t Pid() const { return FPid; }
    bool Running();
    // Waits for the end; nothing when it has not ended within `timeout`.
    std::optional<TExit> Wait(std::chrono::milliseconds timeout);
    // SIGTERM, then SIGKILL after `grace`; the exit, once it has ended.
    TExit Stop(std::chrono::milliseconds grace = std::chrono::seconds(3));
    void CloseInput();
    const std::string& LogFile() const { return FLogFile; }

private:
    pid_t FPid = -1;
    int FInput = -1; // write end of the child's standard input
    std::optional<TExit> FExit;
    std::string FLogFile;
};

// Runs a short-lived tool to its end and returns what it printed on stdout;
// nothing when it fails or takes longer than `timeout` (it is then killed).
std::optional<std::string> RunTool(const std::vector<std::string>& argv, const TEnvironment& environment,
                                   std::chrono::milliseconds timeout = std::chrono::seconds(10));

// The last `maxBytes` of a text file, for failure messages.
std::string FileTail(const std::string& fileName, size_t maxBytes = 2000);

} // namespace zw
