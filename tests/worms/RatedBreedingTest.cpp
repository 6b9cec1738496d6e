// Breeding from the rated worms: who is replaced, where every new worm's
// genes come from, the parents' shares and the fixed order of the draws.
#include "common/Random.h"
#include "worms/RatedBreeding.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace zw {
namespace {

// 16 seeded worms: worm 0 rated 3, worm 5 rated 1, worm 9 rated 2; worm 2
// frozen, worm 7 audible before the audible one.
TRatedBreeder SeededBreeder()
{
    RandSeed(11);
    TRatedBreeder breeder{std::vector<TGene>(16), std::vector<int>(16, 0), 2, 7};
    for (TGene& gene : breeder.Genomes) {
        gene.SetSize(120);
        RandomizeGenes(gene);
    }
    breeder.Ratings[0] = 3;
    breeder.Ratings[5] = 1;
    breeder.Ratings[9] = 2;
    return breeder;
}

// The step from `from` to `to` around the byte, -128..127.
int Step(int from, int to) { return (to - from + 384) % 256 - 128; }

TEST(BreedFromRated, ReplacesTheUnratedButTheFrozenWithWormsMadeFromTheRatedAsTheMixSays)
{
    const TRatedBreeder breeder = SeededBreeder();
    const auto gene = [&](int worm, int g) { return int(breeder.Genomes[size_t(worm)].Genes(g)); };
    const TBreedingParams params{33, 100, 5, 20}; // every gene steps by at most 5
    RandSeed(5);
    const std::vector<TRatedChild> children = BreedFromRated(breeder, params);
    std::set<int> replaced;
    for (size_t k = 0; k < children.size(); ++k) {
        const TRatedChild& c = children[k];
        replaced.insert(c.Index);
        EXPECT_EQ(c.Kind, static_cast<TRatedKind>(k % 3)) << "the kinds take turns";
        ASSERT_GT(breeder.Ratings[size_t(c.First)], 0);
        if (c.Kind == TRatedKind::CrossOver) {
            ASSERT_TRUE(c.Second != c.First && breeder.Ratings[size_t(c.Second)] > 0) << c.Index;
        } else if (c.Kind == TRatedKind::AwayFrom) {
            ASSERT_EQ(c.Second, breeder.Previous);
        }
        for (int g = 0; g < 120; ++g) {
            const int child = c.Genes.Genes(g);
            const bool nearFirst = std::abs(Step(gene(c.First, g), child)) <= params.MutationRange;
            const int second = c.Second >= 0 ? gene(c.Second, g) : -1000;
            const bool nearSecond = std::abs(Step(second, child)) <= params.MutationRange;
            const bool awayFrom = Step(gene(c.First, g), child) == Step(second, gene(c.First, g));
            const bool fromParents[] = {nearFirst || nearSecond, nearFirst, awayFrom};
            EXPECT_TRUE(fromParents[int(c.Kind)]) << "worm " << c.Index << " gene " << g;
        }
        EXPECT_NE(c.Genes, breeder.Genomes[size_t(c.First)]) << "worm " << c.Index << " is new";
    }
    EXPECT_EQ(replaced, (std::set<int>{1, 3, 4, 6, 7, 8, 10, 11, 12, 13, 14, 15}));
    RandSeed(5);
    const std::vector<TRatedChild> again = BreedFromRated(breeder, params);
    for (size_t k = 0; k < children.size(); ++k)
        EXPECT_EQ(again.at(k).Genes, children[k].Genes) << "the same seed breeds the same worms";
}

TEST(BreedFromRated, DrawsParentsByRatingAndFallsBackToMutatedCopiesOrNothing)
{
    TRatedBreeder many{std::vector<TGene>(800), std::vector<int>(800, 0)};
    many.Ratings[0] = 3;
    many.Ratings[1] = 1;
    const std::vector<TRatedChild> children = BreedFromRated(many, TBreedingParams{});
    const auto fromHigh = std::count_if(children.begin(), children.end(), [](auto& c) { return c.First == 0; });
    EXPECT_NEAR(double(fromHigh) / double(children.size()), 0.75, 0.05);

    // One rated worm that is also the previous one: nothing to cross with,
    // nowhere to move away from. None rated: nothing at all.
    TRatedBreeder breeder = SeededBreeder();
    breeder.Ratings.assign(16, 0);
    EXPECT_TRUE(BreedFromRated(breeder, TBreedingParams{}).empty());
    breeder.Ratings[7] = 2;
    for (const TRatedChild& child : BreedFromRated(breeder, TBreedingParams{}))
        EXPECT_TRUE(child.Kind == TRatedKind::MutatedCopy && child.First == 7) << child.Index;
}

} // namespace
} // namespace zw
