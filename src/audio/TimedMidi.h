#pragma once

#include <cstdint>
#include <vector>

namespace zw {

// One complete MIDI message and when it plays, in milliseconds from the start
// of a take: what an offline render plays and a MIDI file holds.
struct TTimedMidi {
    int64_t Ms = 0;
    std::vector<uint8_t> Bytes;

    bool operator==(const TTimedMidi&) const = default;
};

} // namespace zw
