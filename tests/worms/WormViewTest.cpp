// The worm as a control: audible/frozen exclusivity among siblings with its
// events, mouse presses, drag start and drops.
#include "WormTestUtil.h"

#include "support/ScriptedDialogs.h"
#include "worms/DragFormats.h"
#include "worms/Worm.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QTest>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace zw {
namespace {

using test::GenesOf;
using test::MakeGene;
using test::SetGenes;

// Three worms on one parent, with every event recorded as "<event> <tag>".
class WormSiblings : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int i = 0; i < 3; ++i) {
            auto* worm = new TWorm(&Parent);
            worm->SetTag(i);
            worm->move(90 * i, 0);
            worm->SetOnAudible([this](TWorm* sender) { Events.push_back("audible " + std::to_string(sender->Tag())); });
            worm->SetOnFrozen([this](TWorm* sender) { Events.push_back("frozen " + std::to_string(sender->Tag())); });
            Worms.push_back(worm);
        }
    }

    QWidget Parent;
    std::vector<TWorm*> Worms;
    std::vector<std::string> Events;
};

TEST(WormDefaults, NewWormHasTheDocumentedLook)
{
    TWorm worm;
    EXPECT_EQ(worm.size(), QSize(80, 80));
    EXPECT_EQ(worm.Size(), 120);
    EXPECT_FALSE(worm.Audible());
    EXPECT_FALSE(worm.Frozen());
    EXPECT_EQ(worm.Clearance(), 10);
    EXPECT_EQ(worm.BackColor(), QColor(255, 255, 255));
    EXPECT_EQ(worm.BorderColorNormal(), QColor(128, 128, 128));
    EXPECT_EQ(worm.BorderColorAudible(), QColor(255, 255, 0));
    EXPECT_EQ(worm.BorderColorFrozen(), QColor(0, 0, 255));
    EXPECT_EQ(worm.BorderColorBoth(), QColor(0, 255, 0));
    EXPECT_EQ(worm.PenColor(), QColor(0, 0, 0));
    EXPECT_FALSE(worm.Transparent());
    EXPECT_TRUE(worm.DrawLines());
    EXPECT_EQ(worm.CrossOverProbability(), 33);
    EXPECT_EQ(worm.MutationProbability(), 50);
    EXPECT_EQ(worm.MutationRange(), 5);
    EXPECT_EQ(worm.MorphPercentage(), 20);
    EXPECT_TRUE(worm.acceptDrops());
}

TEST_F(WormSiblings, OneAudibleAmongSiblingsAndOnlyTheNewOneRaisesAnEvent)
{
    Worms[0]->SetAudible(true);
    Worms[2]->SetAudible(true);
    EXPECT_FALSE(Worms[0]->Audible());
    EXPECT_TRUE(Worms[2]->Audible());
    Worms[2]->SetAudible(true); // unchanged: nothing
    Worms[2]->SetAudible(false); // clearing raises nothing
    EXPECT_FALSE(Worms[2]->Audible());
    EXPECT_EQ(Events, (std::vector<std::string>{"audible 0", "audible 2"}));
}

TEST_F(WormSiblings, FrozenIsExclusiveToAndIndependentOfAudible)
{
    Worms[1]->SetAudible(true);
    Worms[1]->SetFrozen(true);
    EXPECT_EQ(Worms[1]->BorderColor(), QColor(0, 255, 0));
    Worms[0]->SetFrozen(true);
    EXPECT_FALSE(Worms[1]->Frozen());
    EXPECT_TRUE(Worms[1]->Audible());
    EXPECT_TRUE(Worms[0]->Frozen());
    EXPECT_EQ(Worms[1]->BorderColor(), QColor(255, 255, 0));
    EXPECT_EQ(Worms[0]->BorderColor(), QColor(0, 0, 255));
    EXPECT_EQ(Worms[2]->BorderColor(), QColor(128, 128, 128));
    EXPECT_EQ(Events, (std::vector<std::string>{"audible 1", "frozen 1", "frozen 0"}));
}

TEST_F(WormSiblings, TheAudibleEventComesAfterTheStateChanged)
{
    Worms[0]->SetAudible(true);
    bool stateSeen = false;
    Worms[1]->SetOnAudible([&](TWorm* sender) {
        stateSeen = sender->Audible() && !Worms[0]->Audible();
    });
    Worms[1]->SetAudible(true);
    EXPECT_TRUE(stateSeen);
}

