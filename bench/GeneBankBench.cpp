// Memory of loading a gene file into a shown gene bank, as the growth of the
// process's peak resident memory over the file's size ("peak_x_file"): a file
// whose one entry has an 8 MB name, and one of 65536 short entries. The
// reference is a plain list showing that 8 MB name whole, as the bank once did.
#include "common/SafeFile.h"
#include "worms/GeneBox.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QListWidget>

#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

using namespace zw;

// A field of /proc/self/status in KiB ("VmRSS", "VmHWM").
double StatusKiB(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with(field + ":"))
            return std::stod(line.substr(field.size() + 1));
    return 0;
}

// Makes the peak start from what is resident now.
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

std::string LongNameFile() { return "1\r\n" + std::string(8 << 20, 'n') + " = 0;\r\n"; }

std::string ShortEntriesFile()
{
    std::string text = "65536\r\n";
    for (int i = 0; i < 65536; ++i)
        text += "a = 1, 7;\r\n";
    return text;
}

// Runs `load` with the peak reset before it and reports the peak's growth per file byte.
template <typename F>
void MeasurePeak(benchmark::State& state, std::size_t fileSize, F&& load)
{
    for (auto _ : state) {
        ResetPeak();
        const double before = StatusKiB("VmRSS");
        load();
        QApplication::processEvents();
        state.counters["peak_MiB"] = (StatusKiB("VmHWM") - before) / 1024;
        state.counters["peak_x_file"] = (StatusKiB("VmHWM") - before) * 1024 / static_cast<double>(fileSize);
    }
}

void LoadIntoShownBank(benchmark::State& state, const std::string& text)
{
    const std::string file = "/tmp/zw-genebank-bench-" + std::to_string(::getpid()) + ".gen";
    WriteFileAtomically(file, text);
    MeasurePeak(state, text.size(), [&] {
        TGeneBox bank;
        bank.resize(200, 300);
        bank.show();
        bank.LoadFromFile(QString::fromStdString(file));
        bank.grab(); // paints every visible line, as a shown window does
    });
    std::remove(file.c_str());
}

void BM_LoadOneLongName(benchmark::State& state) { LoadIntoShownBank(state, LongNameFile()); }
void BM_LoadManyShortEntries(benchmark::State& state) { LoadIntoShownBank(state, ShortEntriesFile()); }

void BM_ReferenceListShowingTheWholeName(benchmark::State& state)
{
    const std::string text = LongNameFile();
    MeasurePeak(state, text.size(), [&] {
        QListWidget list;
        list.resize(200, 300);
        list.show();
        list.addItem(QString::fromLatin1(text.substr(3, 8 << 20)));
        list.grab();
    });
}

} // namespace

BENCHMARK(BM_LoadOneLongName)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadManyShortEntries)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReferenceListShowingTheWholeName)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    {
        // Fonts and the style are loaded at the first paint; that is no cost of a file.
        TGeneBox warmUp;
        warmUp.show();
        warmUp.AddGene("warm-up", nullptr);
        warmUp.grab();
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
