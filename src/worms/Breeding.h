#pragma once

#include "common/Checked.h"
#include "worms/Gene.h"
#include "worms/GeneMask.h"

#include <cstdint>

namespace zw {

// A percentage 0..100 held in one byte: crossover and mutation probability,
// morph percentage.
using TPercentage = uint8_t;
inline constexpr int kMaxPercentage = 100;

// A value 0..kMaxPercentage as a TPercentage; anything else raises ERangeError.
inline TPercentage CheckedPercentage(int value) { return CheckedRange<TPercentage>(value, 0, kMaxPercentage); }

// What a worm breeds with. The setters that fill it keep each field in range.
struct TBreedingParams {
    TPercentage CrossOverProbability = 33;
    TPercentage MutationProbability = 50;
    uint8_t MutationRange = 5;
    TPercentage MorphPercentage = 20;

    bool operator==(const TBreedingParams&) const = default;
};

// The breeding operators on a genome. Each draws from zw::Random in a fixed
// order, so that the same seed breeds the same population on every start.

// Every gene gets Random(256), in index order.
void RandomizeGenes(TGene& gene);

// Per gene one Random(100); below MutationProbability the gene then steps by
// MutationRange - Random(2 * MutationRange + 1), wrapping around the byte, or
// kept within its range of `ranges` (SteppedGene). The draws do not depend on
// `ranges`.
void MutateGenes(TGene& gene, const TBreedingParams& params, const TGeneMask* ranges = nullptr);

// Copies runs of genes from `partner` over their common length: one
// Random(100) decides whether the first run is copied, then one Random(100)
// per gene decides whether the next gene switches. Ends with MutateGenes.
void CrossOverGenes(TGene& gene, const TGene& partner, const TBreedingParams& params,
                    const TGeneMask* ranges = nullptr);

// Moves each gene of the common length MorphPercentage percent of the way
// toward the partner's, truncated. Draws nothing.
void MorphGenes(TGene& gene, const TGene& partner, const TBreedingParams& params);

// The genome `amount`/`full` of the way from `from` to `to` over their common
// length, truncated as MorphGenes does (`from` beyond it); 0 gives `from`,
// `full` gives `to`. `amount` is confined to 0..full. Draws nothing.
TGene BlendGenes(const TGene& from, const TGene& to, int amount, int full);

// The genes past the first `heard` (none when `heard` is negative) take their
// values in `before` over the common length: genes nothing listens to are
// kept as they were by every breeding operation. Draws nothing.
void KeepUnheardGenes(TGene& produced, const TGene& before, int heard);

} // namespace zw
