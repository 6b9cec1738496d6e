#include "worms/RatedBreeding.h"

#include "common/Random.h"

#include <algorithm>
#include <cstddef>

namespace zw {
namespace {

int RatingOf(const TRatedBreeder& breeder, int index)
{
    const auto i = static_cast<std::size_t>(index);
    return i < breeder.Ratings.size() ? std::clamp(breeder.Ratings[i], 0, kMaxRating) : 0;
}

// A rated worm other than `excluded`, drawn in proportion to its rating; -1
// when there is none.
int DrawRated(const TRatedBreeder& breeder, int excluded)
{
    const int count = static_cast<int>(breeder.Genomes.size());
    int total = 0;
    for (int i = 0; i < count; ++i)
        if (i != excluded)
            total += RatingOf(breeder, i);
    if (total == 0)
        return -1;
    int draw = Random(total);
    for (int i = 0; i < count; ++i) {
        if (i == excluded)
            continue;
        draw -= RatingOf(breeder, i);
        if (draw < 0)
            return i;
    }
    return -1; // not reached: the draw lies below the total
}

} // namespace

int NextRating(int rating) { return rating >= kMaxRating || rating < 0 ? 0 : rating + 1; }

void MoveAwayGenes(TGene& gene, const TGene& from, const TGeneMask* ranges)
{
    const int32_t count = std::min(gene.Size(), from.Size());
    uint8_t* genes = gene.Data();
    const uint8_t* away = from.Data();
    for (int32_t i = 0; i < count; ++i)
        genes[i] = SteppedGene(genes[i], genes[i] - away[i], ranges ? ranges->Limits(i) : TGeneLimits());
}

std::vector<TRatedChild> BreedFromRated(const TRatedBreeder& breeder, const TBreedingParams& params,
                                        const TGeneMask* ranges)
{
    static constexpr TRatedKind kTurns[] = {TRatedKind::CrossOver, TRatedKind::MutatedCopy, TRatedKind::AwayFrom};
    std::vector<TRatedChild> children;
    const int count = static_cast<int>(breeder.Genomes.size());
    const bool hasPrevious = breeder.Previous >= 0 && breeder.Previous < count;
    std::size_t turn = 0;
    for (int i = 0; i < count; ++i) {
        if (i == breeder.Frozen || RatingOf(breeder, i) > 0)
            continue;
        TRatedChild child;
        child.Index = i;
        child.Kind = kTurns[turn++ % std::size(kTurns)];
        child.First = DrawRated(breeder, -1);
        if (child.First < 0)
            return {}; // nothing is rated
        const TGene& first = breeder.Genomes[static_cast<std::size_t>(child.First)];
        child.Genes = first;
        if (child.Kind == TRatedKind::CrossOver) {
            child.Second = DrawRated(breeder, child.First);
            if (child.Second < 0)
                child.Kind = TRatedKind::MutatedCopy;
        } else if (child.Kind == TRatedKind::AwayFrom) {
            // Moving away from a worm that sounds the same would go nowhere.
            if (hasPrevious && breeder.Genomes[static_cast<std::size_t>(breeder.Previous)] != first)
                child.Second = breeder.Previous;
            else
                child.Kind = TRatedKind::MutatedCopy;
        }
        switch (child.Kind) {
        case TRatedKind::CrossOver:
            CrossOverGenes(child.Genes, breeder.Genomes[static_cast<std::size_t>(child.Second)], params, ranges);
            break;
        case TRatedKind::MutatedCopy:
            MutateGenes(child.Genes, params, ranges);
            break;
        case TRatedKind::AwayFrom:
            MoveAwayGenes(child.Genes, breeder.Genomes[static_cast<std::size_t>(child.Second)], ranges);
            break;
        }
        children.push_back(std::move(child));
    }
    return children;
}

} // namespace zw
