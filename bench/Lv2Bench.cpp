// LV2 instruments (mda JX10 and DX10) rendered offline: speed in multiples of
// real time, the periods from a genome change to the first period carrying
// it, and the 99th percentile of one period with four JX10 breeders playing,
// as a share of the period.
#include "audio/AudioEngine.h"
#include "audio/Lv2Instrument.h"
#include "audio/Lv2World.h"
#include "support/Lv2Render.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <random>

#include <time.h>

namespace {

using namespace zw;

constexpr double kRate = 48000;
constexpr uint32_t kPeriod = 256;
const char* const kJx10 = "http://drobilla.net/plugins/mda/JX10";
const char* const kDx10 = "http://drobilla.net/plugins/mda/DX10";

TLv2World& World()
{
    static TLv2World world;
    return world;
}

// This thread's CPU time: on a machine shared with other work, wall time
// mostly measures the waits for a core, not the cost of the rendering.
double ThreadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

std::vector<uint8_t> RandomGenome(std::mt19937& random)
{
    std::vector<uint8_t> genome(120);
    for (uint8_t& gene : genome)
        gene = static_cast<uint8_t>(random() & 0xFF);
    return genome;
}

// A new genome and a two-second note per iteration, in periods of 256 frames.
void BM_RenderSpeed(benchmark::State& state, const char* uri)
{
    TLv2Instance instance(World(), uri, kRate, kPeriod);
    std::mt19937 random(3);
    double seconds = 0, wall = 0, cpu = 0;
    for (auto _ : state) {
        const auto genome = RandomGenome(random);
        const auto start = std::chrono::steady_clock::now();
        const double startCpu = ThreadSeconds();
        benchmark::DoNotOptimize(RenderLv2Note(instance, genome, 72000, 24000, kPeriod));
        cpu += ThreadSeconds() - startCpu;
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        seconds += 2;
    }
    state.counters["x_real_time"] = seconds / wall;
    state.counters["x_real_time_cpu"] = seconds / cpu;
}
BENCHMARK_CAPTURE(BM_RenderSpeed, JX10, kJx10)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RenderSpeed, DX10, kDx10)->Iterations(20)->Unit(benchmark::kMillisecond);

// Two instances hold the same note in lock step; one gets a new genome
// between two periods. Counted: the periods rendered after the send up to and
// including the first that differs (1 = the very next period carries it).
void BM_GenomeChangeToAudio(benchmark::State& state)
{
    std::mt19937 random(1);
    const auto before = RandomGenome(random);
    const auto after = RandomGenome(random);
    std::vector<float> a(kPeriod * 2), b(kPeriod * 2), scratch(kPeriod);
    double periods = 0, changes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        TLv2Instance steady(World(), kJx10, kRate, kPeriod);
        TLv2Instance changed(World(), kJx10, kRate, kPeriod);
        steady.SetGenome(before.data(), before.size());
        changed.SetGenome(before.data(), before.size());
        const TMidiEvent note{0, 3, {0x90, 60, 100}};
        for (int i = 0; i < 20; ++i) {
            steady.Run(i == 0 ? &note : nullptr, i == 0, kPeriod, a.data(), scratch.data());
            changed.Run(i == 0 ? &note : nullptr, i == 0, kPeriod, b.data(), scratch.data());
        }
        state.ResumeTiming();
        changed.SetGenome(after.data(), after.size());
        int count = 0;
        for (bool differs = false; !differs && count < 100; ++count) {
            steady.Run(nullptr, 0, kPeriod, a.data(), scratch.data());
            changed.Run(nullptr, 0, kPeriod, b.data(), scratch.data());
            for (uint32_t i = 0; i < kPeriod && !differs; ++i)
                differs = std::abs(a[i] - b[i]) > 1e-6f;
        }
        periods += count;
        ++changes;
    }
    state.counters["periods_to_audio"] = periods / changes;
}
BENCHMARK(BM_GenomeChangeToAudio)->Iterations(20)->Unit(benchmark::kMillisecond);

// Four JX10 breeders in the engine's slots, each with its own genome, a new
// note every 0.25 s and a new genome every second: the 99th percentile of the
// engine's callback (render, mix, limit) over the period's duration.
void BM_FourJx10PeriodP99(benchmark::State& state)
{
    TAudioEngine engine;
    std::vector<TLv2Instance*> breeders;
    std::mt19937 random(2);
    for (int slot = 1; slot <= 4; ++slot) {
        auto instrument = std::make_unique<TLv2Instrument>(std::make_unique<TLv2Instance>(World(), kJx10, kRate, kPeriod));
        breeders.push_back(&instrument->Instance());
        engine.SetInstrument(slot, std::move(instrument));
    }
    engine.BeginStream();
    std::vector<float> left(kPeriod), right(kPeriod);
    std::vector<double> times, cpuTimes;
    const uint32_t periodsPerQuarter = uint32_t(kRate / 4 / kPeriod);
    uint32_t period = 0;
    std::vector<uint8_t> held(breeders.size(), 60);
    for (auto _ : state) {
        for (uint32_t p = 0; p < periodsPerQuarter; ++p, ++period) {
            if (p == 0) {
                for (size_t b = 0; b < breeders.size(); ++b) {
                    if (period % (4 * periodsPerQuarter) == 0) {
                        const auto genome = RandomGenome(random);
                        breeders[b]->SetGenome(genome.data(), genome.size());
                    }
                    const auto key = static_cast<uint8_t>(48 + 7 * b + period % 5);
                    const TMidiEvent notes[] = {{0, 3, {0x80, held[b], 0}}, {0, 3, {0x90, key, 100}}};
                    engine.Send(int(b) + 1, notes, 2);
                    held[b] = key;
                }
            }
            const auto start = std::chrono::steady_clock::now();
            const double startCpu = ThreadSeconds();
            engine.Process(left.data(), right.data(), kPeriod);
            cpuTimes.push_back(ThreadSeconds() - startCpu);
            times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
    }
    engine.EndStream();
    auto p99 = [](std::vector<double>& values) {
        std::sort(values.begin(), values.end());
        return values[values.size() * 99 / 100] / (kPeriod / kRate);
    };
    state.counters["p99_share_of_period"] = p99(times);
    state.counters["p99_cpu_share_of_period"] = p99(cpuTimes);
}
BENCHMARK(BM_FourJx10PeriodP99)->Iterations(40)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
