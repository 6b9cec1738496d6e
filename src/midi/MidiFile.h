#pragma once

#include "audio/TimedMidi.h"

#include <string>
#include <vector>

namespace zw {

// The ticks per quarter note of the files written here, at a tempo of one
// quarter note per second: one tick is one millisecond.
inline constexpr int kMidiFileTicksPerQuarter = 1000;

// A Standard MIDI File of format 0: one track with the tempo, then
// `messages` (in time order) at their times, then the end of the track.
// Channel messages are stored as they are, system-exclusive messages as such
// events, and other system messages as escaped (F7) events.
std::string StandardMidiFile(const std::vector<TTimedMidi>& messages);

} // namespace zw
