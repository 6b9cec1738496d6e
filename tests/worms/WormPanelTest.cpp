// The breeder grid: creation, placement, indexes and their events, selection
// moves, the grid-wide operators with their draw order, settings propagation.
#include "WormTestUtil.h"

#include "common/Exceptions.h"
#include "support/ScriptedDialogs.h"
#include "worms/DragFormats.h"
#include "worms/Worm.h"
#include "worms/WormPanel.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QMimeData>
#include <QTest>

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace zw {
namespace {

using test::DrawRandomGenes;
using test::GenesOf;
using test::ReplayCrossOver;
using test::ReplayMutate;
using test::SetGenes;

// A panel with every event recorded in order.
class Panel : public ::testing::Test {
protected:
    void SetUp() override
    {
        FPanel.SetOnAudible([this](TWormPanel* sender) {
            EXPECT_EQ(sender, &FPanel);
            Events.push_back("audible " + std::to_string(FPanel.Audible()));
        });
        FPanel.SetOnFrozen([this](TWormPanel* sender) {
            EXPECT_EQ(sender, &FPanel);
            Events.push_back("frozen " + std::to_string(FPanel.Frozen()));
        });
        FPanel.SetOnWormChanged([this](TWormPanel* sender, const TGene& gene) {
            EXPECT_EQ(sender, &FPanel);
            Events.push_back("changed");
            Reported.push_back(GenesOf(gene));
        });
    }

    void MakeGrid(int rows, int cols)
    {
        FPanel.SetRowCount(rows);
        FPanel.SetColCount(cols);
    }

    std::vector<std::vector<uint8_t>> AllGenes() const
    {
        std::vector<std::vector<uint8_t>> genes;
        for (int i = 0; i < FPanel.WormCount(); ++i)
            genes.push_back(GenesOf(*FPanel.Worms(i)));
        return genes;
    }

    void Clear()
    {
        Events.clear();
        Reported.clear();
    }

    TWormPanel FPanel;
    std::vector<std::string> Events;
    std::vector<std::vector<uint8_t>> Reported;
};

TEST(PanelCreation, NewPanelHasFourDefaultWormsAndNoSelection)
{
    RandSeed(71);
    TWormPanel panel;
    ASSERT_EQ(panel.WormCount(), 4);
    EXPECT_EQ(panel.Audible(), -1);
    EXPECT_EQ(panel.Frozen(), -1);
    EXPECT_EQ(panel.size(), QSize(168, 168));
    EXPECT_EQ(panel.sizeHint(), QSize(168, 168));
    EXPECT_EQ(panel.RowCount(), 2);
    EXPECT_EQ(panel.ColCount(), 2);
    EXPECT_EQ(panel.WormSize(), 120);
    EXPECT_TRUE(panel.DrawLines());
    EXPECT_EQ(panel.Worms(4), nullptr);
    EXPECT_EQ(panel.Worms(-1), nullptr);
    // The worms are created in index order, each drawing its 120 genes.
    RandSeed(71);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(panel.Worms(i)->Tag(), i);
        EXPECT_EQ(GenesOf(*panel.Worms(i)), DrawRandomGenes(120)) << i;
    }
}

TEST_F(Panel, RandomizeAllWithoutSelectionChangesEveryWormSilently)
{
    RandSeed(72);
    FPanel.RandomizeAll();
    RandSeed(72);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(GenesOf(*FPanel.Worms(i)), DrawRandomGenes(120)) << i;
    EXPECT_TRUE(Events.empty());
}

TEST_F(Panel, GridOfFourByFourIsPlacedRowByRow)
{
    MakeGrid(4, 4);
    ASSERT_EQ(FPanel.WormCount(), 16);
    EXPECT_EQ(FPanel.size(), QSize(334, 334));
    for (int k = 0; k < 16; ++k) {
        const TWorm* worm = FPanel.Worms(k);
        EXPECT_EQ(worm->Tag(), k);
        EXPECT_EQ(worm->pos(), QPoint(2 + 82 * (k % 4), 2 + 82 * (k / 4))) << k;
        EXPECT_EQ(worm->size(), QSize(80, 80));
    }
    EXPECT_EQ(FPanel.Worms(5)->pos(), QPoint(84, 84));
}

TEST_F(Panel, TheWidgetShowsEachWormInItsStateColour)
{
    MakeGrid(2, 2);
    FPanel.SetAudible(1);
    FPanel.SetFrozen(2);
    const QImage image = FPanel.grab().toImage();
    EXPECT_EQ(image.pixel(2 + 1, 2 + 40), qRgb(128, 128, 128));
    EXPECT_EQ(image.pixel(84 + 1, 2 + 40), qRgb(255, 255, 0));
    EXPECT_EQ(image.pixel(2 + 1, 84 + 40), qRgb(0, 0, 255));
}

TEST_F(Panel, NonSquareGridUsesColumnsForTheRow)
{
    MakeGrid(2, 3);
    FPanel.SetSpacing(4);
    ASSERT_EQ(FPanel.WormCount(), 6);
    EXPECT_EQ(FPanel.size(), QSize((80 + 4 + 1) * 3 + 4, (80 + 4 + 1) * 2 + 4));
    EXPECT_EQ(FPanel.Worms(2)->pos(), QPoint(4 + 84 * 2, 4));
    EXPECT_EQ(FPanel.Worms(3)->pos(), QPoint(4, 4 + 84));
}

TEST_F(Panel, WormSizeAndClearanceReachTheWormsAndTheLayout)
{
    MakeGrid(2, 2);
    FPanel.SetWormWidth(50);
    FPanel.SetWormHeight(40);
    FPanel.SetClearance(8);
    EXPECT_EQ(FPanel.size(), QSize((50 + 3) * 2 + 2, (40 + 3) * 2 + 2));
    EXPECT_EQ(FPanel.Worms(3)->geometry(), QRect(2 + 52, 2 + 42, 50, 40));
    EXPECT_EQ(FPanel.Worms(3)->Clearance(), 8);
    EXPECT_THROW(FPanel.SetWormWidth(256), ERangeError);
    EXPECT_EQ(FPanel.WormWidth(), 50);
}

TEST_F(Panel, AudibleIndexRaisesAudibleThenTheGenome)
{
    MakeGrid(4, 4);
    FPanel.SetAudible(3);
    EXPECT_EQ(FPanel.Audible(), 3);
    EXPECT_TRUE(FPanel.Worms(3)->Audible());
    EXPECT_EQ(Events, (std::vector<std::string>{"audible 3", "changed"}));
    ASSERT_EQ(Reported.size(), 1u);
    EXPECT_EQ(Reported[0], GenesOf(*FPanel.Worms(3)));

    Clear();
    FPanel.SetAudible(3);
    FPanel.SetAudible(16);
    FPanel.SetAudible(-1);
    EXPECT_TRUE(Events.empty());
    EXPECT_EQ(FPanel.Audible(), 3);

    FPanel.SetAudible(7);
    EXPECT_FALSE(FPanel.Worms(3)->Audible());
    EXPECT_EQ(Events, (std::vector<std::string>{"audible 7", "changed"}));
}

TEST_F(Panel, FrozenIndexRaisesOnlyFrozen)
{
    MakeGrid(4, 4);
    FPanel.SetFrozen(3);
    EXPECT_EQ(FPanel.Frozen(), 3);
    EXPECT_EQ(Events, (std::vector<std::string>{"frozen 3"}));
    Clear();
    FPanel.SetFrozen(3);
    FPanel.SetFrozen(99);
    EXPECT_TRUE(Events.empty());
}

TEST_F(Panel, RightPressMovesTheFrozenState)
{
    MakeGrid(2, 2);
    FPanel.SetFrozen(0);
    QTest::mousePress(FPanel.Worms(2), Qt::RightButton, {}, QPoint(30, 30));
    EXPECT_FALSE(FPanel.Worms(0)->Frozen());
    EXPECT_TRUE(FPanel.Worms(2)->Frozen());
    EXPECT_EQ(FPanel.Frozen(), 2);
    EXPECT_EQ(Events, (std::vector<std::string>{"frozen 0", "frozen 2"}));
}

TEST_F(Panel, LeftPressMakesAudibleAndReports)
{
    MakeGrid(2, 2);
    QTest::mousePress(FPanel.Worms(1), Qt::LeftButton, {}, QPoint(30, 30));
    QTest::mouseRelease(FPanel.Worms(1), Qt::LeftButton, {}, QPoint(30, 30));
    EXPECT_EQ(FPanel.Audible(), 1);
    EXPECT_EQ(Events, (std::vector<std::string>{"audible 1", "changed"}));
}

TEST_F(Panel, NotifyAudibleReportsTheCurrentGenomeOrNothing)
{
    MakeGrid(2, 2);
    FPanel.NotifyAudible();
    EXPECT_TRUE(Events.empty());
    FPanel.SetAudible(2);
    Clear();
    FPanel.NotifyAudible();
    EXPECT_EQ(Events, (std::vector<std::string>{"changed"}));
    EXPECT_EQ(Reported[0], GenesOf(*FPanel.Worms(2)));
}

// ---- selection moves ----

struct TMoveCase {
    const char* Name;
    void (TWormPanel::*Move)();
    bool Audible;
    std::map<int, int> Expected; // from -> to on a 4 x 4 grid
};

TEST_F(Panel, SelectionMovesWrapThroughTheGrid)
{
    MakeGrid(4, 4);
    const std::map<int, int> up{{0, 15}, {1, 12}, {2, 13}, {3, 14}, {4, 0}, {5, 1}, {15, 11}};
    const std::map<int, int> down{{15, 0}, {12, 1}, {13, 2}, {14, 3}, {0, 4}, {11, 15}, {10, 14}};
    const std::map<int, int> prev{{0, 15}, {1, 0}, {15, 14}};
    const std::map<int, int> next{{15, 0}, {0, 1}, {14, 15}};
    const TMoveCase cases[] = {
        {"AudibleUp", &TWormPanel::AudibleUp, true, up},
        {"AudibleDown", &TWormPanel::AudibleDown, true, down},
        {"AudiblePrev", &TWormPanel::AudiblePrev, true, prev},
        {"AudibleNext", &TWormPanel::AudibleNext, true, next},
        {"FrozenUp", &TWormPanel::FrozenUp, false, up},
        {"FrozenDown", &TWormPanel::FrozenDown, false, down},
        {"FrozenPrev", &TWormPanel::FrozenPrev, false, prev},
        {"FrozenNext", &TWormPanel::FrozenNext, false, next},
    };
    for (const TMoveCase& c : cases) {
        for (const auto& [from, to] : c.Expected) {
            if (c.Audible)
                FPanel.SetAudible(from);
            else
                FPanel.SetFrozen(from);
            (FPanel.*c.Move)();
            EXPECT_EQ(c.Audible ? FPanel.Audible() : FPanel.Frozen(), to) << c.Name << " from " << from;
            EXPECT_TRUE(c.Audible ? FPanel.Worms(to)->Audible() : FPanel.Worms(to)->Frozen()) << c.Name;
        }
    }
}

TEST_F(Panel, SelectionMovesStartFromNoSelection)
{
    MakeGrid(4, 4);
    FPanel.AudibleNext();
    EXPECT_EQ(FPanel.Audible(), 0);
    FPanel.FrozenDown(); // -1 + 4 = 3
    EXPECT_EQ(FPanel.Frozen(), 3);
}

TEST_F(Panel, SelectionMovesOnAnEmptyPanelDoNothing)
{
    MakeGrid(0, 4);
    ASSERT_EQ(FPanel.WormCount(), 0);
    for (auto move : {&TWormPanel::AudiblePrev, &TWormPanel::AudibleNext, &TWormPanel::AudibleUp,
                      &TWormPanel::AudibleDown, &TWormPanel::FrozenPrev, &TWormPanel::FrozenNext,
                      &TWormPanel::FrozenUp, &TWormPanel::FrozenDown})
        (FPanel.*move)();
    FPanel.RandomizeAll();
    FPanel.MutateAll();
    FPanel.Mate();
    FPanel.Morph();
    EXPECT_EQ(FPanel.Audible(), -1);
    EXPECT_EQ(FPanel.Frozen(), -1);
    EXPECT_TRUE(Events.empty());
    EXPECT_EQ(FPanel.size(), QSize(83 * 4 + 2, 2));
}

// ---- grid operators ----

TEST_F(Panel, MutateAllSkipsTheFrozenWormAndReportsTheAudibleOnce)
{
    MakeGrid(2, 2);
    FPanel.SetAudible(1);
    FPanel.SetFrozen(2);
    Clear();
    std::vector<std::vector<uint8_t>> expected = AllGenes();
    RandSeed(81);
    FPanel.MutateAll();
    RandSeed(81);
    for (int i : {0, 1, 3})
        ReplayMutate(expected[static_cast<size_t>(i)], 50, 5);
    EXPECT_EQ(AllGenes(), expected);
    EXPECT_EQ(Events, (std::vector<std::string>{"changed"}));
    EXPECT_EQ(Reported[0], expected[1]);
}

TEST_F(Panel, RandomizeAllWithTheAudibleWormFrozenReportsNothing)
{
    MakeGrid(2, 2);
    FPanel.SetAudible(0);
    FPanel.SetFrozen(0);
    Clear();
    const std::vector<uint8_t> kept = GenesOf(*FPanel.Worms(0));
    FPanel.RandomizeAll();
    EXPECT_TRUE(Events.empty());
    EXPECT_EQ(GenesOf(*FPanel.Worms(0)), kept);
}

TEST_F(Panel, MateCopiesAllChildrenBeforeAnyCrossover)
{
    MakeGrid(4, 4);
    FPanel.SetAudible(0);
    FPanel.SetFrozen(5);
    Clear();
    const std::vector<std::vector<uint8_t>> before = AllGenes();
    RandSeed(82);
    FPanel.Mate();
    const std::vector<std::vector<uint8_t>> after = AllGenes();

    // Pass 1: every child takes the audible worm's genes (resizing draws 120 each).
    RandSeed(82);
    for (int i = 0; i < 14; ++i)
        DrawRandomGenes(120);
    // Pass 2: every child crosses with the frozen worm, then mutates.
    for (int i = 0; i < 16; ++i) {
        if (i == 0 || i == 5) {
            EXPECT_EQ(after[static_cast<size_t>(i)], before[static_cast<size_t>(i)]) << i;
            continue;
        }
        std::vector<uint8_t> child = before[0];
        ReplayCrossOver(child, before[5], 33, 50, 5);
        EXPECT_EQ(after[static_cast<size_t>(i)], child) << i;
        EXPECT_NE(after[static_cast<size_t>(i)], before[static_cast<size_t>(i)]) << i;
    }
    EXPECT_TRUE(Events.empty());
}

TEST_F(Panel, MateWithoutFrozenWormMakesUnmutatedCopies)
{
    MakeGrid(2, 2);
    FPanel.SetAudible(1);
    FPanel.Mate();
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(GenesOf(*FPanel.Worms(i)), GenesOf(*FPanel.Worms(1))) << i;
}

TEST_F(Panel, MateWithoutAudibleWormOnlyCrossesWithTheFrozen)
{
    MakeGrid(2, 2);
    FPanel.SetFrozen(3);
    const std::vector<std::vector<uint8_t>> before = AllGenes();
    RandSeed(83);
    FPanel.Mate();
    RandSeed(83);
    for (int i = 0; i < 3; ++i) {
        std::vector<uint8_t> child = before[static_cast<size_t>(i)];
        ReplayCrossOver(child, before[3], 33, 50, 5);
        EXPECT_EQ(GenesOf(*FPanel.Worms(i)), child) << i;
    }
}

TEST_F(Panel, MateWithOneWormAsBothParentsMutatesCopies)
{
    MakeGrid(2, 2);
    FPanel.SetAudible(2);
    FPanel.SetFrozen(2);
    FPanel.SetCrossOverProbability(0);
    FPanel.SetMutationProbability(100);
    FPanel.SetMutationRange(1);
    const std::vector<uint8_t> parent = GenesOf(*FPanel.Worms(2));
    FPanel.Mate();
    for (int i : {0, 1, 3}) {
        const std::vector<uint8_t> child = GenesOf(*FPanel.Worms(i));
        ASSERT_EQ(child.size(), parent.size());
        for (size_t g = 0; g < child.size(); ++g) {
            const int step = (child[g] - parent[g] + 256) % 256;
            EXPECT_TRUE(step == 0 || step == 1 || step == 255) << i << ":" << g;
        }
    }
    EXPECT_EQ(GenesOf(*FPanel.Worms(2)), parent);
}

TEST_F(Panel, DroppingAWormMakesTheTargetAudibleAndMates)
{
    MakeGrid(2, 2);
    FPanel.SetFrozen(3);
    Clear();
    const std::vector<std::vector<uint8_t>> before = AllGenes();
    QMimeData mime;
    mime.setData(kWormMimeType, QByteArray("x"));
    FPanel.Worms(1)->Drop(&mime, FPanel.Worms(0));
    EXPECT_EQ(FPanel.Audible(), 1);
    EXPECT_EQ(Events, (std::vector<std::string>{"audible 1", "changed"}));
    const std::vector<std::vector<uint8_t>> after = AllGenes();
    EXPECT_EQ(after[1], before[1]);
    EXPECT_EQ(after[3], before[3]);
    // The dragged worm is no parent: it is overwritten like the other child.
    EXPECT_NE(after[0], before[0]);
    EXPECT_NE(after[2], before[2]);
}

TEST_F(Panel, DroppingABankEntryReportsOldRandomAndBankedGenes)
{
    MakeGrid(2, 2);
    const std::vector<uint8_t> old = GenesOf(*FPanel.Worms(2));
    const std::vector<uint8_t> banked{1, 2, 3, 4, 5, 6};
    QMimeData mime;
    mime.setData(kGeneBoxMimeType, QByteArray(reinterpret_cast<const char*>(banked.data()), 6));
    RandSeed(84);
    FPanel.Worms(2)->Drop(&mime, nullptr);
    RandSeed(84);
    EXPECT_EQ(Events, (std::vector<std::string>{"audible 2", "changed", "changed", "changed"}));
    ASSERT_EQ(Reported.size(), 3u);
    EXPECT_EQ(Reported[0], old);
    EXPECT_EQ(Reported[1], DrawRandomGenes(6));
    EXPECT_EQ(Reported[2], banked);
}

TEST_F(Panel, MorphMovesTheAudibleTowardTheFrozen)
{
    MakeGrid(2, 2);
    FPanel.Morph();
    SetGenes(*FPanel.Worms(0), {100, 100});
    SetGenes(*FPanel.Worms(1), {201, 0});
    FPanel.SetAudible(0);
    Clear();
    FPanel.Morph(); // no frozen worm: no partner
    EXPECT_TRUE(Events.empty());
    FPanel.SetFrozen(1);
    Clear();
    FPanel.Morph();
    EXPECT_EQ(GenesOf(*FPanel.Worms(0)), (std::vector<uint8_t>{120, 80}));
    EXPECT_EQ(Events, (std::vector<std::string>{"changed"}));
}

// ---- settings ----

TEST_F(Panel, BreedingSettingsReachEveryWormAndNothingElse)
{
    MakeGrid(4, 4);
    FPanel.SetAudible(0);
    Clear();
    const std::vector<std::vector<uint8_t>> before = AllGenes();
    FPanel.SetMutationRange(17);
    FPanel.SetCrossOverProbability(70);
    FPanel.SetMutationProbability(90);
    FPanel.SetMorphPercentage(40);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(FPanel.Worms(i)->MutationRange(), 17);
        EXPECT_EQ(FPanel.Worms(i)->CrossOverProbability(), 70);
        EXPECT_EQ(FPanel.Worms(i)->MutationProbability(), 90);
        EXPECT_EQ(FPanel.Worms(i)->MorphPercentage(), 40);
    }
    EXPECT_EQ(AllGenes(), before);
    EXPECT_TRUE(Events.empty());
    EXPECT_THROW(FPanel.SetMutationProbability(101), ERangeError);
    EXPECT_EQ(FPanel.Worms(3)->MutationProbability(), 90);
}

