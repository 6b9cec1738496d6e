// What a user breeding with synth.sub hears, rendered offline: on each
// default program, random genomes reach far (bright and dark, never silent,
// never clipping), a default mutation is heard, and every sound keeps its
// level in mono.
#include "common/Random.h"
#include "rules/Substitution.h"
#include "support/OfflineSynth.h"
#include "support/SoundMeasure.h"
#include "synth/Synthesizer.h"
#include "worms/Breeding.h"
#include "worms/Gene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

using namespace zw;

namespace {

constexpr int kRate = TSynthesizer::kSampleRate;
constexpr int kGenomes = 32;
constexpr int kNote = 60;
constexpr int kHeld = 3 * kRate / 4; // frames a note is held

// One audition note as the program plays it: the genome's bytes, the note
// held, and its release. The synthesizer goes on from note to
// note, as it does while the user breeds.
class TAudition {
public:
    TAudition(const TSubstitution& rules, int channel, int program) : FRules(rules), FChannel(channel)
    {
        FSynth.Send({static_cast<uint8_t>(0xC0 | channel), static_cast<uint8_t>(program)});
    }

    TSoundFigures Play(const TGene& genome)
    {
        FSynth.SendGenome(FRules, FChannel, genome);
        FSynth.Send({static_cast<uint8_t>(0x90 | FChannel), kNote, 100});
        const std::vector<float> held = FSynth.Render(kHeld);
        FSynth.Send({static_cast<uint8_t>(0x80 | FChannel), kNote, 0});
        FSynth.Render(kHeld / 2);
        // The held note after its attack's first 50 ms.
        return MeasureSound(held, kRate / 20, kHeld, kRate);
    }

private:
    const TSubstitution& FRules;
    int FChannel;
    TOfflineSynth FSynth;
};

} // namespace

// One case per breeder, on its output channel and default program.
class SynthReach : public ::testing::TestWithParam<int> {};

TEST_P(SynthReach, RandomGenomesReachFarMutationsAreHeardAndMonoKeepsTheLevel)
{
    TSubstitution rules;
    rules.LoadFromFile(ZW_SYNTH_RULES);
    RandSeed(18 + GetParam()); // other genomes for each program
    const int channel = GetParam();
    const int program = TSynthSettings{}.Programs[static_cast<size_t>(channel)];
    TAudition audition(rules, channel, program);
    double darkest = 1e9, brightest = 0, takes = 0, mutations = 0;
    for (int i = 0; i < kGenomes; ++i) {
        TGene genome;
        genome.SetSize(120);
        RandomizeGenes(genome);
        const TSoundFigures sound = audition.Play(genome);
        // The same sound again, and after a default mutation (as keypad
        // "/" on a worm that is not frozen).
        const TSoundFigures take = audition.Play(genome);
        TGene mutant = genome;
        MutateGenes(mutant, TBreedingParams{});
        const TSoundFigures mutated = audition.Play(mutant);
        darkest = std::min(darkest, sound.Centroid);
        brightest = std::max(brightest, sound.Centroid);
        takes += SpectralChange(sound, take) / kGenomes;
        mutations += SpectralChange(sound, mutated) / kGenomes;
        // Silent: below -60 dB (the notes measure -50 .. -25 dB in mono).
        EXPECT_GT(sound.Rms, 1e-3) << "program " << program << ", genome " << i << ": silent";
        EXPECT_LT(sound.Peak, 1.0) << "program " << program << ", genome " << i << ": clips";
        // At 0 a mono sum is 3 dB below the two sides; below, it cancels.
        EXPECT_GE(sound.Correlation, 0.0) << "program " << program << ", genome " << i << ": out of phase";
    }
    std::printf("program %d: centroids %.0f .. %.0f Hz (%.2f octaves), take to take %.2f dB, mutation %.2f dB\n",
                program, darkest, brightest, std::log2(brightest / darkest), takes, mutations);
    EXPECT_GE(std::log2(brightest / darkest), 3.0) << "program " << program;
    EXPECT_GE(mutations, 2 * takes) << "program " << program;
}

INSTANTIATE_TEST_SUITE_P(DefaultPrograms, SynthReach, ::testing::Range(0, 4));
