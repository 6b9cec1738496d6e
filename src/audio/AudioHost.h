#pragma once

#include "audio/AudioEngine.h"
#include "audio/AudioOutput.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace zw {

// What the output is doing, for the status line and the settings dialog.
struct TAudioStatus {
    bool Sounding = false;   // a stream runs
    std::string Description; // e.g. "JACK (system)" while sounding
    std::string Failure;     // why nothing sounds; empty while sounding or not tried yet
};

// The engine and the output that plays it. The output is opened, and
// reopened after it is lost (a server stops, a device goes), on a thread of
// its own, so the window never waits for a sound server. With no output
// (offline) the engine is rendered by the caller.
//
// All calls may come from any thread but the audio thread; they are
// serialised here, so each stands in for the engine's control thread.
class TAudioHost {
public:
    // How often a missing or lost output is tried again.
    static constexpr int kRetryMilliseconds = 2000;

    // `output` null: offline.
    explicit TAudioHost(std::unique_ptr<TAudioOutput> output);
    ~TAudioHost();
    TAudioHost(const TAudioHost&) = delete;
    TAudioHost& operator=(const TAudioHost&) = delete;

    // The output opens on the first call (on the host's thread), so that a
    // program that never sounds never asks a sound server.
    void Activate();
    // Reopens the output with `settings` once it is active.
    void Configure(const TAudioSettings& settings);
    TAudioSettings Settings() const;
    TAudioStatus Status() const;
    bool Offline() const { return !FOutput; }

    // The engine's control calls, serialised with the output's start and stop.
    void SetInstrument(int slot, std::unique_ptr<TAudioInstrument> instrument);
    // Offline only (false otherwise): the next `frames` frames.
    bool Render(float* left, float* right, uint32_t frames);
    // Sending needs no serialising: the engine's senders are one producer already.
    TAudioEngine& Engine() { return FEngine; }

private:
    void Run();
    // Host thread: (re)opens the output with `settings`.
    void Reopen(const TAudioSettings& settings);

    TAudioEngine FEngine;
    const std::unique_ptr<TAudioOutput> FOutput;
    // The engine's control calls and the output's start and stop; held only
    // for quick steps, never while a server is being asked.
    std::mutex FControl;

    mutable std::mutex FMutex; // everything below
    TAudioSettings FSettings;
    TAudioStatus FStatus;
    bool FActive = false;
    bool FReopen = false;
    bool FEnding = false;
    std::condition_variable FWake;
    std::thread FThread; // last: starts once everything above is made
};

} // namespace zw