TEST_F(Panel, LookSettingsReachEveryWorm)
{
    MakeGrid(2, 2);
    FPanel.SetBackColor(QColor(0x4A, 0x4A, 0x4A));
    FPanel.SetBorderColorNormal(QColor(0x4F, 0x4F, 0x4F));
    FPanel.SetBorderColorAudible(QColor(1, 2, 3));
    FPanel.SetBorderColorFrozen(QColor(4, 5, 6));
    FPanel.SetBorderColorBoth(QColor(7, 8, 9));
    FPanel.SetPenColor(QColor(0xFF, 0xFF, 0xC4));
    FPanel.SetTransparent(true);
    FPanel.SetDrawLines(false);
    for (int i = 0; i < 4; ++i) {
        const TWorm* worm = FPanel.Worms(i);
        EXPECT_EQ(worm->BackColor(), QColor(0x4A, 0x4A, 0x4A));
        EXPECT_EQ(worm->BorderColorNormal(), QColor(0x4F, 0x4F, 0x4F));
        EXPECT_EQ(worm->BorderColorAudible(), QColor(1, 2, 3));
        EXPECT_EQ(worm->BorderColorFrozen(), QColor(4, 5, 6));
        EXPECT_EQ(worm->BorderColorBoth(), QColor(7, 8, 9));
        EXPECT_EQ(worm->PenColor(), QColor(0xFF, 0xFF, 0xC4));
        EXPECT_TRUE(worm->Transparent());
        EXPECT_FALSE(worm->DrawLines());
    }
}

