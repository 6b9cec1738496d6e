#include "midi/RtSystem.h"

#include "midi/RtMidiBinding.h"

#include <algorithm>
#include <mutex>

#include <unistd.h>

namespace zw {

namespace {

// libjack keeps one state for the whole process: a client opened after the
// server died frees every client of the dead server, and their owners would
// then close them a second time. So no JACK client is opened while a system
// whose server stopped still lives (its devices are still open).
std::mutex GJackSystemsMutex;
std::vector<const TRtSystem*> GJackSystems;

bool StoppedJackSystemLives()
{
    std::lock_guard lock(GJackSystemsMutex);
    return std::any_of(GJackSystems.begin(), GJackSystems.end(), [](const TRtSystem* s) { return s->Stopped(); });
}

} // namespace

std::unique_ptr<TRtSystem> TRtSystem::Probe(TMidiSystem choice)
{
    std::unique_ptr<TRtSystem> system(new TRtSystem);
    // Without the device there is nothing to try (and ALSA would say so on stderr).
    if (choice != TMidiSystem::Jack && access("/dev/snd/seq", R_OK | W_OK) == 0 && system->Open(TRtApi::Alsa))
        return system;
    if (choice == TMidiSystem::Alsa || StoppedJackSystemLives())
        return nullptr;
    // The watch proves that a server answers before RtMidi is asked, so
    // RtMidi never meets a missing server.
    system->FWatch = TJackWatch::Open(std::string(kMidiClientName) + " watch");
    if (!system->FWatch)
        return nullptr;
    system->FApi = TRtApi::Jack;
    std::lock_guard lock(GJackSystemsMutex);
    GJackSystems.push_back(system.get());
    return system;
}

TRtSystem::~TRtSystem()
{
    // The clients go before the watch and the sinks they may still report into.
    FMonitorLister.reset();
    FInLister.reset();
    FOutLister.reset();
    if (FApi == TRtApi::Jack) {
        // Under the lock: no probe may open a client between the two.
        std::lock_guard lock(GJackSystemsMutex);
        FWatch.reset();
        GJackSystems.erase(std::find(GJackSystems.begin(), GJackSystems.end(), this));
    }
}

bool TRtSystem::Open(TRtApi api)
{
    try {
        const std::string name = kMidiClientName;
        FOutLister = NewRtClient<RtMidiOut>(api, name, FOutErrors);
        FInLister = NewRtClient<RtMidiIn>(api, name, FInErrors);
        FMonitorLister = NewRtClient<RtMidiOut>(api, name, FMonitorErrors);
        FApi = api;
        return true;
    } catch (const RtMidiError&) {
        FMonitorLister.reset();
        FInLister.reset();
        FOutLister.reset();
        return false;
    }
}

template <typename TRt>
std::vector<std::string> TRtSystem::List(TRt* lister, TRtErrorSink& errors, bool inputs)
{
    std::vector<std::string> names;
    if (FWatch) {
        names = FWatch->MidiPortNames(inputs);
    } else {
        const unsigned count = lister->getPortCount();
        for (unsigned i = 0; i < count; ++i)
            names.push_back(lister->getPortName(i)); // empty for a port that went while listing
        errors.Take();
    }
    names.erase(std::remove_if(names.begin(), names.end(), IsOwnMidiPort), names.end());
    return names;
}

std::vector<std::string> TRtSystem::OutputNames()
{
    return List(FOutLister.get(), FOutErrors, true);
}

std::vector<std::string> TRtSystem::InputNames()
{
    return List(FInLister.get(), FInErrors, false);
}

std::vector<std::string> TRtSystem::MonitoredOutputNames()
{
    return List(FMonitorLister.get(), FMonitorErrors, true);
}

} // namespace zw
