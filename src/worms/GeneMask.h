#pragma once

#include "worms/Gene.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zw {

// What breeding may do to one gene of a breeder: a locked gene keeps the
// audible worm's value, an unlocked one stays within Min..Max.
struct TGeneLimits {
    bool Locked = false;
    uint8_t Min = 0;
    uint8_t Max = 255;

    bool IsDefault() const { return !Locked && Min == 0 && Max == 255; }
    bool operator==(const TGeneLimits&) const = default;
};

// How a produced gene is brought into its range: Scale maps a draw over the
// whole byte onto the range (randomize), Clamp moves a value that left the
// range to its nearest end (morph, and what a step left outside it).
enum class TGeneFit { Scale, Clamp };

// The locks and ranges of one breeder's genes. Genes never set are unlocked
// with the full range, so an empty mask changes nothing.
class TGeneMask {
public:
    // Gene numbers a mask holds: 0..kMaxGenes-1.
    static constexpr int kMaxGenes = 1024;

    // The limits of `gene`; the default ones for a gene outside 0..kMaxGenes-1.
    TGeneLimits Limits(int gene) const;
    bool Locked(int gene) const { return Limits(gene).Locked; }
    // Raise ERangeError for a gene outside 0..kMaxGenes-1, or a range that is
    // not 0 <= min <= max <= 255.
    void SetLocked(int gene, bool locked);
    void SetRange(int gene, int min, int max);
    // No lock and every range 0..255.
    bool Empty() const { return FGenes.empty(); }

    // The settings file's texts: the locked genes as numbers and runs,
    // "0-3,17,90-95", and the ranges that differ from 0-255 as
    // "<gene>:<min>-<max>" items, "5:10-200,7:0-127"; empty for none.
    std::string LockedText() const;
    std::string RangeText() const;
    // Replace the locks, or the ranges, with those `text` names. A text that
    // is not such a list raises EInvalidFile naming the item, and changes nothing.
    void ReadLockedText(const std::string& text);
    void ReadRangeText(const std::string& text);

    // The bytes it holds beyond its own size, for the memory figures.
    std::size_t MemoryUsed() const { return FGenes.capacity() * sizeof(TGeneLimits); }

    bool operator==(const TGeneMask&) const = default;

private:
    TGeneLimits& At(int gene);
    void Trim();

    std::vector<TGeneLimits> FGenes; // up to the last gene that differs from the default
};

// Where a step of `step` takes a gene of `value` under `limits`. With the full
// range the step wraps around the byte (255 + 1 gives 0). Within a narrower
// range it is mirrored at the range's ends instead, so that it neither wraps
// from one end to the other nor piles up at an end: a value just past Max
// comes back as Max, the next as Max - 1. A value outside the range steps
// from the range's nearer end.
uint8_t SteppedGene(int value, int step, TGeneLimits limits);

// Brings a genome that a breeding operation produced under `mask`: each gene
// first into its range (by `fit`), then each locked gene to the value it has
// in `audible`, the audible worm as it was before the operation (genes beyond
// `audible` keep theirs). Draws nothing, so the generator is drawn exactly as
// without a mask; an empty mask leaves the genome as it is.
void ApplyGeneMask(TGene& produced, const TGene& audible, const TGeneMask& mask, TGeneFit fit);

} // namespace zw
