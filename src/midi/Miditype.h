#pragma once

#include <cstdint>

namespace zw {

// One event for TMidiOutput::SendEvent: a short message, or a data block
// sent as one long message when Data is not null.
struct TMyMidiEvent {
    uint8_t MidiMessage = 0; // status byte
    uint8_t Data1 = 0;
    uint8_t Data2 = 0;
    uint16_t SysexLength = 0;
    const uint8_t* Sysex = nullptr;
};

} // namespace zw
