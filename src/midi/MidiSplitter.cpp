#include "midi/MidiSplitter.h"

namespace zw {

int MidiDataLength(uint8_t status)
{
    if (status < 0x80)
        return -1;
    if (status < 0xF0) {
        const uint8_t kind = status & 0xF0;
        return kind == 0xC0 || kind == 0xD0 ? 1 : 2;
    }
    switch (status) {
    case 0xF1: // time code quarter frame
    case 0xF3: // song select
        return 1;
    case 0xF2: // song position
        return 2;
    case 0xF6: // tune request
    case 0xF8: case 0xFA: case 0xFB: case 0xFC: case 0xFE: case 0xFF: // real time
        return 0;
    default: // F0, F7 and the undefined F4, F5, F9, FD
        return -1;
    }
}

void SplitMidiMessages(const uint8_t* data, size_t length, const TMidiMessageSink& sink)
{
    TMidiSplitter().Split(data, length, sink);
}

} // namespace zw
