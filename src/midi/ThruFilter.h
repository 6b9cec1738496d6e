#pragma once

#include <array>
#include <atomic>
#include <bitset>
#include <cstddef>
#include <cstdint>

namespace zw {

// What an input message is, as far as the program's own controls care.
enum class TMessageKind : uint8_t { Note, ControlChange, ProgramChange };

// The input messages that the program's controls take for themselves and that
// thru therefore leaves out. The GUI thread sets it; the thread that passes
// input on reads it while messages arrive, without a lock: every word is an
// atomic, and a change rewrites only the words that differ, so a message
// learned before and after a change is never let through in between.
class TThruFilter {
public:
    static constexpr std::size_t kMessageCount = 3 * 16 * 128;

    // A set of (kind, channel, number) to keep out of thru.
    class TSet {
    public:
        // `channel` 0..15, or -1 for every channel; `number` 0..127.
        void Add(TMessageKind kind, int channel, int number);
        bool operator==(const TSet&) const = default;

    private:
        friend class TThruFilter;
        std::bitset<kMessageCount> FBits;
    };

    // Controlling thread only.
    void Set(const TSet& set) noexcept;
    // Any thread: whether the packed short message (status in the low byte)
    // is one of the set. Note-off, note-on and key pressure all count as the
    // note; control change and program change by their number.
    bool Blocks(uint32_t message) const noexcept;

private:
    static constexpr std::size_t kWordBits = 64;
    std::array<std::atomic<uint64_t>, kMessageCount / kWordBits> FWords{};
};

} // namespace zw
