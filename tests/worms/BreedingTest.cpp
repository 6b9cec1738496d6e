// The genome and the breeding operators on it: draw order, wrap-around,
// crossover switching. Plain values; no toolkit.
#include "GeneTestUtil.h"

#include "common/Exceptions.h"
#include "common/Random.h"
#include "worms/Breeding.h"
#include "worms/Gene.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zw {
namespace {

using test::GenesOf;
using test::MakeGene;
using test::Ramp;
using test::ReplayCrossOver;
using test::ReplayMutate;

std::vector<uint8_t> Filled(int count, uint8_t value)
{
    return std::vector<uint8_t>(static_cast<size_t>(count), value);
}

// ---- genome ----

TEST(Gene, WritesCountValuesAndLineEnd)
{
    std::string text = "Gene0 = ";
    MakeGene({12, 200, 7}).WriteTo(text);
    EXPECT_EQ(text, "Gene0 = 3, 12, 200, 7;\r\n");
}

TEST(Gene, SetSizeKeepsGenesOnlyWhenTheCountIsUnchanged)
{
    TGene gene = MakeGene({1, 2, 3});
    gene.SetSize(3);
    EXPECT_EQ(GenesOf(gene), (std::vector<uint8_t>{1, 2, 3}));
    gene.SetSize(5);
    EXPECT_EQ(gene.Size(), 5);
    gene.SetSize(0);
    EXPECT_EQ(gene.Size(), 0);
}

TEST(Gene, NegativeSizeMeansNoGenes)
{
    TGene gene = MakeGene({1, 2, 3});
    gene.SetSize(-4);
    EXPECT_EQ(gene.Size(), 0);
    std::string text;
    gene.WriteTo(text);
    EXPECT_EQ(text, "0;\r\n");
}

TEST(Gene, IndexOutsideTheGenesIsARangeError)
{
    TGene gene = MakeGene({9, 8});
    EXPECT_EQ(gene.Genes(1), 8);
    gene.SetGenes(0, 250);
    EXPECT_EQ(gene.Genes(0), 250);
    EXPECT_THROW(gene.Genes(2), ERangeError);
    EXPECT_THROW(gene.Genes(-1), ERangeError);
    EXPECT_THROW(gene.SetGenes(2, 1), ERangeError);
}

// ---- mutation ----

TEST(Breeding, MutateFollowsTheDrawOrder)
{
    TBreedingParams params;
    params.MutationProbability = 50;
    params.MutationRange = 5;
    const std::vector<uint8_t> start = Ramp(120);
    TGene gene = MakeGene(start);
    RandSeed(21);
    MutateGenes(gene, params);
    RandSeed(21);
    std::vector<uint8_t> expected = start;
    ReplayMutate(expected, 50, 5);
    EXPECT_EQ(GenesOf(gene), expected);
    EXPECT_NE(GenesOf(gene), start);
}

TEST(Breeding, MutateStepsWrapAroundTheByteInsteadOfClamping)
{
    TBreedingParams params;
    params.MutationProbability = 100;
    params.MutationRange = 5;
    std::vector<uint8_t> start;
    for (int i = 0; i < 60; ++i) {
        start.push_back(254);
        start.push_back(2);
    }
    TGene gene = MakeGene(start);
    RandSeed(22);
    MutateGenes(gene, params);
    const std::vector<uint8_t> genes = GenesOf(gene);

    int wrappedUp = 0;
    int wrappedDown = 0;
    for (size_t i = 0; i < genes.size(); i += 2) {
        // 254 + 0..5 and 254 - 0..5: 249..255 or 0..3
        EXPECT_TRUE(genes[i] >= 249 || genes[i] <= 3) << int(genes[i]);
        wrappedUp += genes[i] <= 3;
        // 2 - 0..5 and 2 + 0..5: 253..255 or 0..7
        EXPECT_TRUE(genes[i + 1] >= 253 || genes[i + 1] <= 7) << int(genes[i + 1]);
        wrappedDown += genes[i + 1] >= 253;
    }
    // About a quarter of each wraps; clamping would give none.
    EXPECT_GT(wrappedUp, 0);
    EXPECT_GT(wrappedDown, 0);

    RandSeed(22);
    std::vector<uint8_t> expected = start;
    ReplayMutate(expected, 100, 5);
    EXPECT_EQ(genes, expected);
}

TEST(Breeding, MutateWithProbabilityZeroTakesOneDrawPerGene)
{
    TBreedingParams params;
    params.MutationProbability = 0;
    const std::vector<uint8_t> start = Ramp(120);
    TGene gene = MakeGene(start);
    RandSeed(23);
    MutateGenes(gene, params);
    const int next = Random(1000000);
    EXPECT_EQ(GenesOf(gene), start);
    RandSeed(23);
    for (int i = 0; i < 120; ++i)
        Random(100);
    EXPECT_EQ(Random(1000000), next);
}

// ---- crossover ----

TEST(Breeding, CrossOverAtHundredTakesExactlyTheEvenGenes)
{
    TBreedingParams params;
    params.CrossOverProbability = 100;
    params.MutationProbability = 0;
    TGene child = MakeGene(Filled(120, 1));
    const TGene other = MakeGene(Filled(120, 2));
    CrossOverGenes(child, other, params);
    const std::vector<uint8_t> genes = GenesOf(child);
    for (size_t i = 0; i < genes.size(); ++i)
        EXPECT_EQ(genes[i], i % 2 == 0 ? 2 : 1) << i;
}

TEST(Breeding, CrossOverAtZeroCopiesNothing)
{
    TBreedingParams params;
    params.CrossOverProbability = 0;
    params.MutationProbability = 0;
    TGene child = MakeGene(Filled(120, 1));
    const TGene other = MakeGene(Filled(120, 2));
    CrossOverGenes(child, other, params);
    EXPECT_EQ(GenesOf(child), Filled(120, 1));
}

TEST(Breeding, CrossOverFollowsTheDrawOrderAndMutatesAfterwards)
{
    const TBreedingParams params;
    TGene child = MakeGene(Ramp(120));
    const TGene other = MakeGene(Filled(120, 200));
    for (uint64_t seed : {31u, 32u, 33u}) {
        std::vector<uint8_t> expected = GenesOf(child);
        RandSeed(seed);
        CrossOverGenes(child, other, params);
        RandSeed(seed);
        ReplayCrossOver(expected, GenesOf(other), 33, 50, 5);
        EXPECT_EQ(GenesOf(child), expected) << "seed " << seed;
    }
}

TEST(Breeding, CrossOverWithAShorterPartnerTouchesOnlyTheOverlap)
{
    TBreedingParams params;
    params.CrossOverProbability = 100;
    params.MutationProbability = 0;
    TGene child = MakeGene(Filled(120, 1));
    const TGene other = MakeGene(Filled(10, 2));
    RandSeed(34);
    CrossOverGenes(child, other, params);
    const int next = Random(1000000);
    const std::vector<uint8_t> genes = GenesOf(child);
    ASSERT_EQ(genes.size(), 120u);
    for (size_t i = 0; i < genes.size(); ++i)
        EXPECT_EQ(genes[i], i < 10 && i % 2 == 0 ? 2 : 1) << i;
    // One start draw, one switch draw per overlapping gene, one mutation draw per gene.
    RandSeed(34);
    for (int i = 0; i < 1 + 10 + 120; ++i)
        Random(100);
    EXPECT_EQ(Random(1000000), next);
}

// ---- morph ----

TEST(Breeding, MorphBlendsTheOverlapTowardThePartner)
{
    const TBreedingParams params;
    TGene worm = MakeGene({100, 0, 255, 7, 9});
    const TGene other = MakeGene({201, 255, 0, 7});
    MorphGenes(worm, other, params);
    // (g*80 + o*20) div 100, truncated; gene 4 has no partner.
    EXPECT_EQ(GenesOf(worm), (std::vector<uint8_t>{120, 51, 204, 7, 9}));
}

TEST(Breeding, MorphAtTheEndsKeepsOrCopies)
{
    TBreedingParams params;
    const TGene other = MakeGene(Ramp(120));
    TGene worm = MakeGene(Filled(120, 99));
    params.MorphPercentage = 0;
    MorphGenes(worm, other, params);
    EXPECT_EQ(GenesOf(worm), Filled(120, 99));
    params.MorphPercentage = 100;
    MorphGenes(worm, other, params);
    EXPECT_EQ(GenesOf(worm), Ramp(120));
}

} // namespace
} // namespace zw
