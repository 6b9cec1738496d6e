#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace zw {

// Splits a byte stream into complete MIDI messages, in order: channel and
// system common messages (with running status), real-time bytes wherever they
// stand (also inside system-exclusive data), and system-exclusive messages
// F0 … F7. Bytes that form no complete message are dropped: data bytes with no
// status, a message cut short by a status byte or by the end, undefined status
// bytes. Running status starts empty for each stream.
using TMidiMessageSink = std::function<void(const uint8_t* message, size_t length)>;
void SplitMidiMessages(const uint8_t* data, size_t length, const TMidiMessageSink& sink);

// Data bytes that follow a status byte, or -1 for a status byte that starts
// no fixed-length message (system exclusive, undefined codes, data bytes).
int MidiDataLength(uint8_t status);

} // namespace zw
