#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace zw {

// Data bytes that follow a status byte, or -1 for a status byte that starts
// no fixed-length message (system exclusive, undefined codes, data bytes).
int MidiDataLength(uint8_t status);

// The bytes of a packed short message (status in the low byte), and their
// count; 0 when the status starts no fixed-length message.
inline size_t UnpackShortMessage(uint32_t message, uint8_t (&bytes)[3])
{
    bytes[0] = static_cast<uint8_t>(message);
    bytes[1] = static_cast<uint8_t>(message >> 8);
    bytes[2] = static_cast<uint8_t>(message >> 16);
    const int dataLength = MidiDataLength(bytes[0]);
    return dataLength < 0 ? 0 : static_cast<size_t>(1 + dataLength);
}

// Splits bytes into complete MIDI messages, in order: channel and system
// common messages (with running status), real-time bytes wherever they stand
// (also inside system-exclusive data), and system-exclusive messages F0 … F7.
// Bytes that form no complete message are dropped and counted: data bytes with
// no status, a message cut short by a status byte or by the end of the bytes,
// undefined status bytes.
//
// Running status carries over from one Split to the next, as on a serial MIDI
// line; a message cut short by the end of one call is not continued in the
// next. A splitter made without system-exclusive support drops such messages
// too and then never allocates, so a real-time callback may use it.
class TMidiSplitter {
public:
    explicit TMidiSplitter(bool systemExclusive = true) : FSystemExclusive(systemExclusive) {}

    // Calls sink(message, length) for each message; returns the bytes dropped.
    template <typename TSink>
    size_t Split(const uint8_t* data, size_t length, TSink&& sink);

    // Forgets the running status.
    void Reset() { FRunning = 0; }

private:
    bool FSystemExclusive;
    uint8_t FRunning = 0; // channel status for running status, 0 for none
    std::vector<uint8_t> FSysex;
};

// One stream on its own: running status starts empty.
using TMidiMessageSink = std::function<void(const uint8_t* message, size_t length)>;
void SplitMidiMessages(const uint8_t* data, size_t length, const TMidiMessageSink& sink);

template <typename TSink>
size_t TMidiSplitter::Split(const uint8_t* data, size_t length, TSink&& sink)
{
    size_t used = 0;       // bytes of the input that went out in messages
    bool inSysex = false;
    uint8_t message[3];
    size_t have = 0;       // bytes of the message being collected, status included
    int need = -1;         // data bytes it needs; -1 while there is no status
    bool implied = false;  // its status came from running status
    FSysex.clear();

    for (size_t i = 0; i < length; ++i) {
        const uint8_t byte = data[i];
        if (byte >= 0xF8) {
            // Real time: a message of its own that interrupts nothing.
            if (MidiDataLength(byte) == 0) {
                sink(&byte, size_t{1});
                ++used;
            }
            continue;
        }
        if (inSysex) {
            if (byte < 0x80) {
                FSysex.push_back(byte);
                continue;
            }
            inSysex = false;
            if (byte == 0xF7) {
                FSysex.push_back(byte);
                sink(static_cast<const uint8_t*>(FSysex.data()), FSysex.size());
                used += FSysex.size();
                FSysex.clear();
                continue;
            }
            FSysex.clear(); // cut short by another status: dropped
        }
        if (byte >= 0x80) {
            have = 0;
            need = -1;
            FRunning = byte < 0xF0 ? byte : 0; // system common and exclusive cancel running status
            if (byte == 0xF0 && FSystemExclusive) {
                inSysex = true;
                FSysex.push_back(byte);
                continue;
            }
            const int dataLength = MidiDataLength(byte);
            if (dataLength < 0)
                continue;
            message[0] = byte;
            have = 1;
            need = dataLength;
            implied = false;
        } else {
            if (need < 0) {
                if (FRunning == 0)
                    continue; // data byte without status
                message[0] = FRunning;
                have = 1;
                need = MidiDataLength(FRunning);
                implied = true;
            }
            message[have++] = byte;
        }
        if (static_cast<int>(have) == need + 1) {
            sink(static_cast<const uint8_t*>(message), have);
            used += implied ? have - 1 : have;
            have = 0;
            need = -1;
        }
    }
    return length - used;
}

} // namespace zw