TEST_F(WormSiblings, LeftPressMakesAudibleRightPressFreezesOthersDoNothing)
{
    QTest::mousePress(Worms[1], Qt::LeftButton, {}, QPoint(40, 40));
    QTest::mouseRelease(Worms[1], Qt::LeftButton, {}, QPoint(40, 40));
    QTest::mousePress(Worms[2], Qt::RightButton, {}, QPoint(40, 40));
    QTest::mouseRelease(Worms[2], Qt::RightButton, {}, QPoint(40, 40));
    QTest::mousePress(Worms[0], Qt::MiddleButton, {}, QPoint(40, 40));
    QTest::mouseRelease(Worms[0], Qt::MiddleButton, {}, QPoint(40, 40));
    // Pressing the audible worm again raises nothing.
    QTest::mousePress(Worms[1], Qt::LeftButton, {}, QPoint(40, 40));
    QTest::mouseRelease(Worms[1], Qt::LeftButton, {}, QPoint(40, 40));
    EXPECT_TRUE(Worms[1]->Audible());
    EXPECT_TRUE(Worms[2]->Frozen());
    EXPECT_FALSE(Worms[0]->Audible() || Worms[0]->Frozen());
    EXPECT_EQ(Events, (std::vector<std::string>{"audible 1", "frozen 2"}));
}

TEST_F(WormSiblings, AFailingListenerOnAPressReachesTheErrorBox)
{
    TScriptedDialogs dialogs;
    TScopedDialogs scope(dialogs);
    Worms[0]->SetOnAudible([](TWorm*) { throw std::runtime_error("no synthesizer"); });
    QTest::mousePress(Worms[0], Qt::LeftButton, {}, QPoint(40, 40));
    QTest::mouseRelease(Worms[0], Qt::LeftButton, {}, QPoint(40, 40));
    EXPECT_TRUE(Worms[0]->Audible());
    EXPECT_EQ(dialogs.Errors, QStringList{"no synthesizer"});
}

TEST_F(WormSiblings, DragStartsOnlyPastTheThreshold)
{
    Parent.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Parent));
    TWorm* worm = Worms[0];
    const int threshold = QApplication::startDragDistance();
    QTest::mousePress(worm, Qt::LeftButton, {}, QPoint(20, 20));
    QMouseEvent smallMove(QEvent::MouseMove, QPointF(20 + threshold - 1, 20), worm->mapToGlobal(QPointF(20 + threshold - 1, 20)),
                          Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(worm, &smallMove);
    EXPECT_EQ(worm->findChild<QDrag*>(), nullptr);
    QMouseEvent bigMove(QEvent::MouseMove, QPointF(20 + threshold, 20), worm->mapToGlobal(QPointF(20 + threshold, 20)),
                        Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(worm, &bigMove);
    // The drag object lives until the event loop deletes it.
    const QDrag* drag = worm->findChild<QDrag*>();
    ASSERT_NE(drag, nullptr);
    ASSERT_NE(drag->mimeData(), nullptr);
    const QByteArray bytes = drag->mimeData()->data(kWormMimeType);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.end()), GenesOf(*worm));
    QTest::mouseRelease(worm, Qt::LeftButton, {}, QPoint(20 + threshold, 20));
}

QMimeData* WormDrag(const TWorm& worm)
{
    auto* mime = new QMimeData;
    mime->setData(kWormMimeType, QByteArray(reinterpret_cast<const char*>(worm.Gene().Data()), worm.Size()));
    return mime;
}

QMimeData* GeneBoxDrag(const std::vector<uint8_t>& genes)
{
    auto* mime = new QMimeData;
    mime->setData(kGeneBoxMimeType, QByteArray(reinterpret_cast<const char*>(genes.data()), static_cast<int>(genes.size())));
    return mime;
}

TEST_F(WormSiblings, DropsAreAcceptedFromOtherWormsAndTheGeneBank)
{
    std::unique_ptr<QMimeData> fromWorm(WormDrag(*Worms[0]));
    std::unique_ptr<QMimeData> fromBank(GeneBoxDrag({1, 2}));
    QMimeData text;
    text.setText("worm");
    EXPECT_FALSE(Worms[0]->AcceptsDrop(fromWorm.get(), Worms[0]));
    EXPECT_TRUE(Worms[1]->AcceptsDrop(fromWorm.get(), Worms[0]));
    EXPECT_TRUE(Worms[1]->AcceptsDrop(fromBank.get(), nullptr));
    EXPECT_FALSE(Worms[1]->AcceptsDrop(&text, nullptr));
    EXPECT_FALSE(Worms[1]->AcceptsDrop(nullptr, nullptr));
}

