// Painting figures: a 4 x 4 breeder panel of 120-gene worms, the about
// window's 1250-gene worm drawn as dots and the gene view of a breeder, each
// beside a floor that draws the same points or bars with a bare painter loop.
// The "x_floor" counter is the ratio.
#include "common/Random.h"
#include "worms/GeneView.h"
#include "worms/Worm.h"
#include "worms/WormPanel.h"
#include "worms/WormPath.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <ctime>
#include <vector>

namespace {

using namespace zw;

using TPointLists = std::vector<std::vector<QPoint>>;

// Per-iteration floor times (ns), filled by the floor benchmarks, which run first.
double gPanelFloorNs[2] = {0, 0}; // dots, lines
double gDotsFloorNs = 0;
double gGeneViewFloorNs = 0;

void DrawDots(QPainter& painter, const std::vector<QPoint>& points)
{
    for (size_t k = 1; k + 1 < points.size(); ++k)
        painter.drawEllipse(QRect(points[k].x() - 2, points[k].y() - 2, 4, 4));
}

// The main window's breeder: 4 x 4 worms, dots on a dark background.
void SetUpPanel(TWormPanel& panel, bool lines)
{
    panel.SetRowCount(4);
    panel.SetColCount(4);
    panel.SetClearance(8);
    panel.SetBackColor(QColor(0x4A, 0x4A, 0x4A));
    panel.SetBorderColorNormal(QColor(0x4F, 0x4F, 0x4F));
    panel.SetPenColor(QColor(0xFF, 0xFF, 0xC4));
    panel.SetDrawLines(lines);
    panel.SetAudible(0);
    panel.SetFrozen(5);
}

TPointLists PanelPoints(const TWormPanel& panel)
{
    TPointLists lists;
    for (int i = 0; i < panel.WormCount(); ++i) {
        const TWorm* worm = panel.Worms(i);
        std::vector<QPoint> points = RoundWormPath(WormPath(worm->Gene(), worm->width(), worm->height(), worm->Clearance()));
        for (QPoint& point : points)
            point += worm->pos();
        lists.push_back(std::move(points));
    }
    return lists;
}

// Thread CPU time: the machine is shared, so wall time would count other work.
double ThreadCpuNs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

template <typename F>
double NsPerIteration(benchmark::State& state, F&& body)
{
    const double start = ThreadCpuNs();
    for (auto _ : state)
        body();
    return (ThreadCpuNs() - start) / static_cast<double>(state.iterations());
}

void BM_PanelFloor(benchmark::State& state)
{
    const bool lines = state.range(0) != 0;
    RandSeed(1);
    TWormPanel panel;
    SetUpPanel(panel, lines);
    const TPointLists lists = PanelPoints(panel);
    QImage image(panel.size(), QImage::Format_RGB32);
    const double ns = NsPerIteration(state, [&] {
        QPainter painter(&image);
        painter.setPen(QPen(QColor(0xFF, 0xFF, 0xC4), 1));
        painter.setBrush(QColor(0x4A, 0x4A, 0x4A));
        for (const std::vector<QPoint>& points : lists) {
            if (lines)
                painter.drawPolyline(points.data(), static_cast<int>(points.size()));
            else
                DrawDots(painter, points);
        }
    });
    gPanelFloorNs[lines] = ns;
}

void BM_Panel(benchmark::State& state)
{
    const bool lines = state.range(0) != 0;
    RandSeed(1);
    TWormPanel panel;
    SetUpPanel(panel, lines);
    QImage image(panel.size(), QImage::Format_RGB32);
    const double ns = NsPerIteration(state, [&] { panel.render(&image); });
    if (gPanelFloorNs[lines] > 0)
        state.counters["x_floor"] = ns / gPanelFloorNs[lines];
}

void BM_DotsFloor(benchmark::State& state)
{
    RandSeed(2);
    TWorm worm;
    worm.resize(240, 240);
    worm.SetSize(1250);
    const std::vector<QPoint> points = RoundWormPath(WormPath(worm.Gene(), 240, 240, worm.Clearance()));
    QImage image(240, 240, QImage::Format_RGB32);
    gDotsFloorNs = NsPerIteration(state, [&] {
        QPainter painter(&image);
        painter.setPen(QPen(Qt::black, 1));
        painter.setBrush(Qt::white);
        DrawDots(painter, points);
    });
}

void BM_Dots(benchmark::State& state)
{
    RandSeed(2);
    TWorm worm;
    worm.resize(240, 240);
    worm.SetSize(1250);
    worm.SetDrawLines(false);
    QImage image(240, 240, QImage::Format_RGB32);
    const double ns = NsPerIteration(state, [&] {
        QPainter painter(&image);
        worm.PaintTo(painter);
    });
    if (gDotsFloorNs > 0)
        state.counters["x_floor"] = ns / gDotsFloorNs;
}

// A breeder with locks and ranges and a named, partly inactive gene view.
struct TGeneViewSetUp {
    TWormPanel Panel;
    TGeneView View;

