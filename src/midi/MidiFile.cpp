#include "midi/MidiFile.h"

#include <algorithm>
#include <cstdint>

namespace zw {
namespace {

void AppendBigEndian(std::string& out, uint32_t value, int bytes)
{
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
        out += static_cast<char>((value >> shift) & 0xFF);
}

// A variable-length quantity: seven bits a byte, the high bit on all but the last.
void AppendVariable(std::string& out, uint32_t value)
{
    char bytes[5];
    int count = 0;
    do {
        bytes[count++] = static_cast<char>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (count > 1)
        out += static_cast<char>(bytes[--count] | 0x80);
    out += bytes[0];
}

void AppendEvent(std::string& track, const std::vector<uint8_t>& bytes)
{
    if (bytes.empty())
        return;
    if (bytes[0] < 0xF0) {
        track.append(bytes.begin(), bytes.end());
    } else {
        // F0 keeps its status byte before the length; anything else is escaped whole.
        const bool exclusive = bytes[0] == 0xF0;
        track += static_cast<char>(exclusive ? 0xF0 : 0xF7);
        const size_t skipped = exclusive ? 1 : 0;
        AppendVariable(track, static_cast<uint32_t>(bytes.size() - skipped));
        track.append(bytes.begin() + static_cast<std::ptrdiff_t>(skipped), bytes.end());
    }
}

} // namespace

std::string StandardMidiFile(const std::vector<TTimedMidi>& messages)
{
    std::string track;
    // Tempo: 1 000 000 microseconds per quarter note.
    track.append("\x00\xFF\x51\x03", 4);
    AppendBigEndian(track, 1000000, 3);
    int64_t now = 0;
    for (const TTimedMidi& message : messages) {
        if (message.Bytes.empty())
            continue;
        const int64_t at = std::max(message.Ms, now);
        AppendVariable(track, static_cast<uint32_t>(std::min<int64_t>(at - now, 0x0FFFFFFF)));
        AppendEvent(track, message.Bytes);
        now = at;
    }
    track.append("\x00\xFF\x2F\x00", 4);

    std::string file = "MThd";
    AppendBigEndian(file, 6, 4);
    AppendBigEndian(file, 0, 2); // format 0
    AppendBigEndian(file, 1, 2); // one track
    AppendBigEndian(file, kMidiFileTicksPerQuarter, 2);
    file += "MTrk";
    AppendBigEndian(file, static_cast<uint32_t>(track.size()), 4);
    return file + track;
}

} // namespace zw
