#include "midi/RtSystem.h"

#include "midi/RtMidiBinding.h"

#include <unistd.h>

namespace zw {

std::unique_ptr<TRtSystem> TRtSystem::Probe(TMidiSystem choice)
{
    std::unique_ptr<TRtSystem> system(new TRtSystem);
    // Without the device there is nothing to try (and ALSA would say so on stderr).
    if (choice != TMidiSystem::Jack && access("/dev/snd/seq", R_OK | W_OK) == 0 && system->Open(TRtApi::Alsa))
        return system;
    if (choice == TMidiSystem::Alsa)
        return nullptr;
    // The watch proves that a server answers before RtMidi is asked, so
    // RtMidi never meets a missing server.
    system->FWatch = TJackWatch::Open(std::string(kMidiClientName) + " watch");
    if (system->FWatch && system->Open(TRtApi::Jack))
        return system;
    return nullptr;
}

TRtSystem::~TRtSystem()
{
    // The clients go before the watch and the sinks they may still report into.
    FMonitorLister.reset();
    FInLister.reset();
    FOutLister.reset();
}

bool TRtSystem::Open(TRtApi api)
{
    try {
        const std::string name = std::string(kMidiClientName) + (api == TRtApi::Jack ? " list" : "");
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
std::vector<std::string> TRtSystem::List(TRt& lister, TRtErrorSink& errors)
{
    std::vector<std::string> names;
    if (Stopped())
        return names;
    const unsigned count = lister.getPortCount();
    for (unsigned i = 0; i < count; ++i) {
        // A port that went while listing is listed by its empty name, so the numbers stay.
        std::string name = lister.getPortName(i);
        if (!IsOwnMidiPort(name))
            names.push_back(std::move(name));
    }
    errors.Take();
    return names;
}

std::vector<std::string> TRtSystem::OutputNames()
{
    return List(*FOutLister, FOutErrors);
}

std::vector<std::string> TRtSystem::InputNames()
{
    return List(*FInLister, FInErrors);
}

std::vector<std::string> TRtSystem::MonitoredOutputNames()
{
    return List(*FMonitorLister, FMonitorErrors);
}

} // namespace zw
