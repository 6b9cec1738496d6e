#pragma once

#include "audio/AudioInstrument.h"
#include "audio/RestartPolicy.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zw {

class TPluginHostProcess;

// An LV2 instrument playing live in a zwirbels-plugin-host of its own, as an
// instrument of the audio engine. Each period the audio thread asks the host
// for the period's frames and waits for them at most kDeadlineShare of the
// period: output that is late is silence (counted), a host still busy a
// period later counts as hung. A crash or a hang costs this instrument a
// restart in the background, with the latest genome (its state is the
// plug-in's default state and the genome's port values, so that is all it
// needs); TRestartPolicy decides whether it starts again. NaN or infinity
// in a block: that block is silence, the plug-in is reset, counted. Nothing
// of it ever reaches the mix.
//
// Threads: the control thread makes it, sets genomes, saves presets and
// takes the notices; the audio thread runs Process; a supervisor thread of
// its own watches and restarts the host.
class TRemoteInstrument final : public TAudioInstrument {
public:
    static constexpr double kDeadlineShare = 0.25;

    // Starts the host and waits for the plug-in to load: ELv2Error with the
    // reason when it cannot be hosted.
    TRemoteInstrument(std::string uri, double sampleRate);
    ~TRemoteInstrument() override;
    TRemoteInstrument(const TRemoteInstrument&) = delete;
    TRemoteInstrument& operator=(const TRemoteInstrument&) = delete;

    const std::string& Name() const { return FName; }

    // Control side. The genome whose values the instrument plays from the
    // next period on: the latest wins, however many come while no stream runs.
    void SetGenome(const uint8_t* genes, size_t count);
    // Control side: the plug-in's state and the genome's values as an LV2
    // preset. ELv2Error when that fails (or no host runs just now).
    void SavePreset(const std::string& bundle, const std::string& label);

    // Control side: what happened since the last call, for the status line,
    // oldest first ("The LV2 instrument "X" crashed (SIGSEGV); it starts again.").
    std::vector<std::string> TakeNotices();
    // It failed too often and stays off (silent) for good.
    bool Off() const { return FOff.load(); }
    // Periods whose output came too late, blocks with NaN or infinity, hosts
    // started after the first.
    uint64_t LatePeriods() const { return FLate.load(std::memory_order_relaxed); }
    uint64_t NonFiniteBlocks() const { return FNonFinite.load(std::memory_order_relaxed); }
    uint64_t Restarts() const { return FRestarts.load(); }
    // Whether a host is installed and playing.
    bool Playing() const { return FLink.load() != nullptr; }

    // Another sample rate restarts the host at that rate in the background.
    void Prepare(double sampleRate, uint32_t maxFrames) override;
    void Process(const TMidiEvent* events, size_t count, float* left, float* right, uint32_t frames) noexcept override;
    void Silence() noexcept override;

private:
    enum TFault : uint32_t { kNoFault, kHung };

    void Supervise();
    // Supervisor, FMutex held: takes the host away from the audio thread.
    void Retire();
    // Supervisor: starts a host at FRate with the latest genome; false when it would not start.
    bool StartHost(std::unique_lock<std::mutex>& lock);
    void HandleFailure(const std::string& what, std::unique_lock<std::mutex>& lock);
    void Notice(const std::string& text);
    void Wake() noexcept;

    const std::string FUri;
    std::string FName;

    std::mutex FMutex; // what follows, up to the audio thread's part
    std::unique_ptr<TPluginHostProcess> FHost;
    std::vector<uint8_t> FGenome;
    bool FGenomeChanged = false;
    double FRate;
    double FHostRate;
    TRestartPolicy FPolicy;
    std::vector<std::string> FNotices;
    uint64_t FNonFiniteTold = 0;
    std::chrono::steady_clock::time_point FNonFiniteToldAt{};
    bool FStopping = false;

    // Between the audio thread and the supervisor.
    std::atomic<TPluginHostProcess*> FLink{nullptr};
    std::atomic<bool> FInProcess{false};
    std::atomic<uint32_t> FFault{kNoFault};
    std::atomic<double> FPeriodRate{48000};
    std::atomic<bool> FOff{false};
    std::atomic<uint64_t> FLate{0};
    std::atomic<uint64_t> FNonFinite{0};
    std::atomic<uint64_t> FRestarts{0};
    int FWake = -1; // eventfd

    // Audio thread only.
    TPluginHostProcess* FAudioHost = nullptr;
    uint32_t FFlags = 0;
    int FMissed = 0;

    std::thread FSupervisor; // last: starts once everything above is made
};

} // namespace zw
