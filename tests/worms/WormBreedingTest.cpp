// A worm breeding: its genome follows the operators, the audible worm reports
// every change, the parameters are range-checked.
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
using test::Ramp;
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

// ---- breeding ----

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
