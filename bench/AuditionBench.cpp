// The MIDI scheduler: timing of the audition notes, and what thru adds to a
// message's way from the input to the output. The JACK cases need a running
// server (e.g. `jackd --no-realtime -d dummy &`) and are skipped without one.
#include "midi/JackWatch.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"
#include "midi/MidiScheduler.h"
#include "midi/RtMidiBinding.h"
#include "support/JackPeer.h"
#include "support/ScriptedMidiBinding.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <random>
#include <thread>

namespace zw {
namespace {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

constexpr auto kPeriod = 50ms;
constexpr int kVoices = 4;

double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(fraction * static_cast<double>(values.size() - 1))];
}

// How late each note-on is against its channel's grid (first note-on + k
// periods), less the smallest lateness on that channel, in µs. The scheduler
// plans every note from the phrase's start, so lateness does not add up.
std::vector<double> Deviations(const std::vector<std::pair<int, TClock::time_point>>& noteOns)
{
    std::array<std::vector<double>, 16> lateness;
    std::array<std::optional<TClock::time_point>, 16> first;
    for (const auto& [channel, time] : noteOns) {
        const auto c = static_cast<size_t>(channel);
        if (!first[c])
            first[c] = time;
        const auto planned = *first[c] + kPeriod * static_cast<int>(lateness[c].size());
        lateness[c].push_back(std::chrono::duration<double, std::micro>(time - planned).count());
    }
    std::vector<double> deviations;
    for (const auto& channel : lateness) {
        if (channel.empty())
            continue;
        const double earliest = *std::min_element(channel.begin(), channel.end());
        for (const double late : channel)
            deviations.push_back(late - earliest);
    }
    return deviations;
}

void ReportJitter(benchmark::State& state, const std::vector<double>& deviations)
{
    const double period = std::chrono::duration<double, std::micro>(kPeriod).count();
    state.counters["notes"] = static_cast<double>(deviations.size());
    state.counters["jitter_p50_us"] = Percentile(deviations, 0.5);
    state.counters["jitter_p99_us"] = Percentile(deviations, 0.99);
    state.counters["jitter_max_us"] = Percentile(deviations, 1.0);
    state.counters["p99_per_period"] = Percentile(deviations, 0.99) / period;
}

// Plays four voices for `duration` while this thread stays busy, as a window
// that is painting would.
void PlayWhileBusy(TMidiScheduler& scheduler, TClock::duration duration)
{
    scheduler.SetPhrase({{60, 64, 67}, 100, kPeriod, kPeriod * 4 / 5});
    for (int voice = 0; voice < kVoices; ++voice)
        scheduler.SetVoice(voice, true, static_cast<uint8_t>(voice));
    scheduler.SetPlaying(true);
    const auto end = TClock::now() + duration;
    volatile uint64_t work = 0;
    while (TClock::now() < end)
        work = work + 1;
    scheduler.SetPlaying(false);
}

// When each note-on and each other message left the scheduler for the binding.
class TStampingBinding : public TScriptedMidiBinding {
public:
    TMidiResult OutShortMsg(TMidiHandle handle, uint32_t message) override
    {
        {
            std::lock_guard lock(FMutex);
            if ((message & 0xF0) == 0x90 && (message >> 16 & 0x7F) > 0)
                NoteOns.emplace_back(static_cast<int>(message & 0x0F), TClock::now());
            else
                Others.push_back(TClock::now());
        }
        return TScriptedMidiBinding::OutShortMsg(handle, message);
    }
    std::mutex FMutex;
    std::vector<std::pair<int, TClock::time_point>> NoteOns;
    std::vector<TClock::time_point> Others;
};

void BM_AuditionJitterAtTheBinding(benchmark::State& state)
{
    TStampingBinding midi;
    midi.OutDevices = {"Synth"};
    TMidiOutput out(nullptr, &midi);
    out.SetDeviceID(0);
    out.OpenPort();
    for (auto _ : state) {
        TMidiScheduler scheduler;
        scheduler.SetOutput(&midi, out.Handle());
        PlayWhileBusy(scheduler, 10s);
    }
    std::lock_guard lock(midi.FMutex);
    ReportJitter(state, Deviations(midi.NoteOns));
}
BENCHMARK(BM_AuditionJitterAtTheBinding)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// What thru's hand-off costs alone: from Receive on the "driver's" thread to
// the scheduler's thread handing the message to the binding.
void BM_ThruHandOffAtTheBinding(benchmark::State& state)
{
    TStampingBinding midi;
    midi.OutDevices = {"Synth"};
    TMidiOutput out(nullptr, &midi);
    out.SetDeviceID(0);
    out.OpenPort();
    TMidiScheduler scheduler;
    scheduler.SetOutput(&midi, out.Handle());
    TMidiScheduler::TThruRoutes routes{};
    routes[0] = 1 << 1;
    scheduler.SetThruRoutes(routes);
    constexpr int kMessages = 2000;
    std::vector<TClock::time_point> received(kMessages);
    for (auto _ : state) {
        std::thread driver([&] {
            for (int i = 0; i < kMessages; ++i) {
                std::this_thread::sleep_for(std::chrono::microseconds(500 + i % 7 * 100));
                received[static_cast<size_t>(i)] = TClock::now();
                scheduler.Receive(0xB0 | static_cast<uint32_t>(i % 120) << 8);
            }
        });
        driver.join();
        std::this_thread::sleep_for(50ms);
    }
    std::vector<double> latencies;
    std::lock_guard lock(midi.FMutex);
    for (size_t i = 0; i < std::min(received.size(), midi.Others.size()); ++i)
        latencies.push_back(std::chrono::duration<double, std::micro>(midi.Others[i] - received[i]).count());
    state.counters["passed"] = static_cast<double>(midi.Others.size());
    state.counters["median_us"] = Percentile(latencies, 0.5);
    state.counters["p99_us"] = Percentile(latencies, 0.99);
    state.counters["max_us"] = Percentile(latencies, 1.0);
}
BENCHMARK(BM_ThruHandOffAtTheBinding)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

