// From a breeding operation to the last byte at another program: the main
// window (offscreen) with the real MIDI binding on a JACK server, channel A
// active with 120 default rules, its output chosen as a peer's input port.
// Figures are ratios: to the time the 120 rule evaluations take alone, and to
// the server's period. Uses the running JACK server, or starts a private
// dummy one (and stops it at the end) when none answers.
#include "ui/Forms.h"
#include "ui/FrmMain.h"
#include "ui/MidiDevices.h"
#include "app/IniFile.h"
#include "common/Dialogs.h"
#include "common/Globals.h"
#include "common/SafeFile.h"
#include "midi/JackWatch.h"
#include "midi/RtMidiBinding.h"
#include "rules/FrmTranslat.h"
#include "rules/Parser.h"
#include "rules/Substitution.h"
#include "support/ChildProcess.h"
#include "support/JackPeer.h"
#include "support/ScriptedDialogs.h"
#include "worms/Gene.h"
#include "worms/WormPanel.h"

#include <QApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>

#include <unistd.h>

namespace zw {
namespace {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

const char* const kDefaultRule = "4(CC) 4(%1) 1(0) 7(%2) 1(0) 7(%3)";
constexpr int kGenes = 120;

double Percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(fraction * static_cast<double>(values.size() - 1))];
}

