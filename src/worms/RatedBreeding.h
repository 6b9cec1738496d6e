#pragma once

#include "worms/Breeding.h"
#include "worms/Gene.h"

#include <vector>

// Breeding from the worms the user rated: every unrated worm but the frozen
// one is replaced by a worm made from the rated ones.
namespace zw {

// A worm's rating: 0 (none) up to kMaxRating.
inline constexpr int kMaxRating = 3;
// The rating after `rating` as a middle click cycles them: 0, 1, 2, 3, 0.
int NextRating(int rating);

// How a new worm came from its parents.
enum class TRatedKind {
    CrossOver,   // a cross-over of two rated parents, then mutated (CrossOverGenes)
    MutatedCopy, // a mutated copy of one rated parent (MutateGenes)
    AwayFrom,    // one rated parent moved away from the previously audible worm
};

struct TRatedChild {
    int Index = -1; // the worm it replaces
    TRatedKind Kind = TRatedKind::MutatedCopy;
    int First = -1;  // the rated parent
    int Second = -1; // the other parent (CrossOver) or the worm moved away from (AwayFrom); -1 otherwise
    TGene Genes;
};

// The breeder as breeding from the rated reads it.
struct TRatedBreeder {
    std::vector<TGene> Genomes;
    std::vector<int> Ratings; // one per genome, 0..kMaxRating
    int Frozen = -1;
    int Previous = -1; // the worm that was audible before the audible one; -1 for none
};

// The worms that replace every unrated worm but the frozen one, in index
// order; none when no worm is rated. The kinds take turns: cross-over,
// mutated copy, "away from". Each parent is drawn in proportion to its
// rating (the second of a cross-over from the other rated worms). Without a
// second rated worm a cross-over, and without a previous worm that differs
// from the parent an "away from", becomes a mutated copy.
//
// Draws, per new worm in index order: Random(sum of ratings) for the parent;
// for a cross-over Random(sum of the others' ratings) for the second parent,
// then CrossOverGenes' draws; for a mutated copy MutateGenes' draws; nothing
// for "away from", which moves each gene by its distance from the previous
// worm's: (2 * parent - previous), wrapping around the byte or kept within
// its range of `ranges` as mutation does.
std::vector<TRatedChild> BreedFromRated(const TRatedBreeder& breeder, const TBreedingParams& params,
                                        const TGeneMask* ranges = nullptr);

// Gene by gene over the common length: `gene` moves away from `from` by the
// distance between them, as SteppedGene takes it. Draws nothing.
void MoveAwayGenes(TGene& gene, const TGene& from, const TGeneMask* ranges = nullptr);

} // namespace zw
