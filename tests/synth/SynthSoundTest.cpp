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
#include <complex>
#include <numbers>

using namespace zw;

namespace {

constexpr int kRate = TSynthesizer::kSampleRate;
constexpr int kFrame = kRate / 20; // 50 ms

// What a rendered note is compared by: its level in 50 ms frames (dB) over
// 1 s held and 0.5 s released, and the spectral centroid (Hz) of 4096
// samples in the middle of the held part.
struct TTake {
    std::vector<double> Envelope;
    double Centroid = 0;
    double HeldRms = 0;
};

// Magnitude-weighted mean frequency of `count` (a power of two) samples.
double Centroid(const float* samples, size_t count)
{
    std::vector<std::complex<double>> x(samples, samples + count);
    for (size_t i = 1, j = 0; i < count; ++i) { // bit-reversed order, then iterative radix-2 FFT
        size_t bit = count >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j |= bit;
        if (i < j)
            std::swap(x[i], x[j]);
    }
    for (size_t length = 2; length <= count; length <<= 1) {
        const auto step = std::polar(1.0, -2 * std::numbers::pi / static_cast<double>(length));
        for (size_t start = 0; start < count; start += length) {
            std::complex<double> w = 1;
            for (size_t k = 0; k < length / 2; ++k, w *= step) {
                const auto odd = w * x[start + k + length / 2];
                x[start + k + length / 2] = x[start + k] - odd;
                x[start + k] += odd;
            }
        }
    }
    double weighted = 0;
    double total = 0;
    for (size_t bin = 1; bin < count / 2; ++bin) {
        weighted += std::abs(x[bin]) * static_cast<double>(bin * kRate) / static_cast<double>(count);
        total += std::abs(x[bin]);
    }
    return total > 0 ? weighted / total : 0;
}

// A note held `held` frames and released for half as long, with `genome`
// sent before it, in stereo.
std::vector<float> Note(const TSubstitution& rules, int channel, int program, const TGene& genome, int held = kRate)
{
    TOfflineSynth synth;
    const auto status = static_cast<uint8_t>(channel);
    synth.Send({static_cast<uint8_t>(0xC0 | status), static_cast<uint8_t>(program)});
    synth.SendGenome(rules, channel, genome);
    synth.Send({static_cast<uint8_t>(0x90 | status), 60, 100});
    std::vector<float> sound = synth.Render(held);
    synth.Send({static_cast<uint8_t>(0x80 | status), 60, 0});
    const std::vector<float> release = synth.Render(held / 2);
    sound.insert(sound.end(), release.begin(), release.end());
    return sound;
}

TTake Play(const TSubstitution& rules, int channel, int program, const TGene& genome)
{
    const std::vector<float> sound = Mono(Note(rules, channel, program, genome));
    TTake take;
    for (size_t start = 0; start + kFrame <= sound.size(); start += kFrame)
        take.Envelope.push_back(20 * std::log10(Rms(&sound[start], kFrame) + 1e-9));
    take.Centroid = Centroid(&sound[kRate / 2], 4096);
    take.HeldRms = Rms(sound.data(), kRate);
    return take;
}

double EnvelopeDistance(const TTake& a, const TTake& b)
{
    double sum = 0;
    for (size_t i = 0; i < a.Envelope.size(); ++i)
        sum += std::abs(a.Envelope[i] - b.Envelope[i]);
    return sum / static_cast<double>(a.Envelope.size());
}

TSubstitution SynthRules()
{
    TSubstitution rules;
    rules.LoadFromFile(ZW_SYNTH_RULES);
    return rules;
}

TGene RandomGenome()
{
    TGene genome;
    genome.SetSize(120);
    RandomizeGenes(genome);
    return genome;
}

TGene Uniform(uint8_t value)
{
    TGene genome;
    genome.SetSize(120);
    for (int gene = 0; gene < 120; ++gene)
        genome.SetGenes(gene, value);
    return genome;
}

} // namespace

// "Clearly different": the centroids differ by more than 10 %, or the level
// envelopes by more than 1.5 dB on average. The same genome renders the same.
// "Never silent": the held note of every bred genome stays within 30 dB of
// the note with every gene at 128, or is louder; so does every gene at 0 or 255.
TEST(SynthSound, GenomesThroughTheSynthRulesSoundDifferentAndNeverSilent)
{
    const TSubstitution rules = SynthRules();
    ASSERT_EQ(rules.Count(), 120);
    RandSeed(0);
    std::vector<TGene> population;
    for (int i = 0; i < 16; ++i)
        population.push_back(RandomGenome());
    const TBreedingParams params;
    const TSynthSettings defaults;
    for (int channel = 0; channel < 4; ++channel) {
        const int program = defaults.Programs[static_cast<size_t>(channel)];
        const double reference = Play(rules, channel, program, Uniform(128)).HeldRms;
        ASSERT_GT(reference, 1e-3) << "program " << program;
        // Every gene at either end of its range at once.
        for (const uint8_t value : {0, 255})
            EXPECT_GT(Play(rules, channel, program, Uniform(value)).HeldRms, reference / 31.6)
                << "program " << program << ", all genes " << int{value};

        TGene child = population[static_cast<size_t>(channel)];
        CrossOverGenes(child, population[static_cast<size_t>(channel + 4)], params);
        const TTake parent = Play(rules, channel, program, population[static_cast<size_t>(channel)]);
        const TTake bred = Play(rules, channel, program, child);
        const TTake other = Play(rules, channel, program, population[static_cast<size_t>(channel + 8)]);
        for (const TTake* take : {&parent, &bred, &other})
            EXPECT_GT(take->HeldRms, reference / 31.6) << "program " << program;
        const double ratio = std::max(parent.Centroid, other.Centroid) / std::min(parent.Centroid, other.Centroid);
        const double distance = EnvelopeDistance(parent, other);
        EXPECT_TRUE(ratio > 1.1 || distance > 1.5)
            << "program " << program << ": centroid ratio " << ratio << ", envelope distance " << distance << " dB";
        std::printf("program %d: rms neutral %.4f parent %.4f bred %.4f other %.4f; centroid %.0f / %.0f Hz, "
                    "envelope distance %.1f dB\n",
                    program, reference, parent.HeldRms, bred.HeldRms, other.HeldRms, parent.Centroid,
                    other.Centroid, distance);
        EXPECT_EQ(EnvelopeDistance(parent, Play(rules, channel, program, population[static_cast<size_t>(channel)])),
                  0.0);
    }
}

