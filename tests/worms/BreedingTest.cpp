// The genome and the breeding operators of a single worm: draw order, wrap-around,
// crossover switching, notifications.
#include "WormTestUtil.h"

#include "common/Exceptions.h"
#include "common/Random.h"
#include "worms/Gene.h"
#include "worms/Worm.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace zw {
namespace {

using test::DrawRandomGenes;
using test::GenesOf;
using test::MakeGene;
using test::ReplayCrossOver;
using test::ReplayMutate;
using test::SetGenes;

// Records every genome the worm reports.
struct TGenomeLog {
    std::vector<std::vector<uint8_t>> Genomes;
    void Attach(TWorm& worm)
    {
        worm.SetOnGenomeChanged([this, &worm](TWorm* sender, const TGene& gene) {
            EXPECT_EQ(sender, &worm);
            Genomes.push_back(GenesOf(gene));
        });
    }
};

std::vector<uint8_t> Filled(int count, uint8_t value)
{
    return std::vector<uint8_t>(static_cast<size_t>(count), value);
}

std::vector<uint8_t> Ramp(int count)
{
    std::vector<uint8_t> genes(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        genes[static_cast<size_t>(i)] = static_cast<uint8_t>(i * 7 + 3);
    return genes;
}

// ---- genome ----

TEST(Gene, EmptyGenomeHasNoGenesAndWritesItsCountOnly)
{
    const TGene gene;
    EXPECT_EQ(gene.Size(), 0);
    std::string text;
    gene.WriteTo(text);
    EXPECT_EQ(text, "0;\r\n");
    const TGene fromNoWorm = GenomeOf(nullptr);
    EXPECT_EQ(fromNoWorm.Size(), 0);
}

TEST(Gene, WritesCountValuesAndLineEnd)
{
    std::string text = "Gene0 = ";
    MakeGene({12, 200, 7}).WriteTo(text);
    EXPECT_EQ(text, "Gene0 = 3, 12, 200, 7;\r\n");
}

TEST(Gene, CopyOfAWormIsIndependentOfLaterChanges)
{
    TWorm worm;
    ASSERT_EQ(worm.Size(), 120);
    const std::vector<uint8_t> before = GenesOf(worm);
    const TGene copy = GenomeOf(&worm);
    EXPECT_EQ(GenesOf(copy), before);
    worm.Randomize();
    EXPECT_NE(GenesOf(worm), before);
    EXPECT_EQ(GenesOf(copy), before);
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

// ---- randomize and resize ----

TEST(Breeding, NewWormDrawsItsGenesInIndexOrder)
{
    RandSeed(11);
    TWorm worm;
    RandSeed(11);
    EXPECT_EQ(GenesOf(worm), DrawRandomGenes(120));
}

TEST(Breeding, RandomizeDrawsEveryGeneAndNotifiesTheAudibleWorm)
{
    TWorm worm;
    worm.SetAudible(true);
    TGenomeLog log;
    log.Attach(worm);
    RandSeed(12);
    worm.Randomize();
    RandSeed(12);
    const std::vector<uint8_t> expected = DrawRandomGenes(120);
    EXPECT_EQ(GenesOf(worm), expected);
    ASSERT_EQ(log.Genomes.size(), 1u);
    EXPECT_EQ(log.Genomes[0], expected);
}

TEST(Breeding, SettingTheSameSizeStillRandomizes)
{
    TWorm worm;
    worm.SetAudible(true);
    TGenomeLog log;
    log.Attach(worm);
    RandSeed(13);
    worm.SetSize(120);
    RandSeed(13);
    EXPECT_EQ(GenesOf(worm), DrawRandomGenes(120));
    EXPECT_EQ(log.Genomes.size(), 1u);

    worm.SetSize(7);
    EXPECT_EQ(worm.Size(), 7);
    EXPECT_EQ(log.Genomes.size(), 2u);
    EXPECT_EQ(log.Genomes[1].size(), 7u);
}

// ---- mutation ----

TEST(Breeding, MutateFollowsTheDrawOrder)
{
    TWorm worm;
    worm.SetMutationProbability(50);
    worm.SetMutationRange(5);
    const std::vector<uint8_t> start = Ramp(120);
    SetGenes(worm, start);
    RandSeed(21);
    worm.Mutate();
    RandSeed(21);
    std::vector<uint8_t> expected = start;
    ReplayMutate(expected, 50, 5);
    EXPECT_EQ(GenesOf(worm), expected);
    EXPECT_NE(GenesOf(worm), start);
}

TEST(Breeding, MutateStepsWrapAroundTheByteInsteadOfClamping)
{
    TWorm worm;
    worm.SetMutationProbability(100);
    worm.SetMutationRange(5);
    std::vector<uint8_t> start;
    for (int i = 0; i < 60; ++i) {
        start.push_back(254);
        start.push_back(2);
    }
    SetGenes(worm, start);
    RandSeed(22);
    worm.Mutate();
    const std::vector<uint8_t> genes = GenesOf(worm);

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

TEST(Breeding, MutateWithRangeZeroChangesNothingButNotifies)
{
    TWorm worm;
    worm.SetMutationProbability(100);
    worm.SetMutationRange(0);
    const std::vector<uint8_t> start = Ramp(120);
    SetGenes(worm, start);
    worm.SetAudible(true);
    TGenomeLog log;
    log.Attach(worm);
    worm.Mutate();
    EXPECT_EQ(GenesOf(worm), start);
    ASSERT_EQ(log.Genomes.size(), 1u);
    EXPECT_EQ(log.Genomes[0], start);
}

TEST(Breeding, MutateWithProbabilityZeroTakesOneDrawPerGene)
{
    TWorm worm;
    worm.SetMutationProbability(0);
    const std::vector<uint8_t> start = Ramp(120);
    SetGenes(worm, start);
    RandSeed(23);
    worm.Mutate();
    const int next = Random(1000000);
    EXPECT_EQ(GenesOf(worm), start);
    RandSeed(23);
    for (int i = 0; i < 120; ++i)
        Random(100);
    EXPECT_EQ(Random(1000000), next);
}

TEST(Breeding, ParametersOutsideTheirRangeAreRefused)
{
    TWorm worm;
    EXPECT_THROW(worm.SetMutationProbability(101), ERangeError);
    EXPECT_THROW(worm.SetCrossOverProbability(-1), ERangeError);
    EXPECT_THROW(worm.SetMorphPercentage(101), ERangeError);
    EXPECT_THROW(worm.SetMutationRange(256), ERangeError);
    EXPECT_THROW(worm.SetClearance(256), ERangeError);
    EXPECT_EQ(worm.MutationProbability(), 50);
    EXPECT_EQ(worm.CrossOverProbability(), 33);
    EXPECT_EQ(worm.MorphPercentage(), 20);
    EXPECT_EQ(worm.MutationRange(), 5);
    EXPECT_EQ(worm.Clearance(), 10);
}

// ---- crossover ----

TEST(Breeding, CrossOverAtHundredTakesExactlyTheEvenGenes)
{
    TWorm child;
    TWorm other;
    child.SetCrossOverProbability(100);
    child.SetMutationProbability(0);
    SetGenes(child, Filled(120, 1));
    SetGenes(other, Filled(120, 2));
    child.CrossOver(&other);
    const std::vector<uint8_t> genes = GenesOf(child);
    for (size_t i = 0; i < genes.size(); ++i)
        EXPECT_EQ(genes[i], i % 2 == 0 ? 2 : 1) << i;
}

TEST(Breeding, CrossOverAtZeroCopiesNothing)
{
    TWorm child;
    TWorm other;
    child.SetCrossOverProbability(0);
    child.SetMutationProbability(0);
    SetGenes(child, Filled(120, 1));
    SetGenes(other, Filled(120, 2));
    child.CrossOver(&other);
    EXPECT_EQ(GenesOf(child), Filled(120, 1));
}

TEST(Breeding, CrossOverFollowsTheDrawOrderAndMutatesAfterwards)
{
    TWorm child;
    TWorm other;
    SetGenes(child, Ramp(120));
    SetGenes(other, Filled(120, 200));
    for (uint64_t seed : {31u, 32u, 33u}) {
        std::vector<uint8_t> expected = GenesOf(child);
        RandSeed(seed);
        child.CrossOver(&other);
        RandSeed(seed);
        ReplayCrossOver(expected, GenesOf(other), 33, 50, 5);
        EXPECT_EQ(GenesOf(child), expected) << "seed " << seed;
    }
}

TEST(Breeding, CrossOverWithAShorterPartnerTouchesOnlyTheOverlap)
{
    TWorm child;
    TWorm other;
    child.SetCrossOverProbability(100);
    child.SetMutationProbability(0);
    SetGenes(child, Filled(120, 1));
    other.SetSize(10);
    SetGenes(other, Filled(10, 2));
    RandSeed(34);
    child.CrossOver(&other);
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

TEST(Breeding, CrossOverWithoutPartnerDoesNothingAtAll)
{
    TWorm child;
    child.SetAudible(true);
    TGenomeLog log;
    log.Attach(child);
    const std::vector<uint8_t> before = GenesOf(child);
    RandSeed(35);
    child.CrossOver(nullptr);
    const int next = Random(1000000);
    EXPECT_EQ(GenesOf(child), before);
    EXPECT_TRUE(log.Genomes.empty());
    RandSeed(35);
    EXPECT_EQ(Random(1000000), next);
}

// ---- morph ----

TEST(Breeding, MorphBlendsTheOverlapTowardThePartner)
{
    TWorm worm;
    TWorm other;
    SetGenes(worm, {100, 0, 255, 7, 9});
    SetGenes(other, {201, 255, 0, 7});
    worm.Morph(&other);
    // (g*80 + o*20) div 100, truncated; gene 4 has no partner.
    EXPECT_EQ(GenesOf(worm), (std::vector<uint8_t>{120, 51, 204, 7, 9}));
}

TEST(Breeding, MorphAtTheEndsKeepsOrCopies)
{
    TWorm worm;
    TWorm other;
    SetGenes(other, Ramp(120));
    SetGenes(worm, Filled(120, 99));
    worm.SetMorphPercentage(0);
    worm.Morph(&other);
    EXPECT_EQ(GenesOf(worm), Filled(120, 99));
    worm.SetMorphPercentage(100);
    worm.Morph(&other);
    EXPECT_EQ(GenesOf(worm), Ramp(120));
}

TEST(Breeding, MorphNotifiesOnlyWithAPartnerAndDrawsNothing)
{
    TWorm worm;
    TWorm other;
    worm.SetAudible(true);
    TGenomeLog log;
    log.Attach(worm);
    worm.Morph(nullptr);
    EXPECT_TRUE(log.Genomes.empty());
    RandSeed(41);
    worm.Morph(&other);
    const int next = Random(1000000);
    EXPECT_EQ(log.Genomes.size(), 1u);
    RandSeed(41);
    EXPECT_EQ(Random(1000000), next);
}

// ---- assignment ----

TEST(Breeding, AssignGenesReportsRandomGenesThenTheTakenOnes)
{
    TWorm worm;
    worm.SetAudible(true);
    TGenomeLog log;
    log.Attach(worm);
    const TGene banked = MakeGene({5, 6, 7});
    RandSeed(51);
    worm.AssignGenes(&banked);
    RandSeed(51);
    ASSERT_EQ(log.Genomes.size(), 2u);
    EXPECT_EQ(log.Genomes[0], DrawRandomGenes(3));
    EXPECT_EQ(log.Genomes[1], (std::vector<uint8_t>{5, 6, 7}));
    EXPECT_EQ(GenesOf(worm), (std::vector<uint8_t>{5, 6, 7}));
}

TEST(Breeding, AssignGenesWithoutGenomeOnlyNotifies)
{
    TWorm worm;
    worm.SetAudible(true);
    TGenomeLog log;
    log.Attach(worm);
    const std::vector<uint8_t> before = GenesOf(worm);
    worm.AssignGenes(nullptr);
    EXPECT_EQ(GenesOf(worm), before);
    ASSERT_EQ(log.Genomes.size(), 1u);
    EXPECT_EQ(log.Genomes[0], before);
}

TEST(Breeding, AssignWormCopiesAndAbsentWormDoesNothing)
{
    TWorm worm;
    TWorm other;
    other.SetSize(30);
    worm.AssignWorm(&other);
    EXPECT_EQ(GenesOf(worm), GenesOf(other));

    worm.SetAudible(true);
    TGenomeLog log;
    log.Attach(worm);
    const std::vector<uint8_t> before = GenesOf(worm);
    worm.AssignWorm(nullptr);
    EXPECT_EQ(GenesOf(worm), before);
    EXPECT_TRUE(log.Genomes.empty());
}

TEST(Breeding, AssigningAWormItsOwnGenomeKeepsIt)
{
    TWorm worm;
    const std::vector<uint8_t> before = GenesOf(worm);
    worm.AssignWorm(&worm);
    EXPECT_EQ(GenesOf(worm), before);
}

TEST(Breeding, AFailingListenerPropagatesAndTheWormGoesOn)
{
    TWorm worm;
    worm.SetAudible(true);
    int calls = 0;
    worm.SetOnGenomeChanged([&calls](TWorm*, const TGene&) {
        ++calls;
        throw std::runtime_error("listener failed");
    });
    EXPECT_THROW(worm.Randomize(), std::runtime_error);
    EXPECT_EQ(calls, 1);
    worm.SetOnGenomeChanged(nullptr);
    worm.Mutate();
    EXPECT_EQ(worm.Size(), 120);
}

} // namespace
} // namespace zw
