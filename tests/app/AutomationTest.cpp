// The automation buttons, the period and the ticks.
#include "MainWindowFixture.h"

#include <QTimer>

#include <string>

namespace zw::test {
namespace {

const char* const kRows[] = {"SpeedButtonAutoRandomize", "SpeedButtonAutoMate", "SpeedButtonAutoMutate",
                             "SpeedButtonAutoBreedFromRated"};

class AutomationTest : public MainWindowTest {
protected:
    QToolButton* ModeButton(int row, int channel) const
    {
        const std::string name = kRows[row] + std::string(1, char('A' + channel));
        return Find(name.c_str());
    }

    void ClickMode(int row, int channel) { QTest::mouseClick(ModeButton(row, channel), Qt::LeftButton); }

    // Per channel: 0 none, 1 randomize, 2 mate, 3 mutate, 4 breed from the
    // rated, from the buttons.
    std::vector<int> ButtonModes() const
    {
        std::vector<int> modes;
        for (int channel = 0; channel < 4; ++channel) {
            int mode = 0;
            for (int row = 0; row < 4; ++row) {
                if (!ModeButton(row, channel)->isChecked())
                    continue;
                EXPECT_EQ(mode, 0) << "two buttons down for channel " << channel;
                mode = row + 1;
            }
            modes.push_back(mode);
        }
        return modes;
    }

    // The same from the window's mode sets.
    std::vector<int> SetModes() const
    {
        std::vector<int> modes;
        for (int channel = 0; channel < 4; ++channel) {
            const int mode = Form->Automation().Modes(TAutomation::TMode::Randomize).Contains(channel)   ? 1
                             : Form->Automation().Modes(TAutomation::TMode::Mate).Contains(channel)      ? 2
                             : Form->Automation().Modes(TAutomation::TMode::Mutate).Contains(channel)    ? 3
                             : Form->Automation().Modes(TAutomation::TMode::BreedFromRated).Contains(channel) ? 4
                                                                       : 0;
            const int memberships = int(Form->Automation().Modes(TAutomation::TMode::Randomize).Contains(channel)) +
                                    int(Form->Automation().Modes(TAutomation::TMode::Mate).Contains(channel)) + int(Form->Automation().Modes(TAutomation::TMode::Mutate).Contains(channel)) +
                                    int(Form->Automation().Modes(TAutomation::TMode::BreedFromRated).Contains(channel));
            EXPECT_LE(memberships, 1) << "channel " << channel << " in two mode sets";
            modes.push_back(mode);
        }
        return modes;
    }

    void Activate(std::initializer_list<int> channels)
    {
        for (int channel : channels)
            QTest::mouseClick(Find(("SpeedButtonChActive" + std::string(1, char('A' + channel))).c_str()),
                              Qt::LeftButton);
    }

    // The audible worm apart from the frozen one, so that randomize and
    // mutate change what is heard.
    void SeparateAudible()
    {
        for (int channel = 0; channel < 4; ++channel)
            Panel(channel)->SetAudible(1);
        Form->Reports.clear();
    }