// Each gene alone, from 0 to 255 with every other gene at 128, changes the
// stereo sound of a note on channel A: the difference of the two renderings
// is at least 3 % (-30 dB) of their level.
TEST(SynthSound, EveryGeneMovesTheSound)
{
    const TSubstitution rules = SynthRules();
    const int program = TSynthSettings{}.Programs[0];
    for (int gene = 0; gene < 120; ++gene) {
        TGene low = Uniform(128);
        TGene high = Uniform(128);
        low.SetGenes(gene, 0);
        high.SetGenes(gene, 255);
        const std::vector<float> a = Note(rules, 0, program, low, kRate / 2);
        const std::vector<float> b = Note(rules, 0, program, high, kRate / 2);
        std::vector<float> difference(a.size());
        for (size_t i = 0; i < a.size(); ++i)
            difference[i] = a[i] - b[i];
        EXPECT_GT(Rms(difference.data(), difference.size()), 0.03 * Rms(a.data(), a.size()))
            << "gene " << gene << ": " << rules.Rule(gene);
    }
}

// Through the port: the synthesizer is output device 0, the system's devices
// follow it, and what the port sends is played.
TEST(SynthBinding, TheSynthesizerIsTheFirstDeviceAndPlaysWhatThePortSends)
{
    TScriptedMidiBinding system;
    system.OutDevices = {"Synth One"};
    TSynthBinding binding(system, TSynthOutput::Offline);
    ASSERT_EQ(binding.OutGetNumDevs(), 2u);
    TMidiOutCaps caps;
    binding.OutGetDevCaps(0, caps);
    EXPECT_EQ(caps.szPname, kSynthDeviceName);
    binding.OutGetDevCaps(MIDI_MAPPER, caps);
    EXPECT_EQ(caps.szPname, system.MapperName);

    TMidiOutput external(nullptr, &binding);
    external.SetProductName("Synth One");
    external.OpenPort();
    external.SendShort(0x90, 60, 100);
    ASSERT_EQ(system.Sent().size(), 1u);
    EXPECT_EQ(system.Sent()[0].DeviceId, 0u);

    TMidiOutput port(nullptr, &binding);
    port.SetProductName(kSynthDeviceName);
    port.OpenPort();
    EXPECT_THROW(TMidiOutput(nullptr, &binding).OpenPort(), EmidioutputError); // one synthesizer at a time
    std::vector<float> left(kRate / 4);
    std::vector<float> right(kRate / 4);
    const uint8_t note[] = {0xC0, 81, 0xB0, 74, 100, 0x90, 60, 100};
    port.SendLong(note, sizeof note);
    ASSERT_TRUE(binding.Render(left.data(), right.data(), kRate / 4));
    const double playing = Rms(left.data(), left.size());
    EXPECT_GT(playing, 1e-3);
    port.SendShort(0xB0, 120, 0); // all sound off: only the reverb's tail is left
    binding.Render(left.data(), right.data(), kRate / 4);
    EXPECT_LT(Rms(left.data() + kRate / 8, kRate / 8), playing / 10);
    port.ClosePort();
    EXPECT_FALSE(binding.Render(left.data(), right.data(), kRate / 4));
    EXPECT_EQ(system.Sent().size(), 1u);
}

// A synthesizer that cannot start fails the open with what is missing and how
// to mend it; the next open with good settings works.
TEST(SynthBinding, AMissingSoundFontFailsTheOpenWithAClearMessage)
{
    TScriptedMidiBinding system;
    TSynthBinding binding(system, TSynthOutput::Offline);
    TSynthSettings settings;
    settings.SoundFont = "/nowhere/none.sf2";
    ConfigureSynthesizer(binding, settings);
    TMidiOutput port(nullptr, &binding);
    port.SetProductName(kSynthDeviceName);
    try {
        port.OpenPort();
        FAIL() << "opened without a SoundFont";
    } catch (const EmidioutputError& e) {
        EXPECT_EQ(e.Message(), "The built-in synthesizer cannot start: the SoundFont \"/nowhere/none.sf2\" could not "
                               "be loaded. Set SoundFont= to a readable .sf2 file in the [Synth] section of "
                               "zwirbels.INI, or leave it empty to use an installed General MIDI SoundFont.");
    }
    EXPECT_FALSE(port.IsOpen());
    ConfigureSynthesizer(binding, TSynthSettings{});
    EXPECT_TRUE(port.OpenPort());
}