TEST_F(WormSiblings, DroppingAWormOnItselfChangesNothing)
{
    std::unique_ptr<QMimeData> fromWorm(WormDrag(*Worms[0]));
    Worms[0]->Drop(fromWorm.get(), Worms[0]);
    EXPECT_FALSE(Worms[0]->Audible());
    EXPECT_TRUE(Events.empty());
}

TEST_F(WormSiblings, DroppingAWormOutsideAPanelOnlyMakesTheTargetAudible)
{
    const std::vector<uint8_t> before = GenesOf(*Worms[1]);
    std::unique_ptr<QMimeData> fromWorm(WormDrag(*Worms[0]));
    Worms[1]->Drop(fromWorm.get(), Worms[0]);
    EXPECT_TRUE(Worms[1]->Audible());
    EXPECT_EQ(GenesOf(*Worms[1]), before);
    EXPECT_EQ(Events, (std::vector<std::string>{"audible 1"}));
}

TEST_F(WormSiblings, DroppingABankEntryGivesItsGenome)
{
    std::vector<std::vector<uint8_t>> reported;
    Worms[2]->SetOnGenomeChanged([&reported](TWorm*, const TGene& gene) { reported.push_back(GenesOf(gene)); });
    const std::vector<uint8_t> old = GenesOf(*Worms[2]);
    const std::vector<uint8_t> banked{10, 20, 30, 40, 250};
    std::unique_ptr<QMimeData> fromBank(GeneBoxDrag(banked));
    RandSeed(61);
    Worms[2]->Drop(fromBank.get(), nullptr);
    RandSeed(61);
    EXPECT_EQ(GenesOf(*Worms[2]), banked);
    // Becoming audible reports nothing without a panel; the assignment reports twice.
    ASSERT_EQ(reported.size(), 2u);
    EXPECT_EQ(reported[0], test::DrawRandomGenes(5));
    EXPECT_EQ(reported[1], banked);
}

// The toolkit delivers drop events only during a real drag; this opens the handlers.
class TDropTarget : public TWorm {
public:
    using TWorm::dragEnterEvent;
    using TWorm::dropEvent;
};

TEST(WormDropEvents, ADropEventRunsTheDropAndOthersAreRefused)
{
    TDropTarget worm;
    std::unique_ptr<QMimeData> fromBank(GeneBoxDrag({7, 7, 7}));
    QDropEvent drop(QPointF(40, 40), Qt::CopyAction, fromBank.get(), Qt::LeftButton, {});
    drop.setAccepted(false);
    worm.dropEvent(&drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_TRUE(worm.Audible());
    EXPECT_EQ(GenesOf(worm), (std::vector<uint8_t>{7, 7, 7}));

    QMimeData text;
    text.setText("7");
    QDragEnterEvent enter(QPoint(40, 40), Qt::CopyAction, &text, Qt::LeftButton, {});
    enter.setAccepted(true);
    worm.dragEnterEvent(&enter);
    EXPECT_FALSE(enter.isAccepted());
    QDragEnterEvent bankEnter(QPoint(40, 40), Qt::CopyAction, fromBank.get(), Qt::LeftButton, {});
    bankEnter.setAccepted(false);
    worm.dragEnterEvent(&bankEnter);
    EXPECT_TRUE(bankEnter.isAccepted());
}

TEST(WormDropEvents, AFailingDropReachesTheErrorBox)
{
    TScriptedDialogs dialogs;
    TScopedDialogs scope(dialogs);
    TDropTarget worm;
    worm.SetOnAudible([](TWorm*) { throw std::runtime_error("busy"); });
    std::unique_ptr<QMimeData> fromBank(GeneBoxDrag({1}));
    QDropEvent drop(QPointF(40, 40), Qt::CopyAction, fromBank.get(), Qt::LeftButton, {});
    worm.dropEvent(&drop);
    EXPECT_EQ(dialogs.Errors, QStringList{"busy"});
}

TEST(WormLifetime, DestroyingAnAudibleWormReportsNothing)
{
    int reports = 0;
    {
        TWorm worm;
        worm.SetAudible(true);
        worm.SetOnGenomeChanged([&reports](TWorm*, const TGene&) { ++reports; });
    }
    EXPECT_EQ(reports, 0);
}

} // namespace
} // namespace zw
