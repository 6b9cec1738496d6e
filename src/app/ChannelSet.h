#pragma once

#include <bitset>

// Channels A..D and sets of them.
namespace zw {

// A channel index 0..3 stands for channel A..D: the index of its tab page and
// the Tag of its worm panel.
using TChannel = int;
inline constexpr TChannel kChannelCount = 4;

// A set over 0..255, of which only the channels 0..3 are used. Asking about
// an index outside 0..255 answers false; adding or removing one does nothing.
class TChannelSet {
public:
    bool Contains(int index) const { return InRange(index) && FBits.test(static_cast<size_t>(index)); }
    void Include(int index)
    {
        if (InRange(index))
            FBits.set(static_cast<size_t>(index));
    }
    void Exclude(int index)
    {
        if (InRange(index))
            FBits.reset(static_cast<size_t>(index));
    }
    bool Empty() const { return FBits.none(); }
    bool operator==(const TChannelSet&) const = default;

private:
    static bool InRange(int index) { return index >= 0 && index < 256; }

    std::bitset<256> FBits;
};

} // namespace zw
