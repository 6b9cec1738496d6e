// The gene view driven by the mouse and its actions: values heard at once,
// one step per drag or click, locks and ranges set on the panel.
#include "WormTestUtil.h"

#include "worms/GeneView.h"
#include "worms/WormPanel.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QTest>

#include <vector>

namespace zw {
namespace {

class GeneView : public ::testing::Test {
protected:
    void SetUp() override
    {
        RandSeed(5);
        Panel.SetRowCount(2);
        Panel.SetColCount(2);
        Panel.SetAudible(1);
        Panel.SetOnWormChanged([this](TWormPanel*, const TGene& gene) { Heard.push_back(test::GenesOf(gene)); });
        Panel.SetOnStep([this](TWormPanel*, const TBreederSnapshot& before) { Steps.push_back(before); });
        View.SetPanel(&Panel);
        View.resize(320, View.sizeHint().height());
        View.SetGeneInfo({{"Volume", true}, {"", false}, {"Cutoff", true}});
        View.SetValueText([](int gene, int value) { return gene == 2 ? QString("CC %1").arg(value) : QString(); });
    }

    int Gene(int index) const { return Panel.Worms(1)->Gene().Data()[index]; }
    QPoint At(int gene, int value) const
    {
        const QRect bar = View.BarRect(gene);
        return QPoint(bar.left() + value * (bar.width() - 1) / 255, bar.center().y());
    }

    TWormPanel Panel;
    TGeneView View;
    std::vector<std::vector<uint8_t>> Heard;
    std::vector<TBreederSnapshot> Steps;
};

TEST_F(GeneView, ADragSetsTheGeneAtOnceAndIsOneStep)
{
    EXPECT_EQ(View.sizeHint().height(), 120 * TGeneView::kRowHeight);
    const auto before = test::GenesOf(Panel.Worms(1)->Gene());
    QTest::mousePress(&View, Qt::LeftButton, {}, At(2, 100));
    QTest::mouseMove(&View, At(2, 150));
    QTest::mouseRelease(&View, Qt::LeftButton, {}, At(2, 200));
    EXPECT_NEAR(Gene(2), 200, 1);
    ASSERT_GE(Heard.size(), 2u) << "heard while dragging";
    EXPECT_NEAR(Heard.front()[2], 100, 1);
    ASSERT_EQ(Steps.size(), 1u);
    EXPECT_EQ(test::GenesOf(Steps[0].Genome(1)), before);
    EXPECT_EQ(View.Current(), 2);
}

TEST_F(GeneView, AStepDuringADragEndsTheDragsStepFirstSoUndoRestoresEachState)
{
    const TBreederSnapshot start = Panel.Snapshot();
    QTest::mousePress(&View, Qt::LeftButton, {}, At(2, 100));
    QTest::mouseMove(&View, At(2, 150));
    const TBreederSnapshot dragged = Panel.Snapshot();
    Panel.MutateAll(); // an automation tick, a key, a MIDI control
    const TBreederSnapshot mutated = Panel.Snapshot();
    QTest::mouseRelease(&View, Qt::LeftButton, {}, At(2, 200));
    EXPECT_NEAR(Gene(2), 200, 1);
    // Three steps, each from where the one before ended.
    ASSERT_EQ(Steps.size(), 3u);
    EXPECT_TRUE(Steps[0].SameGenomes(start));
    EXPECT_TRUE(Steps[1].SameGenomes(dragged));
    EXPECT_TRUE(Steps[2].SameGenomes(mutated));
}

TEST_F(GeneView, LockMarksBandEdgesAndActionsSetTheMaskEachAsAStep)
{
    QTest::mouseClick(&View, Qt::LeftButton, {}, QPoint(5, 7 * TGeneView::kRowHeight + 7));
    EXPECT_TRUE(Panel.GeneMask().Locked(7));
    // The band's right edge, dragged to 128; then its left edge to 64.
    QTest::mousePress(&View, Qt::LeftButton, {}, At(4, 255));
    QTest::mouseRelease(&View, Qt::LeftButton, {}, At(4, 128));
    QTest::mousePress(&View, Qt::LeftButton, {}, At(4, 0));
    QTest::mouseRelease(&View, Qt::LeftButton, {}, At(4, 64));
    EXPECT_NEAR(Panel.GeneMask().Limits(4).Max, 128, 1);
    EXPECT_NEAR(Panel.GeneMask().Limits(4).Min, 64, 1);
    View.SetCurrent(9);
    View.Actions()[1]->trigger(); // next
    View.Actions()[2]->trigger(); // lock
    EXPECT_TRUE(Panel.GeneMask().Locked(10));
    EXPECT_EQ(Steps.size(), 4u);
    Panel.Restore(Steps[0]);
    EXPECT_TRUE(Panel.GeneMask().Empty()) << "undo brings the mask back";
}

TEST_F(GeneView, ARangeCollapsedAtEitherEndWidensFromThere)
{
    TGeneMask mask;
    mask.SetRange(4, 255, 255);
    mask.SetRange(5, 0, 0);
    Panel.SetGeneMask(mask);
    QTest::mousePress(&View, Qt::LeftButton, {}, At(4, 255));
    QTest::mouseMove(&View, At(4, 200));
    QTest::mouseRelease(&View, Qt::LeftButton, {}, At(4, 100));
    QTest::mousePress(&View, Qt::LeftButton, {}, At(5, 0));
    QTest::mouseMove(&View, At(5, 50));
    QTest::mouseRelease(&View, Qt::LeftButton, {}, At(5, 150));
    EXPECT_NEAR(Panel.GeneMask().Limits(4).Min, 100, 1);
    EXPECT_EQ(Panel.GeneMask().Limits(4).Max, 255);
    EXPECT_EQ(Panel.GeneMask().Limits(5).Min, 0);
    EXPECT_NEAR(Panel.GeneMask().Limits(5).Max, 150, 1);
}

TEST_F(GeneView, HoverTellsNameValueOwnTermsRangeAndLock)
{
    TGeneMask mask;
    mask.SetLocked(2, true);
    mask.SetRange(2, 10, 90);
    Panel.SetGeneMask(mask);
    const QString value = QString::number(Gene(2));
    EXPECT_EQ(View.HoverText(2), "Gene 2: Cutoff\nValue " + value + " (CC " + value + ")\nRange 10-90\nLocked");
    EXPECT_EQ(View.HoverText(1), "Gene 1\nValue " + QString::number(Gene(1)) + "\nNot sent");
    EXPECT_EQ(View.HoverText(120), "");
    View.SetPanel(nullptr);
    EXPECT_EQ(View.GeneAt(QPoint(5, 5)), -1);
}

} // namespace
} // namespace zw
