// The built-in synthesizer rendered offline: genomes through synth.sub, and
// the synthesizer as an output device behind the MIDI binding.
#include "common/Random.h"
#include "midi/MidiOut.h"
#include "midi/SynthBinding.h"
#include "rules/Substitution.h"
#include "support/OfflineSynth.h"
#include "support/ScriptedMidiBinding.h"
#include "worms/Breeding.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace zw;

namespace {

constexpr int kRate = TSynthesizer::kSampleRate;

TSubstitution SynthRules()
{
    TSubstitution rules;
    rules.LoadFromFile(ZW_SYNTH_RULES);
    return rules;
}

TGene Uniform(uint8_t value)
{
    TGene genome;
    genome.SetSize(120);
    for (int gene = 0; gene < 120; ++gene)
        genome.SetGenes(gene, value);
    return genome;
}

// Note 60 held `held` frames, then released for half as long; stereo.
std::vector<float> Note(const TSubstitution& rules, int channel, int program, const TGene& genome, int held = kRate)
{
    TOfflineSynth synth;
    synth.StartNote(rules, channel, program, genome, 60);
    std::vector<float> sound = synth.Render(held);
    synth.Send({static_cast<uint8_t>(0x80 | channel), 60, 0});
    const std::vector<float> release = synth.Render(held / 2);
    sound.insert(sound.end(), release.begin(), release.end());
    return sound;
}

// What a note is compared by: its level in 50 ms frames (dB), and its
// brightness, the RMS of the first difference over the RMS (it grows with the
// spectral centroid), while held.
struct TTake {
    std::vector<double> Envelope;
    double Brightness = 0;
    double HeldRms = 0;
};

TTake Play(const TSubstitution& rules, int channel, int program, const TGene& genome)
{
    const std::vector<float> sound = Note(rules, channel, program, genome);
    TTake take;
    constexpr size_t kFrame = 2 * kRate / 20;
    for (size_t start = 0; start + kFrame <= sound.size(); start += kFrame)
        take.Envelope.push_back(20 * std::log10(Rms(&sound[start], kFrame) + 1e-9));
    std::vector<float> difference(kRate);
    for (size_t i = 2; i < difference.size(); ++i)
        difference[i] = sound[i] - sound[i - 2]; // same side, one frame before
    take.HeldRms = Rms(sound.data(), 2 * kRate);
    take.Brightness = Rms(difference.data(), difference.size()) / Rms(sound.data(), kRate);
    return take;
}

double EnvelopeDistance(const TTake& a, const TTake& b)
{
    double sum = 0;
    for (size_t i = 0; i < a.Envelope.size(); ++i)
        sum += std::abs(a.Envelope[i] - b.Envelope[i]);
    return sum / static_cast<double>(a.Envelope.size());
}

} // namespace

// On every channel with its default program: two genomes of the start
// population sound clearly different (brightness ratio above 1.1, or level
// envelopes 1.5 dB apart on average), and the same genome renders the same.
// No genome is silent: a child of the start population, and every gene at 0
// or at 255, stays within 30 dB of the note with every gene at 128.
TEST(SynthSound, GenomesThroughTheSynthRulesSoundDifferentAndNeverSilent)
{
    const TSubstitution rules = SynthRules();
    ASSERT_EQ(rules.Count(), 120);
    RandSeed(0);
    std::vector<TGene> population(12, Uniform(0));
    for (TGene& genome : population)
        RandomizeGenes(genome);
    for (int channel = 0; channel < 4; ++channel) {
        const int program = TSynthSettings{}.Programs[static_cast<size_t>(channel)];
        const auto member = [&](int i) { return population[static_cast<size_t>(channel + 4 * i)]; };
        TGene child = member(0);
        CrossOverGenes(child, member(1), TBreedingParams{});
        const double reference = Play(rules, channel, program, Uniform(128)).HeldRms;
        ASSERT_GT(reference, 1e-3) << "program " << program;
        for (const TGene& genome : {child, Uniform(0), Uniform(255)})
            EXPECT_GT(Play(rules, channel, program, genome).HeldRms, reference / 31.6) << "program " << program;

        const TTake first = Play(rules, channel, program, member(0));
        const TTake second = Play(rules, channel, program, member(2));
        const double ratio = std::max(first.Brightness, second.Brightness) /
                             std::min(first.Brightness, second.Brightness);
        EXPECT_TRUE(ratio > 1.1 || EnvelopeDistance(first, second) > 1.5)
            << "program " << program << ": brightness ratio " << ratio << ", envelopes "
            << EnvelopeDistance(first, second) << " dB apart";
        EXPECT_EQ(EnvelopeDistance(first, Play(rules, channel, program, member(0))), 0.0);
    }
}

// Each gene alone, from 0 to 255 with every other gene at 128, changes the
// stereo sound of a note on channel A by at least 3 % (-30 dB) of its level.
TEST(SynthSound, EveryGeneMovesTheSound)
{
    const TSubstitution rules = SynthRules();
    for (int gene = 0; gene < 120; ++gene) {
        TGene low = Uniform(128);
        TGene high = Uniform(128);
        low.SetGenes(gene, 0);
        high.SetGenes(gene, 255);
        const std::vector<float> a = Note(rules, 0, TSynthSettings{}.Programs[0], low, kRate / 2);
        const std::vector<float> b = Note(rules, 0, TSynthSettings{}.Programs[0], high, kRate / 2);
        std::vector<float> difference(a.size());
        for (size_t i = 0; i < a.size(); ++i)
            difference[i] = a[i] - b[i];
        EXPECT_GT(Rms(difference.data(), difference.size()), 0.03 * Rms(a.data(), a.size()))
            << "gene " << gene << ": " << rules.Rule(gene);
    }
}

// Through the port: the synthesizer is output device 0, the system's devices
// follow it, it plays what the port sends, and one port at a time holds it.
TEST(SynthBinding, TheSynthesizerIsTheFirstDeviceAndPlaysWhatThePortSends)
{
    TScriptedMidiBinding system;
    system.OutDevices = {"Synth One"};
    TSynthBinding binding(system, TSynthOutput::Offline);
    ASSERT_EQ(binding.OutGetNumDevs(), 2u);
    TMidiOutput external(nullptr, &binding);
    external.SetProductName("Synth One");
    external.OpenPort();
    external.SendShort(0x90, 60, 100);
    ASSERT_EQ(system.Sent().size(), 1u);
    EXPECT_EQ(system.Sent()[0].DeviceId, 0u);

    TMidiOutput port(nullptr, &binding);
    port.SetProductName(kSynthDeviceName);
    EXPECT_EQ(port.DeviceID(), 0u);
    port.OpenPort();
    EXPECT_THROW(TMidiOutput(nullptr, &binding).OpenPort(), EmidioutputError);
    std::vector<float> left(kRate / 4);
    std::vector<float> right(kRate / 4);
    const uint8_t note[] = {0xC0, 81, 0xB0, 74, 100, 0x90, 60, 100};
    port.SendLong(note, sizeof note);
    ASSERT_TRUE(binding.Render(left.data(), right.data(), kRate / 4));
    EXPECT_GT(Rms(left.data(), left.size()), 1e-3);
    port.ClosePort();
    EXPECT_FALSE(binding.Render(left.data(), right.data(), kRate / 4));
    EXPECT_EQ(system.Sent().size(), 1u);
}