TEST_F(Panel, WormsOfALargerGridStartWithWormDefaultsUntilTheNextUpdate)
{
    FPanel.SetMutationRange(9);
    MakeGrid(2, 3);
    EXPECT_EQ(FPanel.Worms(0)->MutationRange(), 9);
    EXPECT_EQ(FPanel.Worms(5)->MutationRange(), 5);
    FPanel.SetMutationRange(10);
    EXPECT_EQ(FPanel.Worms(5)->MutationRange(), 10);
}

TEST_F(Panel, WormSizeReRandomizesEveryWormAndTheAudibleReports)
{
    MakeGrid(2, 2);
    FPanel.SetAudible(2);
    Clear();
    RandSeed(85);
    FPanel.SetWormSize(30);
    RandSeed(85);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(GenesOf(*FPanel.Worms(i)), DrawRandomGenes(30)) << i;
    EXPECT_EQ(Events, (std::vector<std::string>{"changed"}));
    EXPECT_EQ(Reported[0], GenesOf(*FPanel.Worms(2)));
    Clear();
    FPanel.SetWormSize(30); // unchanged: nothing
    EXPECT_TRUE(Events.empty());
}

TEST_F(Panel, ShrinkingTheGridDropsTheIndexesOfRemovedWorms)
{
    MakeGrid(3, 3);
    FPanel.SetAudible(8);
    FPanel.SetFrozen(1);
    FPanel.SetRowCount(2);
    EXPECT_EQ(FPanel.WormCount(), 6);
    EXPECT_EQ(FPanel.Audible(), -1);
    EXPECT_EQ(FPanel.Frozen(), 1);
    Clear();
    FPanel.NotifyAudible();
    FPanel.Mate();
    EXPECT_TRUE(Events.empty());
}

TEST_F(Panel, AFailingListenerStopsTheOperationAndReachesTheCaller)
{
    MakeGrid(2, 2);
    FPanel.SetAudible(0);
    FPanel.SetOnWormChanged([](TWormPanel*, const TGene&) { throw std::runtime_error("send failed"); });
    EXPECT_THROW(FPanel.MutateAll(), std::runtime_error);
    TScriptedDialogs dialogs;
    TScopedDialogs scope(dialogs);
    QTest::mousePress(FPanel.Worms(1), Qt::LeftButton, {}, QPoint(30, 30));
    QTest::mouseRelease(FPanel.Worms(1), Qt::LeftButton, {}, QPoint(30, 30));
    EXPECT_EQ(FPanel.Audible(), 1);
    EXPECT_EQ(dialogs.Errors, QStringList{"send failed"});
}

} // namespace
} // namespace zw