struct TJackSetup {
    std::unique_ptr<TJackWatch> Watch = TJackWatch::Open("zwirbels-bench-watch");
    std::unique_ptr<TMidiBinding> Binding = MakeRtMidiBinding(TMidiSystem::Jack);
    TJackPeer Peer{"zwauditionpeer"};
    TMidiOutput Out{nullptr, Binding.get()};
    TMidiInput In{nullptr, Binding.get()};

    TJackSetup()
    {
        Out.SetProductName(QString::fromStdString(Peer.InPortName()));
        Out.OpenPort();
        In.SetProductName(QString::fromStdString(Peer.OutPortName()));
    }
    double PeriodMicroseconds() const { return 1e6 * Watch->PeriodFrames() / Watch->SampleRate(); }
};

// The same, as the notes arrive at another JACK client: the server's cycles
// quantise the arrival times.
void BM_AuditionJitterOnJack(benchmark::State& state)
{
    TJackSetup setup;
    for (auto _ : state) {
        TMidiScheduler scheduler;
        scheduler.SetOutput(setup.Binding.get(), setup.Out.Handle());
        PlayWhileBusy(scheduler, 10s);
    }
    std::this_thread::sleep_for(100ms);
    std::vector<std::pair<int, TClock::time_point>> noteOns;
    const auto received = setup.Peer.Received();
    const auto times = setup.Peer.ArrivalTimes();
    for (size_t i = 0; i < received.size(); ++i)
        if (received[i].size() == 3 && (received[i][0] & 0xF0) == 0x90 && received[i][2] > 0)
            noteOns.emplace_back(received[i][0] & 0x0F, times[i]);
    ReportJitter(state, Deviations(noteOns));
    state.counters["jack_period_us"] = setup.PeriodMicroseconds();
}
BENCHMARK(BM_AuditionJitterOnJack)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The baseline for thru: the driver's thread sends the message on itself,
// as a program would that did not care for the real-time rules.
class TDirectThru : public TMidiThruSink {
public:
    TDirectThru(TMidiBinding& binding, TMidiHandle handle) : FBinding(binding), FHandle(handle) {}
    void Receive(uint32_t message) noexcept override { FBinding.OutShortMsg(FHandle, (message & ~0x0Fu) | 1); }
    void SourceClosed() override {} // the benchmark holds no key when it closes

private:
    TMidiBinding& FBinding;
    TMidiHandle FHandle;
};

// From the peer sending a control change on channel 1 to its arrival, out on
// channel 2, back at the peer: range(0) 0 sends directly from the driver's
// thread, 1 through the scheduler (queue, wake-up, its own thread).
void BM_ThruLatency(benchmark::State& state)
{
    TJackSetup setup;
    TMidiScheduler scheduler;
    scheduler.SetOutput(setup.Binding.get(), setup.Out.Handle());
    TMidiScheduler::TThruRoutes routes{};
    routes[0] = 1 << 1;
    scheduler.SetThruRoutes(routes);
    TDirectThru direct(*setup.Binding, setup.Out.Handle());
    const bool throughScheduler = state.range(0) == 1;
    setup.In.SetThruSink(throughScheduler ? static_cast<TMidiThruSink*>(&scheduler) : &direct);
    setup.In.OpenPort();
    setup.In.StartInput();
    std::vector<double> latencies;
    std::mt19937 random(1);
    std::uniform_real_distribution<double> phase(0.0, setup.PeriodMicroseconds());
    for (auto _ : state) {
        for (int i = 0; i < 1000; ++i) {
            setup.Peer.Clear();
            std::this_thread::sleep_for(std::chrono::duration<double, std::micro>(phase(random)));
            const auto sent = TClock::now();
            setup.Peer.Send({0xB0, static_cast<uint8_t>(i % 120), static_cast<uint8_t>(i % 128)});
            if (!setup.Peer.WaitFor(1, 5s)) {
                state.SkipWithError("a message did not come back");
                break;
            }
            latencies.push_back(std::chrono::duration<double, std::micro>(setup.Peer.ArrivalTimes().front() - sent).count());
            QCoreApplication::sendPostedEvents(); // the input port's own notices
        }
    }
    setup.In.SetThruSink(nullptr);
    setup.In.ClosePort();
    state.counters["median_us"] = Percentile(latencies, 0.5);
    state.counters["p99_us"] = Percentile(latencies, 0.99);
    state.counters["period_us"] = setup.PeriodMicroseconds();
    state.counters["p99_periods"] = Percentile(latencies, 0.99) / setup.PeriodMicroseconds();
}
BENCHMARK(BM_ThruLatency)->ArgName("via_scheduler")->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace zw

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (!zw::TJackWatch::Open("zwirbels-bench-probe")) {
        std::fprintf(stderr, "No JACK server answers: only the cases without JACK run.\n");
        benchmark::ConsoleReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter, "AtTheBinding");
    } else {
        benchmark::RunSpecifiedBenchmarks();
    }
    benchmark::Shutdown();
    return 0;
}
