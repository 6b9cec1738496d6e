// The built-in synthesizer rendered offline through synth.sub: how many audio
// periods pass between sending a new audible genome and the first period that
// carries it, and the synthesizer's CPU share with four channels playing.
#include "common/Random.h"
#include "rules/Substitution.h"
#include "support/OfflineSynth.h"
#include "synth/Synthesizer.h"
#include "worms/Breeding.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>

namespace {

using namespace zw;

// FluidSynth's own audio period, in frames.
constexpr int kPeriod = 64;

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

void StartNote(TOfflineSynth& synth, const TSubstitution& rules, int channel, const TGene& genome)
{
    synth.StartNote(rules, channel, TSynthSettings{}.Programs[static_cast<size_t>(channel)], genome, 48 + 7 * channel);
}

// Two synthesizers hold the same note in lock step; one gets a new genome
// between two periods. Counted: the periods rendered after the send up to and
// including the first that differs (1 = the very next period carries it).
void BM_GenomeChangeToAudio(benchmark::State& state)
{
    const TSubstitution rules = SynthRules();
    RandSeed(1);
    const TGene before = RandomGenome();
    const TGene after = RandomGenome();
    double periods = 0;
    double changes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        TOfflineSynth steady;
        TOfflineSynth changed;
        StartNote(steady, rules, 0, before);
        StartNote(changed, rules, 0, before);
        for (int i = 0; i < 100; ++i) { // 0.13 s: past the attack
            steady.Render(kPeriod);
            changed.Render(kPeriod);
        }
        state.ResumeTiming();
        changed.SendGenome(rules, 0, after);
        int count = 0;
        for (bool differs = false; !differs && count < 100; ++count) {
            const std::vector<float> a = steady.Render(kPeriod);
            const std::vector<float> b = changed.Render(kPeriod);
            for (size_t i = 0; i < a.size() && !differs; ++i)
                differs = std::abs(a[i] - b[i]) > 1e-6f;
        }
        periods += count;
        ++changes;
    }
    state.counters["periods_to_audio"] = periods / changes;
}
BENCHMARK(BM_GenomeChangeToAudio)->Iterations(20)->Unit(benchmark::kMillisecond);

// Four channels, each with its own program and genome, play a new note every
// 0.25 s on their own output channel; one second of audio is rendered per
// iteration. The share is render time over the audio's duration.
void BM_FourChannelsCpuShare(benchmark::State& state)
{
    const TSubstitution rules = SynthRules();
    RandSeed(2);
    TOfflineSynth synth;
    for (int channel = 0; channel < 4; ++channel)
        StartNote(synth, rules, channel, RandomGenome());
    constexpr int kSecond = TSynthesizer::kSampleRate;
    double rendered = 0;
    double seconds = 0;
    int step = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        for (int quarter = 0; quarter < 4; ++quarter, ++step) {
            for (int channel = 0; channel < 4; ++channel) {
                const auto status = static_cast<uint8_t>(channel);
                synth.Send({static_cast<uint8_t>(0x80 | status), static_cast<uint8_t>(48 + 7 * channel + step % 5), 0});
                synth.Send({static_cast<uint8_t>(0x90 | status), static_cast<uint8_t>(48 + 7 * channel + (step + 1) % 5), 100});
            }
            synth.Render(kSecond / 4);
        }
        rendered += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        seconds += 1;
    }
    state.counters["cpu_share"] = rendered / seconds;
}
BENCHMARK(BM_FourChannelsCpuShare)->Iterations(10)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
