#include "worms/BreederHistory.h"

#include <utility>

namespace zw {

TBreederSnapshot::TBreederSnapshot(const std::vector<TGene>& genomes, int audible, int frozen,
                                   std::vector<uint8_t> ratings, TGeneMask mask)
    : FAudible(audible), FFrozen(frozen), FRatings(std::move(ratings)), FMask(std::move(mask))
{
    std::size_t total = 0;
    for (const TGene& gene : genomes)
        total += static_cast<std::size_t>(gene.Size());
    // Reserved exactly: a history of hundreds of these must not carry slack.
    FGenes.reserve(total);
    FEnds.reserve(genomes.size());
    for (const TGene& gene : genomes) {
        FGenes.insert(FGenes.end(), gene.Data(), gene.Data() + gene.Size());
        FEnds.push_back(FGenes.size());
    }
}

TGene TBreederSnapshot::Genome(int index) const
{
    if (index < 0 || index >= GenomeCount())
        return TGene();
    const auto i = static_cast<std::size_t>(index);
    const std::size_t begin = i == 0 ? 0 : FEnds[i - 1];
    return TGene(FGenes.data() + begin, static_cast<int32_t>(FEnds[i] - begin));
}

bool TBreederSnapshot::SameGenomes(const TBreederSnapshot& other) const
{
    return FEnds == other.FEnds && FGenes == other.FGenes;
}

std::size_t TBreederSnapshot::MemoryUsed() const
{
    return sizeof(*this) + FGenes.capacity() + FEnds.capacity() * sizeof(std::size_t) + FRatings.capacity() +
           FMask.MemoryUsed();
}

void TBreederHistory::Record(TBreederSnapshot before)
{
    FRedo.clear();
    if (FDepth == 0)
        return;
    if (FUndo.size() == FDepth)
        FUndo.pop_front();
    FUndo.push_back(std::move(before));
}

std::optional<TBreederSnapshot> TBreederHistory::Undo(TBreederSnapshot current)
{
    if (FUndo.empty())
        return std::nullopt;
    TBreederSnapshot previous = std::move(FUndo.back());
    FUndo.pop_back();
    FRedo.push_back(std::move(current));
    return previous;
}

std::optional<TBreederSnapshot> TBreederHistory::Redo(TBreederSnapshot current)
{
    if (FRedo.empty())
        return std::nullopt;
    TBreederSnapshot next = std::move(FRedo.back());
    FRedo.pop_back();
    FUndo.push_back(std::move(current));
    return next;
}

} // namespace zw
