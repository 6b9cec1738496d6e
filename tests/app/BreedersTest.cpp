// The breeders' undo history through the Edit menu and its keys, and the
// breeders kept across a close and a start.
#include "MainWindowFixture.h"

#include "app/IniFile.h"
#include "ui/StatusLine.h"
#include "common/SafeFile.h"
#include "worms/BreederFile.h"
#include "worms/DragFormats.h"
#include "worms/GeneBox.h"

#include <QAction>
#include <QMimeData>

#include <filesystem>
#include <functional>
#include <tuple>

namespace zw::test {
namespace {

// A breeder's genomes, audible and frozen worm.
using TBreeder = std::tuple<std::vector<TGenome>, int, int>;

class BreedersTest : public MainWindowTest {
protected:
    TBreeder State(int channel) const
    {
        return {Genomes(Panel(channel)), Panel(channel)->Audible(), Panel(channel)->Frozen()};
    }
    std::vector<TBreeder> States() const { return {State(0), State(1), State(2), State(3)}; }
    bool Enabled(const char* action) const { return Find<QAction>(action)->isEnabled(); }
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers) { QTest::keyClick(Form.get(), key, modifiers); }
    void Undo() { Key(Qt::Key_Z, Qt::ControlModifier); }
    void BreedFromRated() { Key(Qt::Key_Asterisk, Qt::KeypadModifier); }
    // The next start, after a close or (without one) after the program ended.
    void Restart()
    {
        Form.reset();
        RandSeed(0);
        Form = std::make_unique<TRecordingFormMain>();
    }
};

TEST_F(BreedersTest, EachKindOfStepIsUndoneAndRedoneWithTheSelectionItHad)
{
    Key(Qt::Key_B, Qt::AltModifier);
    Panel(1)->SetFrozen(5);
    const TBreeder start = State(1);
    QMimeData bankEntry, worm;
    bankEntry.setData(kGeneBoxMimeType, QByteArray(120, 7));
    worm.setData(kWormMimeType, QByteArray(120, 9));
    const std::pair<const char*, std::function<void()>> steps[] = {
        {"randomize", [&] { Click("SpeedButtonRandomize"); }},
        {"mate", [&] { Click("SpeedButtonMate"); }},
        {"mutate", [&] { Click("SpeedButtonMutate"); }},
        {"morph", [&] { Key(Qt::Key_Period, Qt::KeypadModifier); }},
        {"bank drop", [&] { Panel(1)->Worms(9)->Drop(&bankEntry, nullptr); }},
        {"worm drop", [&] { Panel(1)->Worms(12)->Drop(&worm, Panel(1)->Worms(3)); }},
        {"tick", [&] {
             Click("SpeedButtonChActiveB");
             Click("SpeedButtonAutoRandomizeB");
             Form->Automation().TimerAutoTimer();
             Click("SpeedButtonAutoRandomizeB"); // before the timer's own tick
         }},
        {"new breeders", [&] {
             const auto channelA = Genomes(Panel(0));
             Dialogs.Answers = {TQueryAnswer::No, TQueryAnswer::Yes}; // the first time nothing happens
             Find<QAction>("MenuNewBreeders")->trigger();
             Find<QAction>("MenuNewBreeders")->trigger();
             EXPECT_NE(Genomes(Panel(0)), channelA) << "all four are bred anew";
         }},
    };
    for (const auto& [name, step] : steps) {
        const TBreeder before = State(1);
        step();
        Panel(1)->FrozenNext(); // a move alone is no step
        const TBreeder after = State(1);
        ASSERT_NE(std::get<0>(after), std::get<0>(before)) << name;
        Undo();
        EXPECT_EQ(State(1), before) << name;
        EXPECT_TRUE(Enabled("MenuRedo")) << name;
        const bool y = name[0] == 'm'; // redo by either key
        Key(y ? Qt::Key_Y : Qt::Key_Z, y ? Qt::ControlModifier : Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(State(1), after) << name;
        EXPECT_FALSE(Enabled("MenuRedo")) << name;
    }
    for (size_t i = 0; i < std::size(steps); ++i)
        Undo();
    EXPECT_EQ(std::get<0>(State(1)), std::get<0>(start));
    EXPECT_FALSE(Enabled("MenuUndo"));
    Key(Qt::Key_A, Qt::AltModifier);
    EXPECT_FALSE(Enabled("MenuRedo")) << "each breeder has a history of its own";
}

TEST_F(BreedersTest, ABreederKeeps256StepsDrawsNothingToUndoAndANewChangeDropsTheRedoList)
{
    EXPECT_FALSE(Enabled("MenuUndo") || Enabled("MenuRedo"));
    std::vector<TBreeder> states;
    for (int i = 0; i < 300; ++i) {
        states.push_back(State(0));
        Key(Qt::Key_Slash, Qt::KeypadModifier); // mutate
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
    Key(Qt::Key_Y, Qt::ControlModifier);
    Key(Qt::Key_Slash, Qt::KeypadModifier);
    EXPECT_FALSE(Enabled("MenuRedo"));
    Undo();
    EXPECT_EQ(State(0), states[300 - 255]);
}

TEST_F(BreedersTest, TheBreedersAndTheirSelectionsAreKeptAcrossACloseAndAStart)
{
    for (int channel = 0; channel < 4; ++channel) {
        Panel(channel)->MutateAll();
        Panel(channel)->SetAudible(channel + 3);
        Panel(channel)->SetFrozen(15 - channel);
    }
    const auto kept = States();
    Form->close();
    EXPECT_NE(ReadWholeFile(IniFileName()).find("[Breeders]\r\nAudibleA=3\r\nAudibleB=4\r\n"), std::string::npos);
    TGeneBox bank;
    bank.LoadFromFile(QString::fromStdString(TKeptBreeders::FileName()));
    ASSERT_EQ(bank.Count(), 64);
    EXPECT_EQ(bank.Names(63), "D15");
    EXPECT_EQ(Genome(bank.Genes(17)), std::get<0>(kept[1])[1]);
    Restart();
    EXPECT_EQ(States(), kept);
    EXPECT_TRUE(Dialogs.Errors.isEmpty());
}

TEST_F(BreedersTest, ABreedersFileThatCannotBeReadIsReportedOnceSetAsideAndNeverOverwritten)
{
    const auto fresh = States();
    const std::string file = TKeptBreeders::FileName();
    const std::string damaged = "64\r\nA0 = 3, 1, 2, 3;\r\nB7 = 1, 1;\r\n";
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"damaged", [&] { WriteFileAtomically(file, damaged); }},
        {"unreadable", [&] { std::filesystem::create_directory(file); }},
        // As in a read-only folder, it cannot be moved aside: a full folder
        // stands in the way, even of the superuser.
        {"fixed", [&] {
             WriteFileAtomically(file, damaged);
             std::filesystem::create_directories(file + ".bad/full");
         }},
    };
    for (const auto& [name, spoil] : cases) {
        std::filesystem::remove_all(file);
        std::filesystem::remove_all(file + ".bad");
        spoil();
        Dialogs.Errors.clear();
        Restart();
        EXPECT_EQ(States(), fresh) << name;
        Form->close();
        ASSERT_EQ(Dialogs.Errors.size(), 1) << name;
        const QString start = QString::fromStdString("The breeders file \"" + file + "\" could not be read: ");
        EXPECT_TRUE(Dialogs.Errors[0].startsWith(start)) << Dialogs.Errors[0].toStdString();
        EXPECT_TRUE(Dialogs.Errors[0].contains("; the breeders start anew.")) << name;
        EXPECT_TRUE(std::filesystem::exists(file + ".bad")) << name;
        if (name[0] == 'f')
            EXPECT_EQ(ReadWholeFile(file), damaged);
        else
            EXPECT_NO_THROW(ReadBreederFile(ReadWholeFile(file), 4, 16)) << name;
    }
    // The message around the reader's names the file; the reader names no empty one.
    try {
        ReadBreederFile("65537\r\n", 4, 16);
        ADD_FAILURE() << "65537 entries were read";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Invalid gene file: 65537 entries, at most 65536 are allowed");
    }
}

TEST_F(BreedersTest, RatedWormsBreedTheOthersInOneStepAndTheirRatingsAreKeptAcrossACloseAndAStart)
{
    // Worm 3 rated 3 by Ctrl+3, worm 8 rated 1 after Ctrl+2 and Ctrl+0, worm
    // 12 rated 2 by six middle clicks (four go round to none); worm 0 is frozen.
    for (const auto& [right, rating] : {std::pair{3, Qt::Key_3}, {5, Qt::Key_2}, {0, Qt::Key_0}, {0, Qt::Key_1}}) {
        for (int i = 0; i < right; ++i)
            Key(Qt::Key_Right, Qt::NoModifier);
        Key(rating, Qt::ControlModifier);
    }
    for (int clicks = 0; clicks < 6; ++clicks)
        QTest::mouseClick(Panel(0)->Worms(12), Qt::MiddleButton);
    std::vector<uint8_t> rated(16, 0);
    rated[3] = 3;
    rated[8] = 1;
    rated[12] = 2;
    ASSERT_EQ(Panel(0)->Ratings(), rated);

    const TBreeder before = State(0);
    BreedFromRated();
    for (size_t i = 0; i < 16; ++i)
        EXPECT_EQ(std::get<0>(State(0))[i] == std::get<0>(before)[i], i == 0 || rated[i] > 0) << "worm " << i;
    EXPECT_EQ(Panel(0)->Ratings(), rated);
    Undo();
    EXPECT_EQ(State(0), before);
    // A rated worm another operation changes loses its rating; undo brings it back.
    Click("SpeedButtonMutate");
    EXPECT_EQ(Panel(0)->Ratings(), std::vector<uint8_t>(16, 0));
    Undo();
    EXPECT_EQ(Panel(0)->Ratings(), rated);

    Click("SpeedButtonBreedFromRated");
    const TBreeder bred = State(0);
    Form->close();
    Restart();
    EXPECT_EQ(std::get<0>(State(0)), std::get<0>(bred));
    EXPECT_EQ(Panel(0)->Ratings(), rated);
    EXPECT_TRUE(Dialogs.Errors.isEmpty());
}

TEST_F(BreedersTest, WithNoWormRatedBreedingFromTheRatedMatesAndSaysSo)
{
    RandSeed(9);
    BreedFromRated();
    const TBreeder bred = State(0);
    EXPECT_TRUE(Form->StatusLine()->Message(TStatusTopic::Breeding).contains("mated"));
    Undo();
    RandSeed(9);
    Click("SpeedButtonMate");
    EXPECT_EQ(State(0), bred);
    Panel(0)->SetRating(3, 1);
    BreedFromRated();
    EXPECT_TRUE(Form->StatusLine()->Message(TStatusTopic::Breeding).isEmpty());
}

} // namespace
} // namespace zw::test
