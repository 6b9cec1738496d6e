#include "midi/RtSystemMonitor.h"

#include <algorithm>

namespace zw {

TRtSystemMonitor::TRtSystemMonitor() : FThread([this] { Run(); }) {}

TRtSystemMonitor::~TRtSystemMonitor()
{
    {
        std::lock_guard lock(FMutex);
        FStopping = true;
    }
    FWake.notify_one();
    FThread.join();
}

void TRtSystemMonitor::LookFor(TMidiSystem choice) { Ask(choice, false); }

void TRtSystemMonitor::LookNow(TMidiSystem choice) { Ask(choice, true); }

void TRtSystemMonitor::Ask(TMidiSystem choice, bool now)
{
    std::unique_ptr<TRtSystem> found; // both released outside the lock
    std::shared_ptr<TRtSystem> listed;
    {
        std::lock_guard lock(FMutex);
        if (!now && FLooking && FChoice == choice)
            return;
        FLooking = true;
        FChoice = choice;
        if (now) {
            FAnswered = false;
            FLastProbe = {};
        }
        found = std::move(FFound);
        listed = std::move(FListed);
        FListing.clear();
    }
    FWake.notify_one();
}

bool TRtSystemMonitor::Answered() const
{
    std::lock_guard lock(FMutex);
    return FAnswered;
}

void TRtSystemMonitor::StopLooking()
{
    std::unique_ptr<TRtSystem> found;
    {
        std::lock_guard lock(FMutex);
        FLooking = false;
        FAnswered = true;
        found = std::move(FFound); // released outside the lock
    }
}

std::unique_ptr<TRtSystem> TRtSystemMonitor::TakeFound()
{
    std::lock_guard lock(FMutex);
    return std::move(FFound);
}

void TRtSystemMonitor::ListOutputs(std::shared_ptr<TRtSystem> system)
{
    std::shared_ptr<TRtSystem> former;
    {
        std::lock_guard lock(FMutex);
        if (system == FListed)
            return;
        former = std::move(FListed); // released outside the lock
        FListed = std::move(system);
        FListing.clear();
        FListingBegun = {};
        if (FListed)
            FLooking = false;
    }
    FWake.notify_one();
}

bool TRtSystemMonitor::Listed(const std::string& rawName, TClock::time_point since) const
{
    std::lock_guard lock(FMutex);
    if (!FListed || FListingBegun <= since)
        return true;
    return std::find(FListing.begin(), FListing.end(), rawName) != FListing.end();
}

void TRtSystemMonitor::Run()
{
    std::unique_lock lock(FMutex);
    for (;;) {
        if (FStopping)
            return;
        const auto now = TClock::now();
        if (FLooking && !FFound && now - FLastProbe >= kProbePause) {
            const TMidiSystem choice = FChoice;
            FLastProbe = now;
            lock.unlock();
            std::unique_ptr<TRtSystem> found = TRtSystem::Probe(choice);
            lock.lock();
            // Kept only if nobody changed the question meanwhile.
            if (FChoice == choice)
                FAnswered = true;
            if (FLooking && FChoice == choice && found) {
                FFound = std::move(found);
                FLooking = false;
            } else {
                lock.unlock();
                found.reset();
                lock.lock();
            }
            continue;
        }
        if (FListed) {
            std::shared_ptr<TRtSystem> system = FListed;
            lock.unlock();
            const auto begun = TClock::now();
            std::vector<std::string> listing = system->MonitoredOutputNames();
            const bool stopped = system->Stopped();
            lock.lock();
            if (FListed == system && !stopped) {
                FListing = std::move(listing);
                FListingBegun = begun;
            }
            lock.unlock();
            system.reset(); // may be the last owner: its clients close outside the lock
            lock.lock();
            FWake.wait_for(lock, kListPause);
            continue;
        }
        if (FLooking && !FFound)
            FWake.wait_until(lock, FLastProbe + kProbePause);
        else
            FWake.wait(lock);
    }
}

} // namespace zw
