// The main window through its controls and keys.
#include "MainWindowFixture.h"

#include "ui/Forms.h"
#include "ui/FrmAbout.h"
#include "midi/MidiOut.h"
#include "rules/FrmRuleHelp.h"
#include "rules/FrmTranslat.h"

#include <QAction>
#include <QFrame>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>

namespace zw::test {
namespace {

TEST_F(MainWindowTest, StartsWithFourBreedersAndTheTopLeftWormAudibleAndFrozen)
{
    EXPECT_EQ(Form->windowTitle(), "Zwirbels");
    // At least the designed size; more where the controls need it (WindowFitTest).
    EXPECT_GE(Form->minimumWidth(), 541);
    EXPECT_GE(Form->minimumHeight(), 553);
    auto* pages = Find<QTabWidget>("PageControl1");
    ASSERT_EQ(pages->count(), 4);
    EXPECT_EQ(pages->currentIndex(), 0);
    const char* const captions[] = {"&A", "&B", "&C", "&D"};
    for (int channel = 0; channel < 4; ++channel) {
        EXPECT_EQ(pages->tabText(channel), captions[channel]);
        TWormPanel* panel = Panel(channel);
        EXPECT_EQ(panel, Form->findChild<TWormPanel*>(QString("WormPanel%1").arg(channel + 1)));
        EXPECT_EQ(panel->Tag(), channel);
        EXPECT_EQ(panel->WormCount(), 16);
        EXPECT_EQ(panel->Worms(5)->Size(), 120);
        EXPECT_EQ(panel->Clearance(), 8);
        EXPECT_EQ(panel->BackColor(), QColor(0x4A, 0x4A, 0x4A));
        EXPECT_EQ(panel->BorderColorNormal(), QColor(0x4F, 0x4F, 0x4F));
        EXPECT_EQ(panel->PenColor(), QColor(0xFF, 0xFF, 0xC4));
        EXPECT_FALSE(panel->DrawLines());
        EXPECT_EQ(panel->Worms(15)->Clearance(), 8) << "worm settings reach the worms of the larger grid";
        EXPECT_EQ(panel->Audible(), 0);
        EXPECT_EQ(panel->Frozen(), 0);
        EXPECT_TRUE(panel->Worms(0)->Audible() && panel->Worms(0)->Frozen());
        EXPECT_FALSE(panel->Worms(1)->Audible() || panel->Worms(1)->Frozen());
    }
    EXPECT_TRUE(Form->Automation().ActiveChannels().Empty());
    EXPECT_FALSE(Form->Automation().Active());
    EXPECT_EQ(Form->Automation().Interval(), 700);
    EXPECT_FALSE(Find<QTimer>("TimerAuto")->isActive());
    EXPECT_EQ(Find<QTimer>("TimerAuto")->interval(), 700);
    EXPECT_FALSE(Form->Midi().OutOpen());
    EXPECT_FALSE(Form->Midi().InOpen());
    EXPECT_FALSE(Find("SpeedButtonBankToBreeder")->isEnabled());
    EXPECT_FALSE(Find("SpeedButtonBreederToBank")->isEnabled());
    EXPECT_EQ(Find<QFrame>("PanelMidi")->palette().color(QPalette::Window), QColor(0x80, 0x80, 0x80));
}

TEST_F(MainWindowTest, MenuEntriesCarryTheirShortcuts)
{
    const std::pair<const char*, QKeySequence> entries[] = {
        {"MenuSaveGenes", QKeySequence(Qt::Key_F2)},
        {"MenuLoadGenes", QKeySequence(Qt::Key_F3)},
        {"MenuClearGenes", QKeySequence(Qt::Key_F4)},
        {"MenuExit", QKeySequence(Qt::ALT | Qt::Key_X)},
    };
    for (const auto& [name, shortcut] : entries)
        EXPECT_EQ(Find<QAction>(name)->shortcut(), shortcut) << name;

    QSignalSpy closed(Form.get(), &TFormMain::Closed);
    QTest::keyClick(Form.get(), Qt::Key_X, Qt::AltModifier);
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(Form->isVisible());
}

TEST_F(MainWindowTest, AltWithALetterShowsThatChannel)
{
    auto* pages = Find<QTabWidget>("PageControl1");
    QTest::keyClick(Form.get(), Qt::Key_C, Qt::AltModifier);
    EXPECT_EQ(pages->currentIndex(), 2);
    EXPECT_EQ(Form->CurrentPanel(), Panel(2));
    QTest::keyClick(Form.get(), Qt::Key_B, Qt::AltModifier);
    EXPECT_EQ(Form->CurrentPanel(), Panel(1));
}

// Each row: key, modifiers, and the audible and frozen index on the shown
// channel afterwards, starting from both at 0.
struct TSelectionKey {
    Qt::Key Key;
    Qt::KeyboardModifiers Modifiers;
    int Audible;
    int Frozen;
};

TEST_F(MainWindowTest, ArrowsMoveTheAudibleWormAndWithShiftOrAltTheFrozenOne)
{
    const TSelectionKey keys[] = {
        {Qt::Key_Right, Qt::NoModifier, 1, 0},
        {Qt::Key_Left, Qt::NoModifier, 15, 0},
        {Qt::Key_Up, Qt::NoModifier, 15, 0},
        {Qt::Key_Down, Qt::NoModifier, 4, 0},
        {Qt::Key_Left, Qt::KeypadModifier, 15, 0},
        {Qt::Key_Right, Qt::ShiftModifier, 0, 1},
        {Qt::Key_Left, Qt::AltModifier, 0, 15},
        {Qt::Key_Down, Qt::ShiftModifier | Qt::ControlModifier, 0, 4},
        {Qt::Key_Up, Qt::AltModifier | Qt::ControlModifier, 0, 15},
        {Qt::Key_Right, Qt::ControlModifier, 0, 0},
        {Qt::Key_Down, Qt::MetaModifier, 0, 0},
    };
    QTest::keyClick(Form.get(), Qt::Key_D, Qt::AltModifier);
    for (const TSelectionKey& key : keys) {
        for (int channel = 0; channel < 4; ++channel) {
            Panel(channel)->SetAudible(0);
            Panel(channel)->SetFrozen(0);
        }
        QTest::keyClick(Form.get(), key.Key, key.Modifiers);
        EXPECT_EQ(Panel(3)->Audible(), key.Audible) << key.Key << " " << key.Modifiers;
        EXPECT_EQ(Panel(3)->Frozen(), key.Frozen) << key.Key << " " << key.Modifiers;
        for (int channel = 0; channel < 3; ++channel)
            EXPECT_TRUE(Panel(channel)->Audible() == 0 && Panel(channel)->Frozen() == 0) << "channel " << channel;
    }
}

// Whether a breeding key changed the shown channel's worms (the frozen worm
// 0 never changes; worm 1 is audible, so mate leaves it alone too).
struct TBreedingKey {
    Qt::Key Key;
    Qt::KeyboardModifiers Modifiers;
    bool Breeds;
};

TEST_F(MainWindowTest, KeypadOperatorsAndTheirStandInsBreedOnlyWithoutModifiers)
{
    const TBreedingKey keys[] = {
        {Qt::Key_Minus, Qt::KeypadModifier, true},    {Qt::Key_Insert, Qt::NoModifier, true},
        {Qt::Key_Plus, Qt::KeypadModifier, true},     {Qt::Key_Execute, Qt::NoModifier, true},
        {Qt::Key_Slash, Qt::KeypadModifier, true},    {Qt::Key_Help, Qt::NoModifier, true},
        {Qt::Key_Period, Qt::KeypadModifier, true},   {Qt::Key_Delete, Qt::NoModifier, true},
        {Qt::Key_Minus, Qt::NoModifier, false},       {Qt::Key_Plus, Qt::NoModifier, false},
        {Qt::Key_Slash, Qt::NoModifier, false},       {Qt::Key_Period, Qt::NoModifier, false},
        {Qt::Key_Plus, Qt::KeypadModifier | Qt::ShiftModifier, false},
        {Qt::Key_Minus, Qt::KeypadModifier | Qt::ControlModifier, false},
        {Qt::Key_Insert, Qt::AltModifier, false},
    };
    QTest::keyClick(Form.get(), Qt::Key_B, Qt::AltModifier);
    Panel(1)->SetAudible(1);
    for (const TBreedingKey& key : keys) {
        const auto before = AllGenomes();
        // Without text: the test library knows no character for Execute and Help.
        QTest::sendKeyEvent(QTest::Click, Form.get(), key.Key, QString(), key.Modifiers);
        const auto after = AllGenomes();
        EXPECT_EQ(after[1] != before[1], key.Breeds) << key.Key << " " << key.Modifiers;
        EXPECT_EQ(after[1][0], before[1][0]) << "the frozen worm stays";
        for (int channel : {0, 2, 3})
            EXPECT_EQ(after[channel], before[channel]) << "channel " << channel;
    }
}

TEST_F(MainWindowTest, EachBreedingKeyRunsItsOwnOperation)
{
    Panel(0)->SetAudible(1);
    auto before = Genomes(Panel(0));
    QTest::keyClick(Form.get(), Qt::Key_Plus, Qt::KeypadModifier);
    auto after = Genomes(Panel(0));
    EXPECT_EQ(after[1], before[1]) << "mate keeps both parents";
    EXPECT_NE(after[2], before[2]);

    before = after;
    QTest::keyClick(Form.get(), Qt::Key_Period, Qt::KeypadModifier);
    after = Genomes(Panel(0));
    EXPECT_NE(after[1], before[1]) << "morph moves the audible worm";
    EXPECT_EQ(after[2], before[2]) << "morph touches no other worm";

    before = after;
    QTest::keyClick(Form.get(), Qt::Key_Minus, Qt::KeypadModifier);
    after = Genomes(Panel(0));
    EXPECT_NE(after[1], before[1]);
    EXPECT_NE(after[15], before[15]);
}

TEST_F(MainWindowTest, AnActingKeyNeverReachesTheFocusedControl)
{
    auto* spin = Find<QSpinBox>("SpinEditCrossoverProb");
    spin->setFocus();
    ASSERT_TRUE(spin->hasFocus());
    QTest::keyClick(spin, Qt::Key_Up);
    EXPECT_EQ(spin->value(), 33);
    EXPECT_EQ(Panel(0)->Audible(), 15);
    QTest::keyClick(spin, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(spin->value(), 33);
    EXPECT_EQ(Panel(0)->Frozen(), 4);

    // A key the window leaves alone does reach the control.
    QTest::keyClick(spin, Qt::Key_Up, Qt::ControlModifier);
    EXPECT_GT(spin->value(), 33);
    EXPECT_EQ(Panel(0)->Audible(), 15);
}

TEST_F(MainWindowTest, SpinControlsTakeNoTypingAndSetAllFourPanels)
{
    struct TSpin {
        const char* Name;
        int (TWormPanel::*Value)() const;
        int Start;
    };
    const TSpin spins[] = {
        {"SpinEditCrossoverProb", &TWormPanel::CrossOverProbability, 33},
        {"SpinEditMutationProb", &TWormPanel::MutationProbability, 50},
        {"SpinEditMutationRange", &TWormPanel::MutationRange, 5},
    };
    for (const TSpin& spin : spins) {
        auto* control = Find<QSpinBox>(spin.Name);
        EXPECT_EQ(control->value(), spin.Start);
        control->setFocus();
        QTest::keyClicks(control, "9");
        EXPECT_EQ(control->value(), spin.Start) << spin.Name << " takes no typing";
        control->stepUp();
        control->stepUp();
        for (int channel = 0; channel < 4; ++channel)
            EXPECT_EQ((Panel(channel)->*spin.Value)(), spin.Start + 2) << spin.Name << " channel " << channel;
        control->stepDown();
        EXPECT_EQ((Panel(3)->*spin.Value)(), spin.Start + 1);
        EXPECT_EQ(Panel(3)->Worms(7)->MutationRange(), Panel(3)->MutationRange()) << "reaches the worms";
    }
}

TEST_F(MainWindowTest, TheAutoTimeControlStepsTheAutomationPeriod)
{
    auto* spin = Find<QSpinBox>("SpineditAutoInterval");
    auto* timer = Find<QTimer>("TimerAuto");
    spin->stepUp();
    EXPECT_EQ(Form->Automation().Interval(), 800);
    EXPECT_EQ(timer->interval(), 800);
    Form->Automation().SetInterval(1234);
    EXPECT_EQ(spin->value(), 1234);
    EXPECT_EQ(timer->interval(), 1234);
    Form->Automation().SetInterval(100);
    EXPECT_EQ(Form->Automation().Interval(), 600);
    EXPECT_EQ(spin->value(), 600);
    // The control already shows 600 here and reports no change: the window
    // must confine the period itself, or 0 would make the timer spin.
    Form->Automation().SetInterval(0);
    EXPECT_EQ(Form->Automation().Interval(), 600);
    EXPECT_EQ(timer->interval(), 600);
    Form->Automation().SetInterval(-5);
    EXPECT_EQ(timer->interval(), 600);
    Form->Automation().SetInterval(500000);
    EXPECT_EQ(Form->Automation().Interval(), 120000);
    EXPECT_EQ(spin->value(), 120000);
}

TEST_F(MainWindowTest, ActivatingAChannelReportsItsAudibleWormAtOnceAndReleasingSendsNothing)
{
    Panel(1)->SetAudible(6);
    Form->Reports.clear();
    auto* showB = Find("SpeedButtonChActiveB");
    QTest::mouseClick(showB, Qt::LeftButton);
    EXPECT_TRUE(showB->isChecked());
    EXPECT_TRUE(Form->Automation().ActiveChannels().Contains(1));
    EXPECT_FALSE(Form->Automation().ActiveChannels().Contains(0));
    ASSERT_EQ(Form->Reports.size(), 1u);
    EXPECT_EQ(Form->Reports[0].Channel, 1);
    EXPECT_EQ(Form->Reports[0].Genes, Genome(Panel(1)->Worms(6)));

    QTest::mouseClick(showB, Qt::LeftButton);
    EXPECT_FALSE(Form->Automation().ActiveChannels().Contains(1));
    EXPECT_EQ(Form->Reports.size(), 1u);

    Click("SpeedButtonChActiveD");
    Click("SpeedButtonChActiveA");
    EXPECT_EQ(Form->ReportedChannels(), (std::vector<int>{1, 3, 0}));
    EXPECT_TRUE(Form->Automation().ActiveChannels().Contains(0) && Form->Automation().ActiveChannels().Contains(3));
}

TEST_F(MainWindowTest, OperationButtonsBreedTheChannelShownWhetherActiveOrNot)
{
    QTest::keyClick(Form.get(), Qt::Key_C, Qt::AltModifier);
    Panel(2)->SetAudible(5);
    struct TOperation {
        const char* Button;
        int ChangedWorm;
        int KeptWorm;
    };
    // Randomize and mutate keep only the frozen worm 0; mate keeps both parents.
    const TOperation operations[] = {
        {"SpeedButtonRandomize", 5, 0},
        {"SpeedButtonMate", 9, 5},
        {"SpeedButtonMutate", 5, 0},
    };
    for (const TOperation& operation : operations) {
        const auto before = AllGenomes();
        Click(operation.Button);
        const auto after = AllGenomes();
        EXPECT_NE(after[2][operation.ChangedWorm], before[2][operation.ChangedWorm]) << operation.Button;
        EXPECT_EQ(after[2][operation.KeptWorm], before[2][operation.KeptWorm]) << operation.Button;
        EXPECT_EQ(after[0], before[0]);
        EXPECT_EQ(after[1], before[1]);
        EXPECT_EQ(after[3], before[3]);
    }
}

TEST_F(MainWindowTest, AFailingActionShowsItsMessageAndTheWindowGoesOn)
{
    Click("SpeedButtonChActiveA");
    Panel(0)->SetAudible(2);
    Form->FailingChannel = 0;
    Form->Reports.clear();
    QTest::keyClick(Form.get(), Qt::Key_Right);
    EXPECT_EQ(Dialogs.Errors, QStringList{"Syntax error in rule"});
    EXPECT_EQ(Panel(0)->Audible(), 3);
    Click("SpeedButtonMutate");
    EXPECT_EQ(Dialogs.Errors.size(), 2);
    Form->FailingChannel = -1;
    QTest::keyClick(Form.get(), Qt::Key_Right);
    EXPECT_EQ(Panel(0)->Audible(), 4);
    EXPECT_EQ(Dialogs.Errors.size(), 2);
}

TEST_F(MainWindowTest, HelpEntriesShowTheirWindowsWithoutBlocking)
{
    TFormRuleHelp help;
    TFormAbout about;
    FormRuleHelp = &help;
    FormAbout = &about;
    Find<QAction>("MenuRuleSyntaxHelp")->trigger();
    Find<QAction>("MenuAbout")->trigger();
    EXPECT_TRUE(help.isVisible());
    EXPECT_TRUE(about.isVisible());
    EXPECT_FALSE(help.isModal() || about.isModal());
    FormRuleHelp = nullptr;
    FormAbout = nullptr;
}

TEST_F(MainWindowTest, TheRulesEditorMayRefuseTheClose)
{
    TFormTranslate editor;
    FormTranslate = &editor;
    editor.SetModified(true);
    QSignalSpy closed(Form.get(), &TFormMain::Closed);
    Dialogs.Answers = {TQueryAnswer::Cancel};
    Form->close();
    EXPECT_TRUE(Form->isVisible());
    EXPECT_EQ(closed.count(), 0);
    EXPECT_EQ(Dialogs.Questions.size(), 1);
    Dialogs.Answers = {TQueryAnswer::No};
    QTest::keyClick(Form.get(), Qt::Key_X, Qt::AltModifier);
    EXPECT_FALSE(Form->isVisible());
    EXPECT_EQ(closed.count(), 1);
    FormTranslate = nullptr;
}

TEST_F(MainWindowTest, NothingIsSentWhileTheOutputIsClosed)
{
    ASSERT_NE(Form->Midi().Output(), nullptr);
    EXPECT_FALSE(Form->Midi().Output()->IsOpen());
    Form->Midi().SendToMidiOut({0xB0, 0x05, 0x40});
    EXPECT_TRUE(Midi.Sent().empty());
    EXPECT_EQ(Find<QFrame>("PanelMidi")->palette().color(QPalette::Window), QColor(0x80, 0x80, 0x80));
}

TEST(MainWindowStart, TheFirstPopulationIsTheSameOnEveryStart)
{
    TScriptedDialogs dialogs;
    TScopedDialogs scoped(dialogs);
    TScriptedMidiBinding midi;
    TScopedMidiBinding scopedMidi(&midi);
    std::vector<std::vector<TGenome>> starts[2];
    for (auto& population : starts) {
        RandSeed(0);
        TFormMain form;
        // The about window comes next and seeds the generator; what the main
        // window drew before must not depend on it.
        TFormAbout about;
        for (int channel = 0; channel < 4; ++channel)
            population.push_back(Genomes(form.WormPanel(channel)));
    }
    EXPECT_EQ(starts[0], starts[1]);
    EXPECT_NE(starts[0][0], starts[0][1]) << "the channels are not copies of each other";
}

} // namespace
} // namespace zw::test
