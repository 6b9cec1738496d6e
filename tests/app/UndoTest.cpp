// Undo and redo of the breeder shown, through the Edit menu and its keys.
#include "MainWindowFixture.h"

#include "worms/DragFormats.h"

#include <QAction>
#include <QMimeData>

#include <functional>

namespace zw::test {
namespace {

struct TBreeder {
    std::vector<TGenome> Genomes;
    int Audible;
    int Frozen;
    bool operator==(const TBreeder&) const = default;
};

class UndoTest : public MainWindowTest {
protected:
    TBreeder State(int channel) const
    {
        return {Genomes(Panel(channel)), Panel(channel)->Audible(), Panel(channel)->Frozen()};
    }
    bool Enabled(const char* action) const { return Find<QAction>(action)->isEnabled(); }
    void Undo() { QTest::keyClick(Form.get(), Qt::Key_Z, Qt::ControlModifier); }
    void Redo(bool withY)
    {
        QTest::keyClick(Form.get(), withY ? Qt::Key_Y : Qt::Key_Z,
                        withY ? Qt::ControlModifier : Qt::ControlModifier | Qt::ShiftModifier);
    }
    void Mutate() { QTest::keyClick(Form.get(), Qt::Key_Slash, Qt::KeypadModifier); }
};

TEST_F(UndoTest, EachKindOfStepIsUndoneAndRedoneWithTheSelectionItHad)
{
    QTest::keyClick(Form.get(), Qt::Key_B, Qt::AltModifier);
    Panel(1)->SetAudible(2);
    Panel(1)->SetFrozen(5);
    const TBreeder start = State(1);
    QMimeData bankEntry;
    bankEntry.setData(kGeneBoxMimeType, QByteArray(120, 7));
    QMimeData worm;
    worm.setData(kWormMimeType, QByteArray(120, 9));
    const std::pair<const char*, std::function<void()>> steps[] = {
        {"randomize", [&] { Click("SpeedButtonRandomize"); }},
        {"mate", [&] { Click("SpeedButtonMate"); }},
        {"mutate", [&] { Click("SpeedButtonMutate"); }},
        {"morph", [&] { QTest::keyClick(Form.get(), Qt::Key_Period, Qt::KeypadModifier); }},
        {"bank drop", [&] { Panel(1)->Worms(9)->Drop(&bankEntry, nullptr); }},
        {"worm drop", [&] { Panel(1)->Worms(12)->Drop(&worm, Panel(1)->Worms(3)); }},
        {"tick", [&] {
             Click("SpeedButtonChActiveB");
             Click("SpeedButtonAutoRandomizeB");
             Form->TimerAutoTimer();
             Click("SpeedButtonAutoRandomizeB"); // no tick of the timer's own from here on
         }},
    };
    for (const auto& [name, step] : steps) {
        const TBreeder before = State(1);
        step();
        Panel(1)->FrozenNext(); // a move alone is no step
        const TBreeder after = State(1);
        ASSERT_NE(after.Genomes, before.Genomes) << name;
        Undo();
        EXPECT_EQ(State(1), before) << name;
        EXPECT_TRUE(Enabled("MenuRedo")) << name;
        Redo(name[0] == 'm');
        EXPECT_EQ(State(1), after) << name;
        EXPECT_FALSE(Enabled("MenuRedo")) << name;
    }
    for (size_t i = 0; i < std::size(steps); ++i)
        Undo();
    EXPECT_EQ(State(1).Genomes, start.Genomes);
    EXPECT_FALSE(Enabled("MenuUndo"));
    QTest::keyClick(Form.get(), Qt::Key_A, Qt::AltModifier);
    EXPECT_FALSE(Enabled("MenuRedo")) << "each breeder has a history of its own";
    QTest::keyClick(Form.get(), Qt::Key_B, Qt::AltModifier);
    EXPECT_TRUE(Enabled("MenuRedo"));
}

TEST_F(UndoTest, ABreederKeeps256StepsDrawsNothingToUndoAndANewChangeDropsTheRedoList)
{
    EXPECT_FALSE(Enabled("MenuUndo") || Enabled("MenuRedo"));
    std::vector<TBreeder> states;
    for (int i = 0; i < 300; ++i) {
        states.push_back(State(0));
        Mutate();
    }
    RandSeed(42);
    int undone = 0;
    for (; Enabled("MenuUndo"); ++undone)
        Undo();
    const int32_t next = Random(1 << 30);
    RandSeed(42);
    EXPECT_EQ(next, Random(1 << 30)) << "undo draws nothing";
    EXPECT_EQ(undone, 256);
    EXPECT_EQ(State(0), states[300 - 256]);
    Redo(false);
    Redo(true);
    EXPECT_EQ(State(0), states[300 - 254]);
    Mutate();
    EXPECT_FALSE(Enabled("MenuRedo"));
    Undo();
    EXPECT_EQ(State(0), states[300 - 254]);
}

TEST_F(UndoTest, NewBreedersAsksFirstBreedsAllFourAnewAndEachIsUndoable)
{
    const auto before = AllGenomes();
    Dialogs.Answers = {TQueryAnswer::No};
    Find<QAction>("MenuNewBreeders")->trigger();
    EXPECT_EQ(AllGenomes(), before);
    Dialogs.Answers = {TQueryAnswer::Yes};
    Find<QAction>("MenuNewBreeders")->trigger();
    EXPECT_EQ(Dialogs.Questions.size(), 2);
    const auto after = AllGenomes();
    for (int channel = 0; channel < 4; ++channel)
        EXPECT_NE(after[channel][0], before[channel][0]) << "the frozen worm too, channel " << channel;
    QTest::keyClick(Form.get(), Qt::Key_C, Qt::AltModifier);
    Undo();
    EXPECT_EQ(AllGenomes()[2], before[2]);
    EXPECT_EQ(AllGenomes()[0], after[0]);
}

} // namespace
} // namespace zw::test
