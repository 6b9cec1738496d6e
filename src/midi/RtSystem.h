#pragma once

#include "midi/MidiBinding.h"
#include "midi/RtMidiCommon.h"

#include <memory>
#include <string>
#include <vector>

namespace zw {

// One MIDI system as a probe found it: on ALSA the clients that list its
// devices, on JACK the one watch client that lists them and tells whether its
// server still runs. Few clients matter: when the program is killed, the
// server stalls for each client of it that was active. Devices opened
// on it keep it alive, as they read its watch.
class TRtSystem {
public:
    // Null when `choice` does not answer. Never starts a server.
    static std::unique_ptr<TRtSystem> Probe(TMidiSystem choice);
    ~TRtSystem();
    TRtSystem(const TRtSystem&) = delete;
    TRtSystem& operator=(const TRtSystem&) = delete;

    TRtApi Api() const { return FApi; }
    const TJackWatch* Watch() const { return FWatch.get(); }
    bool Stopped() const { return FWatch && FWatch->Stopped(); }

    // The raw names of the listed ports, the program's own left out. The first
    // two serve one thread (the binding's), the last another (the monitor's).
    // Each name is as RtMidi lists it, so that a device client finds it.
    std::vector<std::string> OutputNames();
    std::vector<std::string> InputNames();
    std::vector<std::string> MonitoredOutputNames();

private:
    TRtSystem() = default;
    bool Open(TRtApi api);
    template <typename TRt>
    std::vector<std::string> List(TRt* lister, TRtErrorSink& errors, bool inputs);

    TRtApi FApi = TRtApi::None;
    std::unique_ptr<TJackWatch> FWatch;
    TRtErrorSink FOutErrors; // the sinks outlive the clients that report into them
    TRtErrorSink FInErrors;
    TRtErrorSink FMonitorErrors;
    std::unique_ptr<RtMidiOut> FOutLister;
    std::unique_ptr<RtMidiIn> FInLister;
    std::unique_ptr<RtMidiOut> FMonitorLister;
};

} // namespace zw