    QTimer* TimerAuto() const { return Find<QTimer>("TimerAuto"); }
};

TEST_F(AutomationTest, AtMostOneModePerChannelAndAllMayBeUp)
{
    ClickMode(0, 0);
    EXPECT_EQ(ButtonModes(), (std::vector<int>{1, 0, 0, 0}));
    EXPECT_TRUE(TimerAuto()->isActive());
    ClickMode(2, 1);
    ClickMode(1, 0); // mate A releases randomize A, leaves B alone
    EXPECT_EQ(ButtonModes(), (std::vector<int>{2, 3, 0, 0}));
    EXPECT_EQ(SetModes(), ButtonModes());
    ClickMode(0, 1);
    ClickMode(2, 1);
    ClickMode(2, 3);
    EXPECT_EQ(ButtonModes(), (std::vector<int>{2, 3, 0, 3}));
    EXPECT_EQ(SetModes(), ButtonModes());

    ClickMode(3, 3); // breeding from the rated D releases mutate D
    EXPECT_EQ(SetModes(), (std::vector<int>{2, 3, 0, 4}));
    ClickMode(2, 3);

    ClickMode(1, 0);
    ClickMode(2, 1);
    EXPECT_EQ(SetModes(), (std::vector<int>{0, 0, 0, 3}));
    EXPECT_TRUE(TimerAuto()->isActive());
    ClickMode(2, 3); // the last mode released stops the timer
    EXPECT_EQ(ButtonModes(), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_FALSE(Form->Automation().Active());
    EXPECT_FALSE(TimerAuto()->isActive());
}

TEST_F(AutomationTest, ATickBreedsOnlyActiveChannelsInTheirModesFromAToD)
{
    Activate({0, 1, 3});
    SeparateAudible();
    ClickMode(0, 0); // A randomize
    ClickMode(2, 1); // B mutate
    ClickMode(0, 2); // C randomize, but C is not active
    ClickMode(1, 3); // D mate: the audible worm stays, so nothing is heard
    const auto before = AllGenomes();
    Form->Automation().TimerAutoTimer();
    const auto after = AllGenomes();
    EXPECT_EQ(Form->ReportedChannels(), (std::vector<int>{0, 1}));
    EXPECT_NE(after[0][1], before[0][1]);
    EXPECT_NE(after[1][1], before[1][1]);
    EXPECT_EQ(after[2], before[2]) << "an inactive channel is not bred";
    EXPECT_EQ(after[3][1], before[3][1]);
    EXPECT_NE(after[3][7], before[3][7]) << "mate fills the rest of the grid";
}

TEST_F(AutomationTest, ATickWithAllChannelsMutatingGoesAThenBThenCThenD)
{
    // Activate and choose modes in another order than the tick's.
    Activate({3, 1, 2, 0});
    SeparateAudible();
    for (int channel : {2, 0, 3, 1})
        ClickMode(2, channel);
    QTest::keyClick(Form.get(), Qt::Key_C, Qt::AltModifier); // the tab shown plays no part
    Form->Automation().TimerAutoTimer();
    EXPECT_EQ(Form->ReportedChannels(), (std::vector<int>{0, 1, 2, 3}));
    for (const auto& report : Form->Reports)
        EXPECT_EQ(report.Genes, Genome(Panel(report.Channel)->Worms(1)));
}

// Installed in place of `previous` while it lives. The first error box stays
// open for 1.5 s, running its own event loop as a modal box does.
class TLingeringErrorDialogs : public TScriptedDialogs {
public:
    explicit TLingeringErrorDialogs(IDialogs& previous) : FPrevious(previous) { SetDialogs(this); }
    ~TLingeringErrorDialogs() override { SetDialogs(&FPrevious); }
    void ShowError(const QString& text) override
    {
        TScriptedDialogs::ShowError(text);
        if (Errors.size() == 1)
            QTest::qWait(1500);
    }

private:
    IDialogs& FPrevious;
};

TEST_F(AutomationTest, TheTimerTicksAtItsPeriodAndAFailingTickLeavesItRunning)
{
    TLingeringErrorDialogs lingering(Dialogs);
    Activate({0, 1, 2});
    SeparateAudible();
    for (int channel : {0, 1, 2})
        ClickMode(2, channel);
    Form->FailingChannel = 1;
    const auto before = AllGenomes();
    Form->Automation().SetInterval(600);
    // Wait for the first real tick.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !lingering.Errors.isEmpty(); }, 5000));
    EXPECT_EQ(lingering.Errors, QStringList{"Syntax error in rule"}) << "no tick while the box was open";
    EXPECT_EQ(Form->ReportedChannels(), (std::vector<int>{0, 1})) << "the rest of the tick is skipped";
    EXPECT_EQ(Genomes(Panel(2)), before[2]);
    EXPECT_TRUE(TimerAuto()->isActive());
    ASSERT_TRUE(QTest::qWaitFor([&] { return lingering.Errors.size() >= 2; }, 5000)) << "the next tick comes";
}

TEST_F(AutomationTest, ATickWithoutAnyModeStopsTheTimer)
{
    ClickMode(1, 2);
    ASSERT_TRUE(TimerAuto()->isActive());
    // Modes can vanish without a button (the settings file fills the sets too);
    // here the button is released the ordinary way and the timer restarted.
    ClickMode(1, 2);
    TimerAuto()->start();
    Form->Automation().TimerAutoTimer();
    EXPECT_FALSE(TimerAuto()->isActive());
}

TEST_F(AutomationTest, ChangingThePeriodRestartsTheCount)
{
    Activate({0});
    SeparateAudible();
    ClickMode(0, 0);
    Form->Automation().SetInterval(600);
    QTest::qWait(450);
    Form->Automation().SetInterval(1500);
    // The old period would have ticked 150 ms from here; the new one ticks
    // a full 1500 ms after the change.
    QTest::qWait(600);
    EXPECT_TRUE(Form->Reports.empty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Form->Reports.empty(); }, 3000));
}

} // namespace
} // namespace zw::test
