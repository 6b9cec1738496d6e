// Locks and ranges on a breeder: every operation, against the same seed
// without a mask; the settings texts.
#include "WormTestUtil.h"

#include "common/Exceptions.h"
#include "common/FileErrors.h"
#include "worms/GeneMask.h"
#include "worms/RatedBreeding.h"
#include "worms/WormPanel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace zw {
namespace {

using test::GenesOf;

using TGenomes = std::vector<std::vector<uint8_t>>;

TGenomes GenomesOf(const TWormPanel& panel)
{
    TGenomes genomes;
    for (int i = 0; i < panel.WormCount(); ++i)
        genomes.push_back(GenesOf(panel.Worms(i)->Gene()));
    return genomes;
}

// A 4 x 4 breeder bred from seed 7, audible 5 and frozen 9.
void Prepare(TWormPanel& panel)
{
    RandSeed(7);
    panel.SetRowCount(4);
    panel.SetColCount(4);
    panel.RandomizeEvery();
    panel.SetAudible(5);
    panel.SetFrozen(9);
    panel.SetMutationProbability(100);
    panel.SetMutationRange(40);
    panel.SetMorphPercentage(60);
}

TEST(GeneMask, EveryOperationKeepsLockedGenesAtTheAudibleWormsValuesAndRangesWithoutChangingTheDraws)
{
    TGeneMask mask;
    mask.ReadLockedText("0-3,17,90-95");
    mask.ReadRangeText("20:10-20,21:200-255,22:0-0,3:50-60");
    const std::pair<const char*, std::function<void(TWormPanel&)>> operations[] = {
        {"randomize", &TWormPanel::RandomizeAll}, {"randomize every", &TWormPanel::RandomizeEvery},
        {"mutate", &TWormPanel::MutateAll},      {"mate", &TWormPanel::Mate},
        {"morph", &TWormPanel::Morph},
        {"breed from rated", [](TWormPanel& panel) {
             panel.Worms(3)->SetRating(2);
             panel.Worms(12)->SetRating(1);
             panel.BreedFromRated();
         }},
    };
    for (const auto& [name, operation] : operations) {
        TWormPanel plain, masked;
        Prepare(plain);
        Prepare(masked);
        masked.SetGeneMask(mask);
        const TGenomes before = GenomesOf(masked);
        const std::vector<uint8_t> audible = before[5];
        RandSeed(11);
        operation(plain);
        const int32_t plainNext = Random(1 << 30);
        RandSeed(11);
        operation(masked);
        EXPECT_EQ(Random(1 << 30), plainNext) << name << ": the mask draws nothing";
        const TGenomes expected = GenomesOf(plain);
        const TGenomes got = GenomesOf(masked);
        const bool randomizes = name[0] == 'r';
        for (int w = 0; w < 16; ++w) {
            const auto& e = expected[static_cast<size_t>(w)];
            const auto& g = got[static_cast<size_t>(w)];
            if (e == before[static_cast<size_t>(w)]) {
                EXPECT_EQ(g, e) << name << ": worm " << w << " was not produced";
                continue;
            }
            for (int i = 0; i < 120; ++i) {
                const TGeneLimits limits = mask.Limits(i);
                const int plainValue = e[static_cast<size_t>(i)];
                const int value = g[static_cast<size_t>(i)];
                if (limits.Locked) {
                    EXPECT_EQ(value, audible[static_cast<size_t>(i)]) << name << " worm " << w << " gene " << i;
                    continue;
                }
                EXPECT_GE(value, limits.Min) << name << " worm " << w << " gene " << i;
                EXPECT_LE(value, limits.Max) << name << " worm " << w << " gene " << i;
                // A step inside a range is mirrored at its ends (the next
                // test), so only randomize and morph fit the plain value.
                const bool steps = !randomizes && name != std::string("morph");
                if (limits.IsDefault() || !steps) {
                    const int fitted = randomizes ? limits.Min + plainValue * (limits.Max - limits.Min + 1) / 256
                                                  : std::clamp<int>(plainValue, limits.Min, limits.Max);
                    EXPECT_EQ(value, fitted) << name << " worm " << w << " gene " << i;
                }
            }
        }
    }
}

// How many of `genes` sit at `value`.
int CountOf(const std::vector<uint8_t>& genes, int value)
{
    return static_cast<int>(std::count(genes.begin(), genes.end(), value));
}

TEST(GeneMask, StepsInARangeNeitherWrapNorPileUpAtItsEnds)
{
    constexpr int kMin = 200, kMax = 255, kSize = kMax - kMin + 1;
    TGeneMask mask;
    for (int gene = 0; gene < 120; ++gene)
        mask.SetRange(gene, kMin, kMax);

    // Mutation: a breeder spread over the range stays spread over it, each
    // end holding its share and no more.
    TWormPanel panel;
    Prepare(panel);
    panel.SetMutationRange(5);
    panel.SetGeneMask(mask);
    panel.RandomizeEvery();
    std::vector<uint8_t> mutated;
    for (int round = 0; round < 30; ++round) {
        panel.MutateAll();
        for (int w = 0; w < panel.WormCount(); ++w)
            if (w != 9) { // the frozen worm does not mutate
                const std::vector<uint8_t> genes = GenesOf(panel.Worms(w)->Gene());
                mutated.insert(mutated.end(), genes.begin(), genes.end());
            }
    }
    const double share = static_cast<double>(mutated.size()) / kSize;
    EXPECT_EQ(std::count_if(mutated.begin(), mutated.end(), [](int v) { return v < kMin; }), 0);
    for (const int end : {kMin, kMax}) {
        EXPECT_GT(CountOf(mutated, end), 0.8 * share) << "mutated genes at " << end;
        EXPECT_LT(CountOf(mutated, end), 1.25 * share) << "mutated genes at " << end;
    }

    // "Away from": a worm moved away from another by up to the whole range
    // lands anywhere in it, never wrapped round to its low end.
    RandSeed(3);
    std::vector<uint8_t> moved;
    for (int round = 0; round < 200; ++round) {
        TGene child, previous;
        child.SetSize(120);
        previous.SetSize(120);
        for (int i = 0; i < 120; ++i) {
            child.SetGenes(i, static_cast<uint8_t>(kMin + Random(kSize)));
            previous.SetGenes(i, static_cast<uint8_t>(kMin + Random(kSize)));
        }
        MoveAwayGenes(child, previous, &mask);
        ApplyGeneMask(child, previous, mask, TGeneFit::Clamp);
        const std::vector<uint8_t> genes = GenesOf(child);
        moved.insert(moved.end(), genes.begin(), genes.end());
    }
    const double movedShare = static_cast<double>(moved.size()) / kSize;
    for (const int end : {kMin, kMax})
        EXPECT_LT(CountOf(moved, end), 2 * movedShare) << "moved genes at " << end;
    EXPECT_EQ(SteppedGene(250, 10, TGeneLimits{false, 0, 255}), 4) << "the full range still wraps";
}

TEST(GeneMask, TextsRoundTripAndABadTextChangesNothing)
{
    TGeneMask mask;
    EXPECT_EQ(mask.LockedText(), "");
    mask.ReadLockedText(" 90-95, 0-3 ,17,4");
    EXPECT_EQ(mask.LockedText(), "0-4,17,90-95");
    mask.ReadRangeText("7:0-127, 5:10-200,6:0-255");
    EXPECT_EQ(mask.RangeText(), "5:10-200,7:0-127");
    EXPECT_TRUE(mask.Locked(17));
    const TGeneMask kept = mask;
    for (const char* bad : {"3-1", "x", "1,,2", "1024", "-5", "0-99999999999"}) {
        EXPECT_THROW(mask.ReadLockedText(bad), EInvalidFile) << bad;
        EXPECT_EQ(mask, kept) << bad;
    }
    for (const char* bad : {"5", "5:9-3", "5:0-256", "1024:1-2", "5:1-2:3"}) {
        EXPECT_THROW(mask.ReadRangeText(bad), EInvalidFile) << bad;
        EXPECT_EQ(mask, kept) << bad;
    }
    mask.ReadLockedText("");
    mask.ReadRangeText("");
    EXPECT_TRUE(mask.Empty());
    EXPECT_THROW(mask.SetRange(3, 9, 8), ERangeError);
    EXPECT_THROW(mask.SetLocked(TGeneMask::kMaxGenes, true), ERangeError);
}

TEST(GeneMask, AMaskChangeIsAStepThatUndoBringsBack)
{
    TWormPanel panel;
    Prepare(panel);
    std::vector<TBreederSnapshot> steps;
    panel.SetOnStep([&](TWormPanel*, const TBreederSnapshot& before) { steps.push_back(before); });
    TGeneMask mask;
    mask.SetLocked(4, true);
    panel.Step([&] { panel.SetGeneMask(mask); });
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_TRUE(steps[0].Mask().Empty());
    panel.Restore(steps[0]);
    EXPECT_TRUE(panel.GeneMask().Empty());
}

} // namespace
} // namespace zw
