#pragma once

#include "midi/RtSystem.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zw {

// The binding's helper thread, so that neither the GUI thread nor a sender
// waits for a server. While no MIDI system answers it looks for one, at most
// once a second. While outputs are open on one, it lists that system's
// outputs a few times a second, so that an output whose port has gone (a
// client closed, a device unplugged) is noticed: the servers report delivery
// to a port without a listener as success.
class TRtSystemMonitor {
public:
    using TClock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kProbePause{1000};
    static constexpr std::chrono::milliseconds kListPause{250};

    TRtSystemMonitor();
    ~TRtSystemMonitor();
    TRtSystemMonitor(const TRtSystemMonitor&) = delete;
    TRtSystemMonitor& operator=(const TRtSystemMonitor&) = delete;

    // Looks for `choice` until it answers; stops listing the former system.
    void LookFor(TMidiSystem choice);
    // Looks for `choice` at once, as a first look: Answered() is false until
    // that look has ended, found or not.
    void LookNow(TMidiSystem choice);
    bool Answered() const;
    void StopLooking();
    // What the last LookFor found, once.
    std::unique_ptr<TRtSystem> TakeFound();
    // Lists the outputs of `system` from now on; null stops listing.
    void ListOutputs(std::shared_ptr<TRtSystem> system);
    // False only when a listing begun after `since` lacks `rawName`.
    bool Listed(const std::string& rawName, TClock::time_point since) const;

private:
    void Ask(TMidiSystem choice, bool now);
    void Run();

    mutable std::mutex FMutex;
    std::condition_variable FWake;
    bool FStopping = false;
    bool FLooking = false;
    bool FAnswered = true;
    TMidiSystem FChoice = TMidiSystem::Auto;
    TClock::time_point FLastProbe{};
    std::unique_ptr<TRtSystem> FFound;
    std::shared_ptr<TRtSystem> FListed;
    std::vector<std::string> FListing;
    TClock::time_point FListingBegun{};
    std::thread FThread; // last: starts once the rest is there
};

} // namespace zw
