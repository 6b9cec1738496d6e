#pragma once

#include "midi/MidiBinding.h"

#include <memory>
#include <string>

namespace zw {

// The real binding on RtMidi: the ALSA sequencer when it can be opened,
// otherwise JACK when a server is running (one is never started), otherwise
// no devices. Its clients are named after the program. Tests may insist on
// one MIDI system, so that they run on it where both are present.
enum class TMidiSystem { Auto, Alsa, Jack };
std::unique_ptr<TMidiBinding> MakeRtMidiBinding(TMidiSystem system = TMidiSystem::Auto);

// A port's name without the "client:port" numbers that ALSA appends and that
// change between starts, so that a name stored in the settings still matches.
std::string AlsaDeviceName(const std::string& portName);

} // namespace zw
