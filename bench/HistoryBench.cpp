// Undo history figures: the memory of 256 steps on each of the four breeders
// (16 worms of 120 genes), measured by the heap's own count, and the time of
// one undo on a real 4 x 4 breeder panel (the history's step and the panel's
// restore, which redraws nothing until the next paint).
#include "common/Random.h"
#include "worms/BreederHistory.h"
#include "worms/Worm.h"
#include "worms/WormPanel.h"

#include <benchmark/benchmark.h>

#include <QApplication>

#include <malloc.h>

#include <array>

namespace {

using namespace zw;

constexpr int kSteps = 256;
constexpr int kBreeders = 4;

void BM_HistoryMemory(benchmark::State& state)
{
    TWormPanel panel;
    panel.SetRowCount(4);
    panel.SetColCount(4);
    for (auto _ : state) {
        const std::size_t before = mallinfo2().uordblks;
        std::size_t counted = 0;
        {
            std::array<TBreederHistory, kBreeders> histories;
            for (TBreederHistory& history : histories)
                for (int step = 0; step < kSteps; ++step) {
                    panel.MutateAll();
                    TBreederSnapshot snapshot = panel.Snapshot();
                    counted += snapshot.MemoryUsed();
                    history.Record(std::move(snapshot));
                }
            const double heap = static_cast<double>(mallinfo2().uordblks - before);
            state.counters["heap_MiB"] = heap / (1 << 20);
            state.counters["heap_bytes_per_step"] = heap / (kSteps * kBreeders);
            state.counters["snapshot_bytes"] = static_cast<double>(counted) / (kSteps * kBreeders);
        }
    }
}

void BM_UndoOnPanel(benchmark::State& state)
{
    TWormPanel panel;
    panel.SetRowCount(4);
    panel.SetColCount(4);
    panel.SetAudible(1);
    panel.SetFrozen(0);
    TBreederHistory history;
    panel.SetOnStep([&](TWormPanel*, const TBreederSnapshot& before) { history.Record(before); });
    for (int step = 0; step < kSteps; ++step)
        panel.MutateAll();
    // Undo and redo in turn, so the history never runs dry; each pair is two
    // items, so the time per item is that of one undo (or redo).
    for (auto _ : state) {
        panel.Restore(*history.Undo(panel.Snapshot()));
        panel.Restore(*history.Redo(panel.Snapshot()));
    }
    state.SetItemsProcessed(2 * state.iterations());
}

} // namespace

BENCHMARK(BM_HistoryMemory)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UndoOnPanel)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    RandSeed(0);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
