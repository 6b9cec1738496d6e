#pragma once

#include "midi/MidiBinding.h"

#include <memory>
#include <map>
#include <string>
#include <vector>

namespace zw {

// The real binding on RtMidi: the chosen MIDI system (with Auto the ALSA
// sequencer when it can be opened, otherwise JACK when a server is running;
// one is never started), otherwise no devices. While none answers, or after
// its server has stopped, it looks again in the background, at most once a
// second. Its clients are named kMidiClientName, whatever the executable is
// called. Tests may insist on one MIDI system, so that they run on it where
// both are present.
// Looking in the background keeps a server that has stalled from holding up
// the caller; until it has answered, the binding lists no devices.
class TSystemMidiBinding : public TMidiBinding {
public:
    // MMSYSERR_NODRIVER when the chosen system does not answer now; always
    // MMSYSERR_NOERROR in the background.
    virtual TMidiResult SetSystem(TMidiSystem system, TMidiLook look = TMidiLook::Now) = 0;
    // True while a look in the background has not answered yet.
    virtual bool Looking() const = 0;
};
std::unique_ptr<TSystemMidiBinding> MakeRtMidiBinding(TMidiSystem system = TMidiSystem::Auto,
                                                      TMidiLook look = TMidiLook::Now);

// A port's name without the "client:port" numbers that ALSA appends and that
// change between starts, so that a name stored in the settings still matches.
std::string AlsaDeviceName(const std::string& portName);

// The names the devices are offered by, in list order: on ALSA without the
// numbers, and with " #2", " #3"... after later ones that would otherwise
// read as an earlier one, so that each can be chosen and stored. A device
// listed in `kept` (raw name -> name; the open ones) keeps its name whatever
// came or went before it in the list: renumbering would make an open device
// look gone, and a device of its old name look like it.
std::vector<std::string> DeviceDisplayNames(const std::vector<std::string>& rawNames, bool alsa,
                                            const std::map<std::string, std::string>& kept = {});

// Whether a listed port is one the program opens itself (its inputs, outputs
// and virtual output, also those of another running copy): such ports are not
// offered as devices.
bool IsOwnMidiPort(const std::string& rawName);

} // namespace zw
