// The audio engine's callback with the built-in synthesizer, as the output
// stream calls it (256 frames at 48 kHz): the 99th percentile of one period's
// time with four channels auditioning, and the periods from a genome change
// to the first period carrying it. Times are shares of the period, in wall
// clock and in the thread's CPU time (on a shared machine the wall clock also
// counts the waits for a core).
#include "common/Random.h"
#include "rules/Substitution.h"
#include "support/OfflineSynth.h"
#include "worms/Breeding.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>

#include <time.h>

namespace {

using namespace zw;

constexpr uint32_t kPeriod = 256;
constexpr double kRate = TAudioEngine::kDefaultSampleRate;
constexpr double kPeriodSeconds = kPeriod / kRate;

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

double ThreadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

uint8_t Key(int channel, int step) { return static_cast<uint8_t>(48 + 7 * channel + step % 5); }

// An engine streaming as behind an output: what is sent meets the callback.
class TStreamingSynth {
public:
    TStreamingSynth() { FSynth.Engine().BeginStream(); }
    ~TStreamingSynth() { FSynth.Engine().EndStream(); }
    TOfflineSynth& Synth() { return FSynth; }
    const std::vector<float>& Period()
    {
        FSynth.Engine().Process(FLeft.data(), FRight.data(), kPeriod);
        return FLeft;
    }

private:
    TOfflineSynth FSynth;
    std::vector<float> FLeft = std::vector<float>(kPeriod);
    std::vector<float> FRight = std::vector<float>(kPeriod);
};

// Four channels, each with its program and genome, play a new note every
// 0.25 s and get a new genome every second (its messages arrive between two
// periods, as a step of the breeder sends them); one second per iteration.
void BM_CallbackP99FourChannelsAuditioning(benchmark::State& state)
{
    const TSubstitution rules = SynthRules();
    RandSeed(2);
    TStreamingSynth stream;
    TOfflineSynth& synth = stream.Synth();
    for (int channel = 0; channel < 4; ++channel)
        synth.StartNote(rules, channel, TSynthSettings{}.Programs[size_t(channel)], RandomGenome(), Key(channel, 0));
    const int periodsPerQuarter = int(kRate / 4 / kPeriod);
    std::vector<double> wall, cpu;
    int step = 0;
    for (auto _ : state) {
        for (int quarter = 0; quarter < 4; ++quarter, ++step) {
            for (int channel = 0; channel < 4; ++channel) {
                const auto status = static_cast<uint8_t>(channel);
                if (quarter == 0)
                    synth.SendGenome(rules, channel, RandomGenome());
                synth.Send({static_cast<uint8_t>(0x80 | status), Key(channel, step), 0});
                synth.Send({static_cast<uint8_t>(0x90 | status), Key(channel, step + 1), 100});
            }
            for (int p = 0; p < periodsPerQuarter; ++p) {
                const auto start = std::chrono::steady_clock::now();
                const double startCpu = ThreadSeconds();
                benchmark::DoNotOptimize(stream.Period().data());
                cpu.push_back(ThreadSeconds() - startCpu);
                wall.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            }
        }
    }
    const auto p99 = [](std::vector<double>& values) {
        std::sort(values.begin(), values.end());
        return values[values.size() * 99 / 100] / kPeriodSeconds;
    };
    state.counters["p99_share_of_period"] = p99(wall);
    state.counters["p99_cpu_share_of_period"] = p99(cpu);
}
BENCHMARK(BM_CallbackP99FourChannelsAuditioning)->Iterations(20)->Unit(benchmark::kMillisecond);

// Two engines hold the same note in lock step; one gets a new genome between
// two periods. Counted: the periods after the send up to and including the
// first that differs (1 = the very next period carries it).
void BM_GenomeChangeToFirstPeriod(benchmark::State& state)
{
    const TSubstitution rules = SynthRules();
    RandSeed(1);
    const TGene before = RandomGenome();
    const TGene after = RandomGenome();
    double periods = 0, changes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        TStreamingSynth steady, changed;
        const int program = TSynthSettings{}.Programs[0];
        steady.Synth().StartNote(rules, 0, program, before, 60);
        changed.Synth().StartNote(rules, 0, program, before, 60);
        for (int i = 0; i < 25; ++i) { // 0.13 s: past the attack
            steady.Period();
            changed.Period();
        }
        state.ResumeTiming();
        changed.Synth().SendGenome(rules, 0, after);
        int count = 0;
        for (bool differs = false; !differs && count < 100; ++count) {
            const std::vector<float>& a = steady.Period();
            const std::vector<float>& b = changed.Period();
            for (size_t i = 0; i < a.size() && !differs; ++i)
                differs = std::abs(a[i] - b[i]) > 1e-6f;
        }
        periods += count;
        ++changes;
    }
    state.counters["periods_to_audio"] = periods / changes;
}
BENCHMARK(BM_GenomeChangeToFirstPeriod)->Iterations(20)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