    TGeneViewSetUp()
    {
        RandSeed(3);
        SetUpPanel(Panel, false);
        TGeneMask mask;
        mask.ReadLockedText("0-9,50");
        mask.ReadRangeText("20:10-100,21:128-255");
        Panel.SetGeneMask(mask);
        std::vector<TGeneInfo> info(120);
        for (int gene = 0; gene < 120; ++gene)
            info[static_cast<size_t>(gene)] = {QString("CC %1 parameter").arg(gene), gene % 3 != 0};
        View.SetGeneInfo(std::move(info));
        View.SetPanel(&Panel);
        View.resize(320, View.sizeHint().height());
    }
};

// The same rows as bare painter calls: background, band, bar, lock mark, label.
void BM_GeneViewFloor(benchmark::State& state)
{
    TGeneViewSetUp setUp;
    const TGeneView& view = setUp.View;
    const TGeneMask& mask = setUp.Panel.GeneMask();
    const uint8_t* genes = setUp.Panel.Worms(0)->Gene().Data();
    std::vector<QString> labels;
    for (int gene = 0; gene < 120; ++gene)
        labels.push_back(QString::number(gene) + "  " + view.GeneInfo(gene).Name);
    QImage image(view.size(), QImage::Format_RGB32);
    const int h = TGeneView::kRowHeight;
    gGeneViewFloorNs = NsPerIteration(state, [&] {
        QPainter painter(&image);
        painter.fillRect(image.rect(), QColor(0x4A, 0x4A, 0x4A));
        for (int gene = 0; gene < 120; ++gene) {
            const QRect bar = view.BarRect(gene);
            const TGeneLimits limits = mask.Limits(gene);
            const int low = bar.left() + limits.Min * (bar.width() - 1) / 255;
            const int high = bar.left() + limits.Max * (bar.width() - 1) / 255;
            painter.fillRect(QRect(low, bar.top(), high - low + 1, bar.height()), QColor(0x68, 0x68, 0x60));
            painter.fillRect(QRect(bar.left(), bar.top() + 2, genes[gene] * (bar.width() - 1) / 255 + 1,
                                   bar.height() - 4),
                             QColor(0xFF, 0xFF, 0xC4));
            painter.fillRect(QRect(2, gene * h + 2, 9, 9), QColor(0xFF, 0xB0, 0x40));
            painter.setPen(QColor(0xF0, 0xF0, 0xE0));
            painter.drawText(QRect(16, gene * h, 132, h), Qt::AlignLeft | Qt::AlignVCenter,
                             labels[static_cast<size_t>(gene)]);
        }
    });
}

void BM_GeneView(benchmark::State& state)
{
    TGeneViewSetUp setUp;
    QImage image(setUp.View.size(), QImage::Format_RGB32);
    const double ns = NsPerIteration(state, [&] {
        QPainter painter(&image);
        setUp.View.PaintTo(painter, image.rect());
    });
    if (gGeneViewFloorNs > 0)
        state.counters["x_floor"] = ns / gGeneViewFloorNs;
}

} // namespace

// Registration order is run order: floors first.
BENCHMARK(BM_PanelFloor)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Panel)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DotsFloor)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Dots)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GeneViewFloor)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GeneView)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