double Microseconds(TClock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

// The 120 evaluations one dispatch makes, without the window, the table
// lookups or the output: the floor of a dispatch.
void EvaluateGenome(const TGene& gene, TRuleBytes& result)
{
    for (int i = 0; i < kGenes; ++i) {
        ClearVariables();
        AddVariables({0, i, gene.Genes(i)});
        EvaluateRules(kDefaultRule, result);
    }
}

TGene SampleGene()
{
    TGene gene;
    gene.SetSize(kGenes);
    return gene;
}

// Median time of EvaluateGenome, measured over many rounds.
double EvaluationMicroseconds(const TGene& gene)
{
    TRuleBytes result;
    std::vector<double> times;
    for (int round = 0; round < 2000; ++round) {
        const auto start = TClock::now();
        EvaluateGenome(gene, result);
        times.push_back(Microseconds(TClock::now() - start));
    }
    return Percentile(times, 0.5);
}

// The program's windows as the program start makes them, reading a settings
// file that activates channel A with its output at the peer.
class TProgramWindows {
public:
    TProgramWindows()
    {
        SetProgramPath(FFolder.path().toStdString());
        TSubstitution rules;
        rules.SetCount(kGenes);
        for (int i = 0; i < kGenes; ++i) {
            rules.SetRule(i, kDefaultRule);
            rules.SetActive(i, true);
        }
        rules.SaveToFile(ProgramPath() + "default.sub");
        WriteFileAtomically(IniFileName(), "[Settings]\r\nChannelActiveA=1\r\n[Midi]\r\nMidiOut=" +
                                               FPeer.InPortName() + "\r\nOutChannelA=0\r\n");
        FMain = std::make_unique<TFormMain>();
        FormMain = FMain.get();
        FEditor = std::make_unique<TFormTranslate>();
        FormTranslate = FEditor.get();
        FMain->show(); // loads the rule file
    }

    ~TProgramWindows()
    {
        FormTranslate = nullptr;
        FormMain = nullptr;
    }

    // Empty when the output is open at the peer with 120 rules loaded.
    std::string Problem() const
    {
        if (!FMain->Midi().OutOpen())
            return "the output did not open: " + FDialogs.Messages.join("; ").toStdString();
        if (FEditor->Substitution().Count() != kGenes)
            return "the rules did not load";
        return "";
    }

    TWormPanel& ChannelA() const { return *FMain->WormPanel(0); }
    TJackPeer& Peer() { return FPeer; }

private:
    QTemporaryDir FFolder;
    TScriptedDialogs FDialogs; // a failure is recorded, never a modal box
    TScopedDialogs FScopedDialogs{FDialogs};
    std::unique_ptr<TMidiBinding> FBinding = MakeRtMidiBinding(TMidiSystem::Jack);
    TScopedMidiBinding FScopedBinding{FBinding.get()};
    TJackPeer FPeer{"zwdispatchpeer" + std::to_string(getpid())};
    std::unique_ptr<TFormMain> FMain;
    std::unique_ptr<TFormTranslate> FEditor;
};

// MutateAll on channel A, whose audible worm is not the frozen one, to the
// arrival of its 120th control change at the peer. Each round waits a random
// part of a period first, so that the rounds fall at all points of the cycle.
void BM_MutateToLastByteAtPeer(benchmark::State& state)
{
    const auto watch = TJackWatch::Open("zwirbels-dispatch-bench");
    if (!watch) {
        state.SkipWithError("the JACK server went away");
        return;
    }
    const double period = 1e6 * watch->PeriodFrames() / watch->SampleRate();
    TProgramWindows program;
    if (const std::string problem = program.Problem(); !problem.empty()) {
        state.SkipWithError(problem.c_str());
        return;
    }
    TWormPanel& panel = program.ChannelA();
    TJackPeer& peer = program.Peer();
    panel.SetAudible(panel.Frozen() == 0 ? 1 : 0); // sends the new audible genome
    if (!peer.WaitFor(kGenes, 5s)) {
        state.SkipWithError("the audible genome did not arrive");
        return;
    }
    QCoreApplication::processEvents();

    const int rounds = static_cast<int>(state.range(0));
    std::vector<double> latencies;
    std::vector<double> dispatches;
    std::mt19937 random(1);
    std::uniform_real_distribution<double> phase(0.0, period);
    for (auto _ : state) {
        for (int round = 0; round < rounds; ++round) {
            peer.Clear();
            std::this_thread::sleep_for(std::chrono::duration<double, std::micro>(phase(random)));
            const auto start = TClock::now();
            panel.MutateAll();
            const auto returned = TClock::now();
            if (!peer.WaitFor(kGenes, 5s)) {
                state.SkipWithError("a genome did not arrive in full within 5 s");
                return;
            }
            latencies.push_back(Microseconds(peer.ArrivalTimes().back() - start));
            dispatches.push_back(Microseconds(returned - start));
            QCoreApplication::processEvents(); // releases the sent messages
        }
    }
    const double evaluation = EvaluationMicroseconds(SampleGene());
    const double median = Percentile(latencies, 0.5);
    const double p99 = Percentile(latencies, 0.99);
    state.counters["median_us"] = median;
    state.counters["p99_us"] = p99;
    state.counters["dispatch_median_us"] = Percentile(dispatches, 0.5);
    state.counters["evaluate120_us"] = evaluation;
    state.counters["period_us"] = period;
    state.counters["median_per_evaluate"] = median / evaluation;
    state.counters["p99_per_evaluate"] = p99 / evaluation;
    state.counters["median_per_period"] = median / period;
    state.counters["p99_per_period"] = p99 / period;
}
BENCHMARK(BM_MutateToLastByteAtPeer)->Arg(400)->Iterations(1)->Unit(benchmark::kMillisecond);

// The 120 evaluations alone, as Google Benchmark times them.
void BM_Evaluate120DefaultRules(benchmark::State& state)
{
    const TGene gene = SampleGene();
    TRuleBytes result;
    for (auto _ : state) {
        EvaluateGenome(gene, result);
        benchmark::DoNotOptimize(result.data());
    }
}
BENCHMARK(BM_Evaluate120DefaultRules)->Unit(benchmark::kMicrosecond);

// The JACK server the benchmark runs against: the one that answers, else a
// private dummy server started here and stopped at the end.
class TBenchJackServer {
public:
    // False when no server answers and none could be started within 10 s.
    bool Ensure()
    {
        if (TJackWatch::Open("zwirbels-bench-probe"))
            return true;
        const std::string name = "zwirbels-bench-" + std::to_string(getpid());
        try {
            FServer = std::make_unique<TChildProcess>(
                std::vector<std::string>{"jackd", "-n", name, "-S", "--no-realtime", "-d", "dummy", "-r", "48000",
                                         "-p", "256"},
                TEnvironment(), "/tmp/" + name + ".log");
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return false;
        }
        setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
        const auto deadline = TClock::now() + 10s;
        while (TClock::now() < deadline && FServer->Running()) {
            if (TJackWatch::Open("zwirbels-bench-probe")) {
                std::fprintf(stderr, "Started a private JACK server %s (dummy, 256 frames at 48 kHz).\n", name.c_str());
                return true;
            }
            std::this_thread::sleep_for(100ms);
        }
        std::fprintf(stderr, "jackd did not start; its output:\n%s\n", FileTail(FServer->LogFile()).c_str());
        return false;
    }

private:
    std::unique_ptr<TChildProcess> FServer; // stopped when the benchmark ends
};

} // namespace
} // namespace zw

int main(int argc, char** argv)
{
    // Never let a JACK client start a server of its own choosing.
    setenv("JACK_NO_START_SERVER", "1", 1);
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    zw::ReportErrorsInDialogs();
    zw::TBenchJackServer server;
    if (!server.Ensure()) {
        std::fprintf(stderr, "No JACK server answers, and none could be started (is jackd installed?).\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
