// LV2 instruments in processes of their own (zwirbels-plugin-host):
// - the handshake's round trip with four JX10 breeders at 256 frames and
//   48 kHz, paced like a live output: its 99th percentile as a share of the
//   period, and the periods that came late;
// - offline rendering speed through the host against the same plug-in in
//   this process (the ratio is what matters);
// - the periods from a genome change to the first period carrying it.
#include "audio/AudioEngine.h"
#include "audio/Lv2Instrument.h"
#include "audio/Lv2RenderHost.h"
#include "audio/Lv2World.h"
#include "audio/OfflineRender.h"
#include "audio/RemoteInstrument.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <random>
#include <thread>

namespace {

using namespace zw;
using TClock = std::chrono::steady_clock;

constexpr double kRate = 48000;
constexpr uint32_t kPeriod = 256;
const char* const kJx10 = "http://drobilla.net/plugins/mda/JX10";

std::vector<uint8_t> RandomGenome(std::mt19937& random)
{
    std::vector<uint8_t> genome(120);
    for (uint8_t& gene : genome)
        gene = static_cast<uint8_t>(random() & 0xFF);
    return genome;
}

double Seconds(TClock::duration duration) { return std::chrono::duration<double>(duration).count(); }

// Four hosted JX10, a new note every 0.25 s and a new genome every second,
// each period rendered on time. One iteration: a quarter of a second.
void BM_FourHostedJx10RoundTripP99(benchmark::State& state)
{
    std::vector<std::unique_ptr<TRemoteInstrument>> breeders;
    for (int b = 0; b < 4; ++b)
        breeders.push_back(std::make_unique<TRemoteInstrument>(kJx10, kRate));
    std::mt19937 random(2);
    std::vector<float> left(kPeriod), right(kPeriod);
    std::vector<double> trips, periods;
    const uint32_t periodsPerQuarter = uint32_t(kRate / 4 / kPeriod);
    const auto length = std::chrono::nanoseconds(int64_t(1e9 * kPeriod / kRate));
    auto next = TClock::now();
    uint32_t period = 0;
    std::vector<uint8_t> held(breeders.size(), 60);
    for (auto _ : state) {
        for (uint32_t p = 0; p < periodsPerQuarter; ++p, ++period) {
            const auto periodStart = TClock::now();
            for (size_t b = 0; b < breeders.size(); ++b) {
                TMidiEvent notes[2] = {{0, 3, {0x80, held[b], 0}}, {0, 3, {0x90, 0, 100}}};
                const bool quarter = p == 0;
                if (quarter && period % (4 * periodsPerQuarter) == 0) {
                    const auto genome = RandomGenome(random);
                    breeders[b]->SetGenome(genome.data(), genome.size());
                }
                if (quarter) {
                    held[b] = static_cast<uint8_t>(48 + 7 * b + period % 5);
                    notes[1].Bytes[1] = held[b];
                }
                const auto start = TClock::now();
                breeders[b]->Process(notes, quarter ? 2 : 0, left.data(), right.data(), kPeriod);
                trips.push_back(Seconds(TClock::now() - start));
            }
            periods.push_back(Seconds(TClock::now() - periodStart));
            next += length;
            std::this_thread::sleep_until(next);
        }
    }
    auto p99 = [](std::vector<double>& values) {
        std::sort(values.begin(), values.end());
        return values[values.size() * 99 / 100] / (kPeriod / kRate);
    };
    uint64_t late = 0;
    for (const auto& breeder : breeders)
        late += breeder->LatePeriods();
    state.counters["round_trip_p99_share_of_period"] = p99(trips);
    state.counters["four_breeders_p99_share_of_period"] = p99(periods);
    state.counters["late_periods"] = double(late);
    state.counters["periods"] = double(period);
}
BENCHMARK(BM_FourHostedJx10RoundTripP99)->Iterations(40)->Unit(benchmark::kMillisecond);

// A two-second note per entry, each with its own genome, through one host
// for the whole batch (arg 1) or through an instance in this process (arg 0),
// as the export and zwirbels-render run it; wall time, since the host's work
// is done in another process.
void BM_OfflineRenderSpeed(benchmark::State& state)
{
    const bool hosted = state.range(0) == 1;
    TLv2World world;
    TLv2RenderHost host(kJx10, kRate);
    std::mt19937 random(3);
    const std::vector<TTimedMidi> messages = {{0, {0x90, 60, 100}}, {1500, {0x80, 60, 0}}};
    const int64_t frames = int64_t(2 * kRate);
    double seconds = 0, wall = 0;
    for (auto _ : state) {
        const auto genome = RandomGenome(random);
        float sum = 0;
        auto sink = [&](const float* left, const float*, uint32_t count) {
            for (uint32_t i = 0; i < count; ++i)
                sum += std::abs(left[i]);
        };
        const auto start = TClock::now();
        if (hosted) {
            host.Render(genome.data(), genome.size(), messages, frames, sink);
        } else {
            auto instance = std::make_unique<TLv2Instance>(world, kJx10, kRate, 1024);
            instance->SetGenome(genome.data(), genome.size());
            TOfflineRender render(std::make_unique<TLv2Instrument>(std::move(instance)), kRate);
            render.Render(messages, frames, sink);
        }
        wall += Seconds(TClock::now() - start);
        seconds += 2;
        benchmark::DoNotOptimize(sum);
    }
    state.counters["x_real_time"] = seconds / wall;
}
BENCHMARK(BM_OfflineRenderSpeed)->Arg(0)->Arg(1)->Iterations(40)->Unit(benchmark::kMillisecond);

// Two hosted JX10 hold the same note in lock step; one gets a new genome
// between two periods. Counted: the periods rendered after the change up to
// and including the first that differs (1 = the very next period carries it).
void BM_HostedGenomeChangeToAudio(benchmark::State& state)
{
    std::mt19937 random(1);
    const auto before = RandomGenome(random);
    const auto after = RandomGenome(random);
    std::vector<float> a(kPeriod), b(kPeriod), scratch(kPeriod);
    double periods = 0, changes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        TRemoteInstrument steady(kJx10, kRate);
        TRemoteInstrument changed(kJx10, kRate);
        steady.SetGenome(before.data(), before.size());
        changed.SetGenome(before.data(), before.size());
        const TMidiEvent note{0, 3, {0x90, 60, 100}};
        for (int i = 0; i < 20; ++i) {
            steady.Process(&note, i == 0, a.data(), scratch.data(), kPeriod);
            changed.Process(&note, i == 0, b.data(), scratch.data(), kPeriod);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        state.ResumeTiming();
        changed.SetGenome(after.data(), after.size());
        int count = 0;
        for (bool differs = false; !differs && count < 100; ++count) {
            steady.Process(nullptr, 0, a.data(), scratch.data(), kPeriod);
            changed.Process(nullptr, 0, b.data(), scratch.data(), kPeriod);
            for (uint32_t i = 0; i < kPeriod && !differs; ++i)
                differs = std::abs(a[i] - b[i]) > 1e-6f;
        }
        periods += count;
        ++changes;
    }
    state.counters["periods_to_audio"] = periods / changes;
}
BENCHMARK(BM_HostedGenomeChangeToAudio)->Iterations(10)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
