#pragma once

#include "worms/Gene.h"
#include "worms/GeneMask.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace zw {

// One breeder as undo brings it back: every worm's genome in worm order, the
// audible and frozen worm (-1 for none), when given the worms' ratings, and the
// genes' locks and ranges. The genomes lie in one block, so
// a breeder of 16 worms of 120 genes takes about 2 KB.
class TBreederSnapshot {
public:
    TBreederSnapshot() = default;
    TBreederSnapshot(const std::vector<TGene>& genomes, int audible, int frozen, std::vector<uint8_t> ratings = {},
                     TGeneMask mask = {});

    int GenomeCount() const { return static_cast<int>(FEnds.size()); }
    // Genome `index` (0..GenomeCount-1) as a copy; an empty one outside.
    TGene Genome(int index) const;
    int Audible() const { return FAudible; }
    int Frozen() const { return FFrozen; }
    // One rating per worm, or none when the snapshot keeps no ratings.
    const std::vector<uint8_t>& Ratings() const { return FRatings; }
    const TGeneMask& Mask() const { return FMask; }

    // Whether both hold the same genomes, whatever the audible and frozen worm.
    bool SameGenomes(const TBreederSnapshot& other) const;
    // The bytes it holds, for the memory figures.
    std::size_t MemoryUsed() const;

private:
    std::vector<uint8_t> FGenes;  // the genomes one after another
    std::vector<std::size_t> FEnds; // where each genome ends in FGenes
    int FAudible = -1;
    int FFrozen = -1;
    std::vector<uint8_t> FRatings;
    TGeneMask FMask;
};

// The undo and redo lists of one breeder. Each step keeps the breeder as it
// was before the change; at most `depth` steps are kept, the oldest going
// first. Nothing here draws from the random generator.
class TBreederHistory {
public:
    static constexpr std::size_t kDefaultDepth = 256;

    explicit TBreederHistory(std::size_t depth = kDefaultDepth) : FDepth(depth) {}

    // A change is about to be, or was just, made to the breeder `before`
    // shows: it becomes the step undone next, and the redo list is dropped.
    void Record(TBreederSnapshot before);

    bool CanUndo() const { return !FUndo.empty(); }
    bool CanRedo() const { return !FRedo.empty(); }
    std::size_t UndoCount() const { return FUndo.size(); }

    // The breeder to bring back, with `current` (the breeder as it is) kept
    // for the way back; nothing when there is no step that way.
    std::optional<TBreederSnapshot> Undo(TBreederSnapshot current);
    std::optional<TBreederSnapshot> Redo(TBreederSnapshot current);

private:
    std::size_t FDepth;
    std::deque<TBreederSnapshot> FUndo; // oldest first
    std::vector<TBreederSnapshot> FRedo; // the step undone last at the back
};

} // namespace zw
