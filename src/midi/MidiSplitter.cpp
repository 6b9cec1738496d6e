#include "midi/MidiSplitter.h"

#include <vector>

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
    std::vector<uint8_t> sysex;
    bool inSysex = false;
    uint8_t message[3];
    size_t have = 0;       // bytes of the message being collected, status included
    int need = -1;         // data bytes it needs; -1 while there is no status
    uint8_t running = 0;   // channel status for running status, 0 for none

    for (size_t i = 0; i < length; ++i) {
        const uint8_t byte = data[i];
        if (byte >= 0xF8) {
            // Real time: a message of its own that interrupts nothing.
            if (MidiDataLength(byte) == 0)
                sink(&byte, 1);
            continue;
        }
        if (inSysex) {
            if (byte < 0x80) {
                sysex.push_back(byte);
                continue;
            }
            inSysex = false;
            if (byte == 0xF7) {
                sysex.push_back(byte);
                sink(sysex.data(), sysex.size());
                sysex.clear();
                continue;
            }
            sysex.clear(); // cut short by another status: dropped
        }
        if (byte >= 0x80) {
            have = 0;
            need = -1;
            if (byte == 0xF0) {
                inSysex = true;
                running = 0;
                sysex.push_back(byte);
                continue;
            }
            const int dataLength = MidiDataLength(byte);
            running = byte < 0xF0 ? byte : 0; // system common cancels running status
            if (dataLength < 0)
                continue;
            message[0] = byte;
            have = 1;
            need = dataLength;
        } else {
            if (need < 0) {
                if (running == 0)
                    continue; // data byte without status
                message[0] = running;
                have = 1;
                need = MidiDataLength(running);
            }
            message[have++] = byte;
        }
        if (static_cast<int>(have) == need + 1) {
            sink(message, have);
            have = 0;
            need = -1;
        }
    }
}

} // namespace zw
