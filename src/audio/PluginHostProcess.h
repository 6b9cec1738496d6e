#pragma once

#include "audio/PluginHostProtocol.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include <sys/types.h>

namespace zw {

// How a plug-in host is started.
struct TPluginHostStart {
    std::string Uri;
    double SampleRate = 48000;
    uint32_t MaxFrames = TPluginShared::kMaxFrames;
    bool Offline = false;
    // How long the host may take to load the plug-in (some take seconds).
    std::chrono::milliseconds Timeout = std::chrono::seconds(20);
};

// One running zwirbels-plugin-host and the memory it shares with this
// process. Made on a control thread (it waits for the host to load the
// plug-in); the handshake functions run on the thread that renders; the
// host is killed and reaped when the object goes.
class TPluginHostProcess {
public:
    // Starts the host and waits for it to load the instrument. ELv2Error
    // with the host's own message when it cannot host it, or when it does
    // not answer in time.
    explicit TPluginHostProcess(const TPluginHostStart& start);
    ~TPluginHostProcess();
    TPluginHostProcess(const TPluginHostProcess&) = delete;
    TPluginHostProcess& operator=(const TPluginHostProcess&) = delete;

    const std::string& Name() const { return FName; }
    const TPluginHostStart& Start() const { return FStart; }
    TPluginShared& Shared() { return *FShared; }

    // Render thread. Keeps `events` for the next run, which plays them at
    // its first frame (for a period rendered without this host: none, or
    // one it was late for), so that no note-off is lost.
    void Hold(const TMidiEvent* events, size_t count) noexcept;
    // Render thread. Asks for a run of `frames` frames playing the held
    // events, then `events` (their frames below `frames`). Events beyond
    // TPluginShared::kMaxEvents are dropped.
    void Post(const TMidiEvent* events, size_t count, uint32_t frames, uint32_t flags) noexcept;
    // Render thread: whether the last run asked for is not finished.
    bool Busy() const noexcept { return FShared->Done.load(std::memory_order_acquire) != FPosted; }
    // Render thread: waits for the last run until the monotonic clock
    // reaches `deadline` (ns); whether it finished.
    bool WaitDone(int64_t deadline) noexcept { return FutexWaitFor(FShared->Done, FPosted, deadline); }

    // Control side. Whether the host has ended (reaped then).
    bool Exited();
    // Control side: ends the host now, if it still runs, and reaps it.
    void Kill();
    // How the host ended, for a message: "crashed (SIGSEGV)", "exited with
    // status 3"; empty while it runs.
    const std::string& Ending() const { return FEnding; }
    // Whether Kill ended it, rather than its own crash or exit.
    bool Killed() const { return FKilled; }
    // For poll(): readable once the host has ended, and its log.
    int ProcessFd() const { return FPidFd; }
    int LogFd() const { return FErr; }
    // Control side: passes on the host's log lines, each headed by the
    // instrument's name, without waiting.
    void DrainLog();
    // Control side: saves the plug-in's state and the values of the latest
    // genome as an LV2 preset. ELv2Error when it fails.
    void SavePreset(const std::string& bundle, const std::string& label);

    // Where the host program is: beside the running program.
    static std::string HostProgram();

private:
    // The next line the host writes on its stdout; nothing by `deadline`.
    std::optional<std::string> ReadLine(std::chrono::steady_clock::time_point deadline);
    void Reap(int status);
    // Ends the host and frees what it used; the destructor's work, also for a failed start.
    void Release();

    TPluginHostStart FStart;
    std::string FName;
    TPluginShared* FShared = nullptr;
    uint32_t FPosted = 0; // render thread
    TMidiEvent FHeld[TPluginShared::kMaxEvents];
    uint32_t FHeldCount = 0;
    pid_t FPid = -1;
    int FPidFd = -1;
    int FIn = -1;  // the host's stdin, written here
    int FOut = -1; // its stdout
    int FErr = -1; // its stderr: the plug-in's log
    std::string FOutText;
    std::string FErrText;
    std::string FEnding;
    bool FKilled = false;
};

} // namespace zw
