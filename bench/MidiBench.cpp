// MIDI output through a JACK server: latency of one rule result and loss in
// bursts. Needs a running server (e.g. `jackd --no-realtime -d dummy &`).
#include "midi/JackWatch.h"
#include "midi/MidiOut.h"
#include "midi/RtMidiBinding.h"
#include "support/JackPeer.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <thread>

namespace zw {
namespace {

using namespace std::chrono_literals;

struct TSetup {
    std::unique_ptr<TJackWatch> Watch = TJackWatch::Open("zwirbels-bench-watch");
    std::unique_ptr<TMidiBinding> Binding = MakeRtMidiBinding(TMidiSystem::Jack);
    TJackPeer Peer{"zwbenchpeer"};
    TMidiOutput Port{nullptr, Binding.get()};

    TSetup()
    {
        Port.SetProductName(QString::fromStdString(Peer.InPortName()));
        Port.OpenPort();
    }
    double PeriodMicroseconds() const { return 1e6 * Watch->PeriodFrames() / Watch->SampleRate(); }
};

double Percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(fraction * (values.size() - 1))];
}

// From SendLong of three bytes to their arrival at a JACK peer, one message at
// a time. Each send waits a random part of a period first: the next send after
// an arrival would otherwise always fall at the same point of the cycle.
void BM_SendLongLatency(benchmark::State& state)
{
    TSetup setup;
    const int messages = static_cast<int>(state.range(0));
    std::vector<double> latencies;
    std::mt19937 random(1);
    std::uniform_real_distribution<double> phase(0.0, setup.PeriodMicroseconds());
    for (auto _ : state) {
        latencies.clear();
        for (int i = 0; i < messages; ++i) {
            setup.Peer.Clear();
            std::this_thread::sleep_for(std::chrono::duration<double, std::micro>(phase(random)));
            const uint8_t cc[] = {0xB0, static_cast<uint8_t>(i % 120), static_cast<uint8_t>(i % 128)};
            const auto sent = std::chrono::steady_clock::now();
            setup.Port.SendLong(cc, 3);
            if (!setup.Peer.WaitFor(1, 5s)) {
                state.SkipWithError("a message did not arrive");
                return;
            }
            const auto arrived = setup.Peer.ArrivalTimes().front();
            latencies.push_back(std::chrono::duration<double, std::micro>(arrived - sent).count());
            QCoreApplication::sendPostedEvents(); // releases the header
        }
    }
    const double period = setup.PeriodMicroseconds();
    state.counters["median_us"] = Percentile(latencies, 0.5);
    state.counters["p99_us"] = Percentile(latencies, 0.99);
    state.counters["period_us"] = period;
    state.counters["median_periods"] = Percentile(latencies, 0.5) / period;
    state.counters["p99_periods"] = Percentile(latencies, 0.99) / period;
}
BENCHMARK(BM_SendLongLatency)->Arg(2000)->Iterations(1)->Unit(benchmark::kMillisecond);

// 10,000 control changes, one long message each, in bursts of 120 (one
// genome's worth) without pause: all must arrive, in order.
void BM_BurstsOf120(benchmark::State& state)
{
    TSetup setup;
    constexpr int kMessages = 10000;
    constexpr int kBurst = 120;
    size_t lost = 0;
    size_t misordered = 0;
    for (auto _ : state) {
        setup.Peer.Clear();
        for (int i = 0; i < kMessages; i += kBurst) {
            for (int j = i; j < std::min(i + kBurst, kMessages); ++j) {
                const uint8_t cc[] = {static_cast<uint8_t>(0xB0 | (j >> 14 & 0x0F)), static_cast<uint8_t>(j >> 7 & 0x7F),
                                      static_cast<uint8_t>(j & 0x7F)};
                setup.Port.SendLong(cc, 3);
            }
            QCoreApplication::sendPostedEvents();
        }
        setup.Peer.WaitFor(kMessages, 30s);
        std::this_thread::sleep_for(100ms);
        const auto received = setup.Peer.Received();
        lost = kMessages > received.size() ? kMessages - received.size() : 0;
        for (size_t k = 0; k < received.size(); ++k) {
            const int j = static_cast<int>(k);
            const TMidiBytes expected = {static_cast<uint8_t>(0xB0 | (j >> 14 & 0x0F)),
                                         static_cast<uint8_t>(j >> 7 & 0x7F), static_cast<uint8_t>(j & 0x7F)};
            misordered += received[k] != expected;
        }
        QCoreApplication::sendPostedEvents();
    }
    state.counters["messages"] = kMessages;
    state.counters["lost"] = static_cast<double>(lost);
    state.counters["wrong_or_out_of_order"] = static_cast<double>(misordered);
    state.counters["messages_per_s"] = benchmark::Counter(kMessages, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_BurstsOf120)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace zw

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (!zw::TJackWatch::Open("zwirbels-bench-probe")) {
        std::fprintf(stderr, "No JACK server answers; start one first (jackd --no-realtime -d dummy &).\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
