// The main window with its settings file, its MIDI devices (scripted) and the
// rules editor: what is read at start, sent on a change and written at close.
#include "app/FirstSteps.h"
#include "ui/Forms.h"
#include "app/GeneTranslation.h"
#include "ui/InstrumentBreeders.h"
#include "ui/FrmMain.h"
#include "ui/MidiDevices.h"
#include "ui/Automation.h"
#include "ui/AuditionControl.h"
#include "ui/SoundControl.h"
#include "ui/KeptBreeders.h"
#include "app/IniFile.h"
#include "ui/StatusLine.h"
#include "common/Globals.h"
#include "common/Random.h"
#include "common/SafeFile.h"
#include "midi/FrmMidDlg.h"
#include "midi/MidiIn.h"
#include "audio/Lv2Instrument.h"
#include "audio/OfflineRender.h"
#include "audio/SynthInstrument.h"
#include "midi/MidiOut.h"
#include "midi/MidiSplitter.h"
#include "midi/SynthBinding.h"
#include "rules/FrmTranslat.h"
#include "rules/Substitution.h"
#include "support/OfflineSynth.h"
#include "support/PrivateJackServer.h"
#include "support/ScriptedDialogs.h"
#include "support/MidiTestSupport.h"
#include "support/ScriptedMidiBinding.h"
#include "worms/BreederFile.h"
#include "worms/Gene.h"
#include "worms/GeneView.h"
#include "ui/GeneControls.h"
#include "worms/Worm.h"
#include "worms/WormPanel.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScreen>
#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <optional>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include <unistd.h>

using namespace zw;

namespace {

const char* kDefaultRule = "4(CC) 4(%1) 1(0) 7(%2) 1(0) 7(%3)";

class MainIntegrationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Folder.isValid());
        SetProgramPath(Folder.path().toStdString());
        TSubstitution rules;
        rules.SetCount(120);
        for (int i = 0; i < 120; ++i) {
            rules.SetRule(i, kDefaultRule);
            rules.SetActive(i, true);
        }
        rules.SaveToFile(ProgramPath() + "default.sub");
        Midi.OutDevices = {"Synth One", "Synth Two"};
        Midi.InDevices = {"Keyboard"};
        RandSeed(0);
    }

    void TearDown() override
    {
        FormMain = nullptr;
        FormMidiDialog = nullptr;
        FormTranslate = nullptr;
    }

    void WriteSettings(const std::string& text) { WriteFileAtomically(IniFileName(), text); }
    std::string SettingsText() const { return ReadWholeFile(IniFileName()); }

    // The program start in its order: main window, dialog, rules editor, shown.
    void Start()
    {
        Form = std::make_unique<TFormMain>();
        FormMain = Form.get();
        Dialog = std::make_unique<TFormMidiDialog>();
        FormMidiDialog = Dialog.get();
        Editor = std::make_unique<TFormTranslate>();
        FormTranslate = Editor.get();
        Form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
    }

    // Answers the next modal MIDI dialog with Ok or Cancel after choosing an output.
    void AnswerMidiDialog(bool ok, const QString& output)
    {
        QTimer::singleShot(0, [this, ok, output] {
            auto* outputs = Dialog->findChild<QComboBox*>("ComboBoxOutputs");
            ASSERT_NE(outputs, nullptr);
            outputs->setCurrentIndex(outputs->findText(output));
            Dialog->SetOutChannel(0, 9);
            QTest::mouseClick(Dialog->findChild<QToolButton*>(ok ? "SpeedButtonOk" : "SpeedButtonCancel"),
                              Qt::LeftButton);
        });
    }

    std::vector<std::vector<uint8_t>> LongMessages() const
    {
        std::vector<std::vector<uint8_t>> messages;
        for (const auto& sent : Midi.Sent())
            if (sent.Long)
                messages.push_back(sent.Bytes);
        return messages;
    }

    QTemporaryDir Folder;
    TScriptedDialogs Dialogs;
    TScopedDialogs ScopedDialogs{Dialogs};
    TScriptedMidiBinding Midi;
    TScopedMidiBinding ScopedMidi{&Midi};
    std::unique_ptr<TFormMain> Form;
    std::unique_ptr<TFormMidiDialog> Dialog;
    std::unique_ptr<TFormTranslate> Editor;
};

TEST_F(MainIntegrationTest, AFirstStartUsesTheDefaultsAndItsCloseWritesThem)
{
    Start();
    EXPECT_EQ(Form->Automation().Interval(), 700);
    EXPECT_TRUE(Form->Automation().ActiveChannels().Contains(0));
    EXPECT_FALSE(Form->Automation().ActiveChannels().Contains(1));
    // The built-in synthesizer is not offered here: it cannot open.
    EXPECT_FALSE(Form->Midi().OutOpen());
    EXPECT_FALSE(Form->Midi().InOpen());
    // Showing the window loaded the fallback rule file.
    EXPECT_EQ(Editor->FileName(), ProgramPath() + "default.sub");
    EXPECT_EQ(Editor->Substitution().Count(), 120);

    Form->close();
    const std::string text = SettingsText();
    EXPECT_EQ(text.rfind("[Position]\r\nLeft=", 0), 0u) << text;
    for (const char* line : {"CrossoverProbability=33\r\n", "MutationProbability=50\r\n", "MutationRange=5\r\n",
                             "AutoInterval=700\r\n", "ChannelActiveA=1\r\nChannelActiveB=0\r\n", "AutoMutateD=0\r\n",
                             "[Midi]\r\nMidiIn=\r\nMidiOut=\r\nInChannelA=0\r\n", "OutChannelD=3\r\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    EXPECT_NE(text.find("[Translations]\r\nFileName=" + ProgramPath() + "default.sub\r\n"), std::string::npos);
    EXPECT_TRUE(Dialogs.Errors.isEmpty());
}

TEST_F(MainIntegrationTest, SettingsAreReadIntoTheWindowAndUnknownKeysSurviveTheClose)
{
    WriteSettings("[Extra]\r\nKeep=me\r\n"
                  "[settings]\r\nchannelactiveb=1\r\nAutoMutateB=5\r\nAutoInterval=0x3E8\r\n"
                  "CrossoverProbability=150\r\nMutationRange=$10\r\nAutoRandomizeA=1\r\nAutoMateA=1\r\n"
                  "Remark=hand made\r\n"
                  "[Midi]\r\nMidiOut=Synth Two\r\nMidiIn=Missing keyboard\r\nOutChannelB=7\r\nInChannelC=4\r\n");
    Start();

    EXPECT_TRUE(Form->Automation().ActiveChannels().Contains(1));
    EXPECT_FALSE(Form->Automation().ActiveChannels().Contains(0));
    EXPECT_TRUE(Form->Automation().Modes(TAutomation::TMode::Mutate).Contains(1));
    EXPECT_TRUE(Form->Automation().Modes(TAutomation::TMode::Randomize).Contains(0));
    EXPECT_TRUE(Form->Automation().Modes(TAutomation::TMode::Mate).Contains(0));
    // Both modes of A are kept, but only the later row's button shows down.
    EXPECT_FALSE(Form->findChild<QToolButton*>("SpeedButtonAutoRandomizeA")->isChecked());
    EXPECT_TRUE(Form->findChild<QToolButton*>("SpeedButtonAutoMateA")->isChecked());
    EXPECT_TRUE(Form->findChild<QToolButton*>("SpeedButtonChActiveB")->isChecked());
    EXPECT_EQ(Form->Automation().Interval(), 1000);
    for (int channel = 0; channel < 4; ++channel) {
        EXPECT_EQ(Form->WormPanel(channel)->CrossOverProbability(), 100) << channel;
        EXPECT_EQ(Form->WormPanel(channel)->MutationRange(), 16) << channel;
    }
    EXPECT_EQ(Form->findChild<QSpinBox*>("SpinEditCrossoverProb")->value(), 100);
    EXPECT_EQ(Form->Midi().OutChannel(1), 7);
    EXPECT_EQ(Form->Midi().InChannel(2), 4);
    // The output device exists and is open; a missing input name is kept without a word.
    EXPECT_TRUE(Form->Midi().OutOpen());
    EXPECT_EQ(Form->Midi().OutName(), "Synth Two");
    EXPECT_EQ(Form->Midi().InName(), "Missing keyboard");
    // ...and the input is opened on the device it already held, the first one.
    EXPECT_TRUE(Form->Midi().InOpen());
    EXPECT_EQ(Form->Midi().Input()->ProductName(), "Keyboard");
    EXPECT_TRUE(Dialogs.Messages.isEmpty());

    Form->close();
    const std::string text = SettingsText();
    EXPECT_NE(text.find("[Extra]\r\nKeep=me\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Remark=hand made\r\n"), std::string::npos);
    EXPECT_NE(text.find("AutoMutateB=1\r\n"), std::string::npos);
    EXPECT_NE(text.find("AutoInterval=1000\r\n"), std::string::npos);
    EXPECT_NE(text.find("CrossoverProbability=100\r\n"), std::string::npos);
    EXPECT_NE(text.find("MidiIn=Missing keyboard\r\n"), std::string::npos);
    EXPECT_NE(text.find("MidiOut=Synth Two\r\n"), std::string::npos);
}

TEST_F(MainIntegrationTest, AMissingOutputDeviceIsReportedAndWrittenBackEmpty)
{
    WriteSettings(std::string("[Midi]\r\nMidiOut=Unplugged\0synth\r\n", 33));
    Start();
    EXPECT_FALSE(Form->Midi().OutOpen());
    EXPECT_TRUE(Form->Midi().OutName().isEmpty());
    ASSERT_EQ(Dialogs.Messages.size(), 1);
    EXPECT_TRUE(Dialogs.Messages[0].startsWith("Could not open midi out port : ")) << Dialogs.Messages[0].toStdString();
    // A control character in a name is shown escaped, never cutting the text short.
    EXPECT_TRUE(Dialogs.Messages[0].endsWith("\"Unplugged\\x00synth\" is not installed"))
        << Dialogs.Messages[0].toStdString();
    Form->close();
    EXPECT_NE(SettingsText().find("MidiOut=\r\n"), std::string::npos);
}

TEST_F(MainIntegrationTest, ASettingsFileThatCannotBeWrittenIsReportedAndTheWindowStillCloses)
{
    Start();
    // A folder in the file's place: no rename can replace it, not even as root.
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(IniFileName())));
    Form->close();
    EXPECT_FALSE(Form->isVisible());
    ASSERT_EQ(Dialogs.Errors.size(), 1);
    EXPECT_EQ(Dialogs.Errors[0], QString::fromStdString("Unable to write to " + IniFileName() + ": a folder, not a file"));
}

TEST_F(MainIntegrationTest, AStartRemovesLeftoverSavesAndAnUnreadableRulesFileIsOneBoxWhoseNameTheSettingsKeep)
{
    const std::string rules = ProgramPath() + "my\x01rules.sub";
    ASSERT_TRUE(std::filesystem::create_directory(rules));
    WriteSettings("[Midi]\r\nMidiOut=\r\n[Translations]\r\nFileName=" + rules + "\r\n");
    for (const char* suffix : {".zwtmp.Ab3dE9", ".Live01", ".backup"})
        WriteFileAtomically(IniFileName() + suffix, "[Position]\r\n");
    WriteFileAtomically(TKeptBreeders::FileName() + ".zwtmp.x0Y1z2", "");
    WriteFileAtomically(TKeptBreeders::FileName() + ".Take01", "");
    Start();
    EXPECT_FALSE(std::filesystem::exists(IniFileName() + ".zwtmp.Ab3dE9"));
    EXPECT_FALSE(std::filesystem::exists(TKeptBreeders::FileName() + ".zwtmp.x0Y1z2"));
    // Files of the user's own, though their names look random.
    EXPECT_TRUE(std::filesystem::exists(IniFileName() + ".Live01"));
    EXPECT_TRUE(std::filesystem::exists(TKeptBreeders::FileName() + ".Take01"));
    EXPECT_TRUE(std::filesystem::exists(IniFileName() + ".backup"));

    ASSERT_EQ(Dialogs.Errors.size(), 1);
    EXPECT_EQ(Dialogs.Errors[0].toStdString(),
              "Cannot read \"" + ProgramPath() + "my\\x01rules.sub\": a folder, not a file");
    EXPECT_EQ(Editor->Substitution().Rule(0), kDefaultRule) << "this run uses default.sub";
    Form->close();
    EXPECT_NE(SettingsText().find("FileName=" + rules + "\r\n"), std::string::npos);
}

TEST_F(MainIntegrationTest, ASettingsFileThatCannotBeReadIsReportedAndLeftAlone)
{
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(IniFileName()))); // unreadable even for root
    Start();
    EXPECT_EQ(Form->Automation().Interval(), 700);
    ASSERT_EQ(Dialogs.Errors.size(), 1);
    EXPECT_EQ(Dialogs.Errors[0].toStdString(),
              "The settings file \"" + IniFileName() + "\" could not be read: a folder, not a file. The program "
              "starts with default settings and leaves that file as it is.");
    Form->close();
    EXPECT_EQ(Dialogs.Errors.size(), 1) << "nothing is written, so nothing fails";
}

TEST_F(MainIntegrationTest, StoredBoundsFitTheScreenNamesKeepTheirBytesAndABadValueIsSkipped)
{
    WriteSettings("[Position]\r\nLeft=-9000\r\nTop=2000000\r\nWidth=2147483647\r\nHeight=2147483647\r\n"
                  "[Midi]\r\nMidiIn=Keys \xFF\r\n");
    Start();
    // Position and size as stored (the frame comes from the window system).
    EXPECT_TRUE(Form->screen()->availableGeometry().contains(QRect(Form->pos(), Form->size())));
    Editor->SetFileName(ProgramPath() + "line\nbreak.sub");
    Form->close();
    EXPECT_EQ(Dialogs.Errors, QStringList{"The setting FileName cannot hold a line break; it was not saved"});
    const TIniFile written = TIniFile::Load(IniFileName());
    EXPECT_EQ(written.ReadInteger("Position", "Width", 0), Form->width());
    EXPECT_EQ(written.ReadString("Midi", "MidiIn", ""), "Keys \xFF");
}

TEST_F(MainIntegrationTest, CancellingTheMidiDialogChangesNothing)
{
    Start();
    AnswerMidiDialog(false, "Synth One");
    Form->Midi().SettingsClick();
    EXPECT_FALSE(Form->Midi().OutOpen());
    EXPECT_TRUE(Form->Midi().OutName().isEmpty());
    EXPECT_EQ(Form->Midi().OutChannel(0), 0);
    EXPECT_EQ(Midi.OpenDeviceCount(), 0u);
}

TEST_F(MainIntegrationTest, ChoosingAnOutputMakesBreedingSoundInGeneOrder)
{
    WriteSettings("[Midi]\r\nMidiOut=\r\n"); // no output and no channel active
    Start();
    AnswerMidiDialog(true, "Synth One");
    Form->Midi().SettingsClick();
    ASSERT_TRUE(Form->Midi().OutOpen());
    EXPECT_EQ(Form->Midi().OutName(), "Synth One");
    EXPECT_EQ(Form->Midi().OutChannel(0), 9);

    // An inactive channel sends nothing, whatever happens to its worms.
    Midi.ClearRecords();
    QTest::keyClick(Form.get(), Qt::Key_Right);
    EXPECT_TRUE(LongMessages().empty());

    // Switching A on sends its audible worm at once: 120 control changes on channel 9.
    QTest::mouseClick(Form->findChild<QToolButton*>("SpeedButtonChActiveA"), Qt::LeftButton);
    const TWorm* audible = Form->WormPanel(0)->Worms(Form->WormPanel(0)->Audible());
    auto messages = LongMessages();
    ASSERT_EQ(messages.size(), 120u);
    for (int i = 0; i < 120; ++i)
        EXPECT_EQ(messages[static_cast<size_t>(i)],
                  (std::vector<uint8_t>{0xB9, static_cast<uint8_t>(i),
                                        static_cast<uint8_t>(audible->Gene().Genes(i) & 0x7F)}))
            << "gene " << i;
    EXPECT_EQ(Form->findChild<QFrame*>("PanelMidi")->palette().color(QPalette::Window), QColor(0, 0, 255));

    // Mate changes neither the audible nor the frozen worm: nothing is sent.
    Midi.ClearRecords();
    QTest::mouseClick(Form->findChild<QToolButton*>("SpeedButtonMate"), Qt::LeftButton);
    EXPECT_TRUE(LongMessages().empty());
    // Releasing the channel sends nothing either.
    QTest::mouseClick(Form->findChild<QToolButton*>("SpeedButtonChActiveA"), Qt::LeftButton);
    QTest::keyClick(Form.get(), Qt::Key_Right);
    EXPECT_TRUE(LongMessages().empty());
    EXPECT_TRUE(Dialogs.Errors.isEmpty());
}

TEST_F(MainIntegrationTest, KeypadEnterTogglesBetweenTheLastTwoWormsAndEachToggleSendsTheGenome)
{
    WriteSettings("[Settings]\r\nChannelActiveA=1\r\n[Midi]\r\nMidiOut=Synth One\r\n");
    Start();
    ASSERT_TRUE(Form->Midi().OutOpen());
    TWormPanel* panel = Form->WormPanel(0);
    EXPECT_EQ(panel->Previous(), -1) << "a start has no B yet";
    QTest::keyClick(Form.get(), Qt::Key_Down); // worm 4
    for (const int heard : {0, 4, 0}) {
        Midi.ClearRecords();
        QTest::keyClick(Form.get(), Qt::Key_Enter, Qt::KeypadModifier);
        ASSERT_EQ(panel->Audible(), heard);
        EXPECT_TRUE(panel->Previous() == 4 - heard && panel->Worms(4 - heard)->MarkedB());
        EXPECT_FALSE(panel->Worms(heard)->MarkedB());
        std::vector<std::vector<uint8_t>> genome;
        for (int i = 0; i < 120; ++i)
            genome.push_back({0xB0, static_cast<uint8_t>(i),
                              static_cast<uint8_t>(panel->Worms(heard)->Gene().Genes(i) & 0x7F)});
        EXPECT_EQ(LongMessages(), genome) << "worm " << heard;
    }
    EXPECT_TRUE(Dialogs.Errors.isEmpty());
}

TEST_F(MainIntegrationTest, AFailingRuleEndsTheGenomeWithOneErrorAndTheWindowGoesOn)
{
    WriteSettings("[Settings]\r\nChannelActiveA=1\r\n[Midi]\r\nMidiOut=Synth One\r\n");
    Start();
    ASSERT_TRUE(Form->Midi().OutOpen());
    Editor->Substitution().SetRule(3, "8(1/0)");
    Midi.ClearRecords();
    QTest::keyClick(Form.get(), Qt::Key_Right);
    EXPECT_EQ(LongMessages().size(), 3u); // genes 0..2 went out before the failure
    ASSERT_EQ(Dialogs.Errors.size(), 1);
    EXPECT_EQ(Dialogs.Errors[0], "Division by zero");

    // The next change dispatches afresh; with the rule mended all 120 go out.
    Editor->Substitution().SetRule(3, kDefaultRule);
    Midi.ClearRecords();
    QTest::keyClick(Form.get(), Qt::Key_Right);
    EXPECT_EQ(LongMessages().size(), 120u);
}

// While automation runs, a failure that is no lost device comes back at every
// tick: it is counted in the status line instead of a box per tick. A lost
// device is told there once and the genomes wait for it.
TEST_F(MainIntegrationTest, AutomatedSendFailuresAreCountedInTheStatusLine)
{
    WriteSettings("[Settings]\r\nChannelActiveA=1\r\nAutoMutateA=1\r\nAutoInterval=600\r\n"
                  "[Midi]\r\nMidiOut=Synth One\r\n");
    Start();
    QTest::keyClick(Form.get(), Qt::Key_Right); // an audible worm that mutation changes
    Midi.Fail(TScriptedMidiBinding::TCall::OutLongMsg, MIDIERR_NOTREADY, -1);
    const auto status = [&] { return Form->StatusLine()->Message(TStatusTopic::Midi); };
    ASSERT_TRUE(QTest::qWaitFor([&] { return status().endsWith("(3 times)"); }, 5000)) << status().toStdString();
    EXPECT_TRUE(Dialogs.Errors.isEmpty()) << Dialogs.Errors.join('\n').toStdString();
    EXPECT_TRUE(Form->Midi().OutOpen());

    Midi.Fail(TScriptedMidiBinding::TCall::OutLongMsg, MIDIERR_NODEVICE, -1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Form->Midi().OutLost(); }, 3000));
    EXPECT_EQ(status().toStdString(), BindingText(MIDIERR_NODEVICE));
    EXPECT_TRUE(Dialogs.Errors.isEmpty()) << Dialogs.Errors.join('\n').toStdString();
}

// The kept breeders are written a short while after a breeding step, also
// while steps keep coming, so a crash loses at most that while; a signal's
// close writes without asking about unsaved rules.
TEST_F(MainIntegrationTest, BreedingIsKeptSoonAfterEachStepAndASignalsCloseAsksNothing)
{
    Start();
    const std::string file = TKeptBreeders::FileName();
    ASSERT_FALSE(std::filesystem::exists(file));
    QTest::mouseClick(Form->findChild<QToolButton*>("SpeedButtonRandomize"), Qt::LeftButton);
    EXPECT_FALSE(std::filesystem::exists(file)) << "written at once, not after a while";
    // Steps every 500 ms put the write off no longer than the while after the first.
    QElapsedTimer clock;
    clock.start();
    while (!std::filesystem::exists(file) && clock.elapsed() < 4000) {
        QTest::mouseClick(Form->findChild<QToolButton*>("SpeedButtonMutate"), Qt::LeftButton);
        QTest::qWait(500);
    }
    ASSERT_TRUE(std::filesystem::exists(file)) << "not written while steps kept coming";
    EXPECT_LT(clock.elapsed(), 3000);
    // What was kept is the breeders after the last step, not as some earlier request found them.
    const TBreederGenomes kept = ReadBreederFile(ReadWholeFile(file), kChannelCount, 16);
    for (TChannel c = 0; c < kChannelCount; ++c)
        for (int w = 0; w < 16; ++w)
            ASSERT_EQ(kept[static_cast<size_t>(c)][static_cast<size_t>(w)], Form->WormPanel(c)->Worms(w)->Gene())
                << "breeder " << c << " worm " << w;

    Editor->SetModified(true);
    Dialogs.Answers = {TQueryAnswer::Cancel};
    Form->CloseWithoutAsking();
    EXPECT_FALSE(Form->isVisible());
    EXPECT_EQ(Dialogs.Answers.size(), 1u) << "asked about the rules";
}

TEST_F(MainIntegrationTest, ClosingThePortDropsResultsSilently)
{
    WriteSettings("[Settings]\r\nChannelActiveA=1\r\n[Midi]\r\nMidiOut=Synth One\r\n");
    Start();
    // The start's genome lit the lamp; it goes out 250 ms later.
    auto* lamp = Form->findChild<QFrame*>("PanelMidi");
    ASSERT_TRUE(QTest::qWaitFor([&] { return lamp->palette().color(QPalette::Window) == QColor(0x80, 0x80, 0x80); }));
    Form->Midi().SetOutOpen(false);
    EXPECT_FALSE(Form->Midi().OutOpen());
    Midi.ClearRecords();
    QTest::keyClick(Form.get(), Qt::Key_Right);
    EXPECT_TRUE(LongMessages().empty());
    EXPECT_TRUE(Dialogs.Errors.isEmpty());
    EXPECT_EQ(Form->findChild<QFrame*>("PanelMidi")->palette().color(QPalette::Window), QColor(0x80, 0x80, 0x80));
}

TEST_F(MainIntegrationTest, ChannelsUseTheirOwnOutputChannel)
{
    WriteSettings("[Settings]\r\nChannelActiveB=1\r\nChannelActiveD=1\r\n"
                  "[Midi]\r\nMidiOut=Synth One\r\nOutChannelB=5\r\nOutChannelD=14\r\n");
    Start();
    // The start sends each active channel's audible worm, B then D, so it sounds as it was left.
    const auto started = LongMessages();
    ASSERT_EQ(started.size(), 240u);
    EXPECT_EQ(started[0][0], 0xB5);
    EXPECT_EQ(started[120][0], 0xBE);
    for (auto [tab, status] : {std::pair{1, 0xB5}, std::pair{3, 0xBE}}) {
        Form->findChild<QTabWidget*>("PageControl1")->setCurrentIndex(tab);
        Midi.ClearRecords();
        QTest::keyClick(Form.get(), Qt::Key_Down);
        const auto messages = LongMessages();
        ASSERT_EQ(messages.size(), 120u) << tab;
        EXPECT_EQ(messages[0][0], status) << tab;
    }
}

TEST_F(MainIntegrationTest, AuditionPlaysTheActiveChannelsAndEndsItsNotesOnEveryStop)
{
    WriteSettings("[Settings]\r\nChannelActiveA=1\r\n[Midi]\r\nMidiOut=Synth One\r\nOutChannelA=4\r\n"
                  "MidiIn=Keyboard\r\nInChannelA=2\r\n[Audition]\r\nNotes=50, x, 200,62\r\nPeriod=60000\r\nLength=99999\r\n");
    Start();
    auto* button = Form->findChild<QToolButton*>("SpeedButtonAudition");
    ASSERT_NE(button, nullptr);
    EXPECT_FALSE(button->isChecked());
    const uint32_t firstNote = 0x94 | 50 << 8 | 100 << 16;
    const auto played = [&] { return ShortWords(Midi); };
    const auto plays = [&] {
        const auto words = played();
        return !words.empty() && words.back() == firstNote;
    };

    // Thru: channel A's input channel goes out on its output channel.
    ASSERT_TRUE(Midi.InjectShort(0, 0xB2 | 7 << 8 | 99 << 16, 0));
    ASSERT_TRUE(WaitUntil([&] { return played() == std::vector<uint32_t>{0xB4 | 7 << 8 | 99 << 16}; }));

    QTest::keyClick(Form.get(), Qt::Key_F5);
    EXPECT_TRUE(button->isChecked());
    ASSERT_TRUE(WaitUntil(plays));
    QTest::mouseClick(Form->findChild<QToolButton*>("SpeedButtonChActiveA"), Qt::LeftButton);
    EXPECT_TRUE(EveryNoteEnded(played()));
    QTest::mouseClick(Form->findChild<QToolButton*>("SpeedButtonChActiveA"), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil(plays));

    // A new audible genome: its control changes, then the phrase from its first note.
    Midi.ClearRecords();
    QTest::keyClick(Form.get(), Qt::Key_Right);
    ASSERT_TRUE(WaitUntil(plays));
    EXPECT_TRUE(Midi.Sent().front().Long);
    EXPECT_EQ(played(), (std::vector<uint32_t>{0x84 | 50 << 8, firstNote}));

    Form->findChild<QAction*>("MenuAudition")->trigger();
    EXPECT_FALSE(button->isChecked());
    EXPECT_TRUE(EveryNoteEnded(played()));

    button->click();
    ASSERT_TRUE(WaitUntil(plays));
    Form->close();
    EXPECT_TRUE(EveryNoteEnded(played()));
    const TIniFile written = TIniFile::Load(IniFileName());
    for (const auto& [key, value] : {std::pair{"Notes", "50,62"}, std::pair{"Period", "60000"}, std::pair{"Length", "60000"},
                                     std::pair{"Velocity", "100"}, std::pair{"Playing", "1"}})
        EXPECT_EQ(written.ReadString("Audition", key, ""), value) << key;
}

TEST_F(MainIntegrationTest, UndoSendsTheRestoredAudibleGenomeOfAnActiveChannelOnly)
{
    WriteSettings("[Settings]\r\nChannelActiveA=1\r\n[Midi]\r\nMidiOut=Synth One\r\n");
    Start();
    Midi.ClearRecords();
    Form->WormPanel(0)->SetAudible(1);
    const auto heard = LongMessages();
    ASSERT_EQ(heard.size(), 120u);
    auto* undo = Form->findChild<QAction*>("MenuUndo");
    for (int tab : {0, 1}) {
        Form->findChild<QTabWidget*>("PageControl1")->setCurrentIndex(tab);
        QTest::mouseClick(Form->findChild<QToolButton*>("SpeedButtonMutate"), Qt::LeftButton);
        Midi.ClearRecords();
        undo->trigger();
        EXPECT_EQ(LongMessages(), tab == 0 ? heard : decltype(heard){}) << "channel " << tab;
    }
    EXPECT_TRUE(Dialogs.Errors.isEmpty());
}


// A Standard MIDI File as this program writes it (format 0, no running
// status): its channel and system-exclusive messages with their times in ms.
std::vector<TTimedMidi> ReadMidiFile(const std::string& bytes)
{
    const auto number = [&](size_t at, int count) {
        uint32_t value = 0;
        for (int i = 0; i < count; ++i)
            value = (value << 8) | static_cast<uint8_t>(bytes.at(at + static_cast<size_t>(i)));
        return value;
    };
    size_t at = 22;
    const auto variable = [&] {
        uint32_t value = 0;
        uint8_t byte = 0x80;
        while (byte & 0x80) {
            byte = static_cast<uint8_t>(bytes.at(at++));
            value = (value << 7) | (byte & 0x7F);
        }
        return value;
    };
    EXPECT_EQ(bytes.substr(0, 4) + bytes.substr(14, 4), "MThdMTrk");
    EXPECT_EQ(number(8, 2), 0u) << "format";
    const uint32_t ticksPerQuarter = number(12, 2);
    const size_t end = 22 + number(18, 4);
    EXPECT_EQ(end, bytes.size());
    std::vector<TTimedMidi> messages;
    uint64_t ticks = 0;
    uint32_t tempo = 500000;
    while (at < end) {
        ticks += variable();
        const auto status = static_cast<uint8_t>(bytes.at(at++));
        if (status == 0xFF) {
            const auto type = static_cast<uint8_t>(bytes.at(at++));
            const uint32_t length = variable();
            if (type == 0x51)
                tempo = number(at, 3);
            at += length;
            continue;
        }
        std::vector<uint8_t> message;
        size_t length = static_cast<size_t>(MidiDataLength(status));
        if (status == 0xF0 || status == 0xF7)
            length = variable();
        if (status != 0xF7)
            message.push_back(status);
        message.insert(message.end(), bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at + length));
        at += length;
        messages.push_back({static_cast<int64_t>(ticks * tempo / 1000 / ticksPerQuarter), message});
    }
    return messages;
}

// How far `messages` rendered through `instrument` as long as `samples` (so
// that both end with the same fade) stray from their first `frames`.
float LargestDifference(std::unique_ptr<TAudioInstrument> instrument, const std::vector<TTimedMidi>& messages,
                        const std::vector<float>& samples, int64_t frames)
{
    TOfflineRender render(std::move(instrument));
    size_t frame = 0;
    float largest = 0;
    render.Render(messages, static_cast<int64_t>(samples.size() / 2),
                  [&](const float* left, const float* right, uint32_t count) {
                      for (uint32_t i = 0; i < count; ++i, ++frame)
                          if (frame < static_cast<size_t>(frames))
                              largest = std::max({largest, std::abs(left[i] - samples[2 * frame]),
                                                  std::abs(right[i] - samples[2 * frame + 1])});
                  });
    return frame >= static_cast<size_t>(frames) ? largest : 1.0f;
}

TEST_F(MainIntegrationTest, TheAudibleWormExportsAsWavAndAsMidiFileOfTheSameMessages)
{
    std::filesystem::copy_file(ZW_SYNTH_RULES, ProgramPath() + "synth.sub");
    WriteSettings("[Midi]\r\nMidiOut=\r\nOutChannelB=5\r\n[Translations]\r\nFileName=" + ProgramPath() +
                  "synth.sub\r\n[Synth]\r\nProgramB=33\r\n[Audition]\r\nNotes=60,67\r\nPeriod=400\r\nLength=250\r\n");
    Start();
    QTest::keyClick(Form.get(), Qt::Key_B, Qt::AltModifier);
    const QString midiFile = Folder.filePath("worm.mid");
    const QString wavFile = Folder.filePath("worm.wav");
    Dialogs.FileNames = {midiFile, wavFile};
    Dialogs.Inputs = {{true, "1.5"}};
    Form->findChild<QAction*>("MenuExportMidi")->trigger();
    Form->findChild<QAction*>("MenuExportSound")->trigger();
    ASSERT_TRUE(Dialogs.Errors.isEmpty()) << Dialogs.Errors.join("\n").toStdString();

    // The program, the genome as the rules translate it, then the phrase once.
    std::vector<TTimedMidi> expected = {{0, {0xC5, 33}}};
    TranslateGenome([&]() -> const TSubstitution& { return Editor->Substitution(); }, 5,
                    Form->WormPanel(1)->Worms(Form->WormPanel(1)->Audible())->Gene(),
                    [&](int32_t, const TRuleBytes& bytes) {
                        SplitMidiMessages(bytes.data(), bytes.size(), [&](const uint8_t* message, size_t length) {
                            expected.push_back({0, std::vector<uint8_t>(message, message + length)});
                        });
                    });
    ASSERT_GT(expected.size(), 100u);
    expected.insert(expected.end(), {{0, {0x95, 60, 100}}, {250, {0x85, 60, 0}}, {400, {0x95, 67, 100}},
                                     {650, {0x85, 67, 0}}});
    const std::vector<TTimedMidi> read = ReadMidiFile(ReadWholeFile(midiFile.toStdString()));
    ASSERT_EQ(read.size(), expected.size());
    for (size_t i = 0; i < read.size(); ++i)
        EXPECT_EQ(read[i], expected[i]) << "message " << i;

    // The sound: 1.5 s, audible; and the MIDI file, played by the same
    // synthesizer, sounds like it as long as its phrase lasts.
    const std::vector<float> samples = ReadWavFile(wavFile.toStdString());
    ASSERT_EQ(samples.size(), 2 * 72000u);
    EXPECT_GT(Rms(samples.data(), samples.size()), 0.01);
    EXPECT_LT(LargestDifference(std::make_unique<TSynthInstrument>(TSynthSettings{}), read, samples, 28800), 1e-4f);

    // A file that cannot be written: one box naming it, nothing left there.
    const QString unwritable = Folder.filePath("missing/worm.mid");
    Dialogs.FileNames = {unwritable};
    Form->findChild<QAction*>("MenuExportMidi")->trigger();
    ASSERT_EQ(Dialogs.Errors.size(), 1);
    EXPECT_TRUE(Dialogs.Errors[0].contains(unwritable)) << Dialogs.Errors[0].toStdString();
    EXPECT_FALSE(QFile::exists(Folder.filePath("missing")));
}

} // namespace

// With the built-in synthesizer offered (rendered here instead of heard).
class SynthIntegrationTest : public MainIntegrationTest {
protected:
    void TearDown() override
    {
        // The windows' ports use the synthesizer's binding: they go first.
        Form.reset();
        Dialog.reset();
        Editor.reset();
        MainIntegrationTest::TearDown();
    }

    double RenderedLevel(int frames)
    {
        std::vector<float> left(static_cast<size_t>(frames));
        std::vector<float> right(static_cast<size_t>(frames));
        return Synth.Render(left.data(), right.data(), frames) ? Rms(left.data(), left.size()) : -1;
    }

    TSynthBinding Synth{Midi, TSynthOutput::Offline};
    TScopedMidiBinding ScopedSynth{&Synth};
};

TEST_F(SynthIntegrationTest, AFirstStartPlaysThroughTheBuiltInSynthesizerWithItsRules)
{
    std::filesystem::copy_file(ZW_SYNTH_RULES, ProgramPath() + "synth.sub");
    Start();
    ASSERT_TRUE(Form->Midi().OutOpen());
    EXPECT_EQ(Form->Midi().OutName(), kSynthDeviceName);
    EXPECT_EQ(Editor->FileName(), ProgramPath() + "synth.sub");
    EXPECT_LT(RenderedLevel(4800), 1e-6); // open, and silent until a note comes
    // Channel A is active, has sent its genome and is told of in the hint:
    // F5 alone is heard.
    const auto* status = Form->findChild<TStatusLine*>("StatusLine");
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->text().toStdString(), TFirstSteps::kHint);
    QTest::keyClick(Form.get(), Qt::Key_F5);
    ASSERT_TRUE(Form->Audition().Playing());
    EXPECT_GT(RenderedLevel(24000), 1e-3);
    EXPECT_EQ(status->text().toStdString(), TFirstSteps::kHint) << "the hint goes after F5 and an arrow";
    QTest::keyClick(Form.get(), Qt::Key_Right);
    EXPECT_EQ(status->text(), "");

    // F5 on channel B, which is off, switches it on and keeps audition on;
    // on its own program it sounds different from A.
    Form->findChild<QTabWidget*>("PageControl1")->setCurrentIndex(1);
    QTest::keyClick(Form.get(), Qt::Key_F5);
    EXPECT_TRUE(Form->Audition().Playing());
    EXPECT_TRUE(Form->Automation().ActiveChannels().Contains(1));
    EXPECT_TRUE(Form->findChild<QToolButton*>("SpeedButtonChActiveB")->isChecked());
    EXPECT_EQ(status->text(), "Audition switched channel B on");
    // On the active channel F5 stops audition as before.
    QTest::keyClick(Form.get(), Qt::Key_F5);
    EXPECT_FALSE(Form->Audition().Playing());
    EXPECT_TRUE(Dialogs.Errors.isEmpty() && Dialogs.Messages.isEmpty());
    Form->close();
    const std::string text = SettingsText();
    EXPECT_NE(text.find("MidiOut=Zwirbels synthesizer\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[Synth]\r\nSoundFont=\r\nAudioDriver=\r\nGain=40\r\nProgramA=81\r\nProgramB=90\r\n"
                        "ProgramC=80\r\nProgramD=87\r\n"),
              std::string::npos);
}

TEST_F(SynthIntegrationTest, ABreederOnAnLv2InstrumentExportsItsSoundThroughItWithItsGenesAsParameters)
{
    const std::string uri = "http://drobilla.net/plugins/mda/JX10";
    WriteSettings("[Midi]\r\nMidiOut=Zwirbels synthesizer\r\n[Instruments]\r\nA=" + uri + "\r\n");
    Start();
    auto* instruments = Form->findChild<TInstrumentBreeders*>();
    ASSERT_NE(instruments, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return instruments->Plays(0); }, 60000)) << "JX10 did not load";
    const QString wavFile = Folder.filePath("lv2.wav");
    Dialogs.FileNames = {wavFile};
    Dialogs.Inputs = {{true, "1"}};
    Form->findChild<QAction*>("MenuExportSound")->trigger();
    ASSERT_TRUE(Dialogs.Errors.isEmpty()) << Dialogs.Errors.join("\n").toStdString();
    const std::vector<float> samples = ReadWavFile(wavFile.toStdString());
    ASSERT_EQ(samples.size(), 2 * 48000u);
    EXPECT_GT(Rms(samples.data(), samples.size()), 0.01);

    // The audition note alone, through a JX10 of its own set by the worm's
    // genes, let go half a second before the end so that its release is heard.
    TLv2World world;
    auto instance = std::make_unique<TLv2Instance>(world, uri, 48000, 1024);
    const TGene& genome = Form->WormPanel(0)->Worms(Form->WormPanel(0)->Audible())->Gene();
    instance->SetGenome(genome.Data(), static_cast<size_t>(genome.Size()));
    EXPECT_LT(LargestDifference(std::make_unique<TLv2Instrument>(std::move(instance)),
                                {{0, {0x90, 60, 100}}, {500, {0x80, 60, 0}}}, samples, 48000),
              1e-4f);
}

// A breeder on an LV2 instrument names its genes by the instrument's
// breedable ports and shows their values in the ports' units; the genes past
// the last port are dimmed, kept still by breeding and left out of the
// worm's picture; the rules' default locks stay on the breeders they play.
TEST_F(SynthIntegrationTest, ABreederOnAnLv2InstrumentShowsItsPortsAndBreedsAndDrawsOnlyTheirGenes)
{
    std::filesystem::copy_file(ZW_SYNTH_RULES, ProgramPath() + "synth.sub");
    WriteSettings("[Midi]\r\nMidiOut=Zwirbels synthesizer\r\n[Translations]\r\nFileName=" + ProgramPath() +
                  "synth.sub\r\n[Instruments]\r\nA=http://drobilla.net/plugins/mda/JX10\r\n");
    Start();
    auto* instruments = Form->findChild<TInstrumentBreeders*>();
    ASSERT_NE(instruments, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return instruments->Plays(0); }, 60000)) << "JX10 did not load";
    Form->Genes().SetShown(true);
    const TGeneView* view = Form->Genes().View();
    EXPECT_EQ(view->GeneInfo(0).Name, "OSC Mix");
    EXPECT_EQ(view->GeneInfo(1).Name, "OSC Tune");
    EXPECT_TRUE(view->HoverText(1).endsWith(" semi)")) << view->HoverText(1).toStdString();
    constexpr int kPorts = 22; // JX10 breeds 22 of its 24 inputs
    EXPECT_TRUE(view->GeneInfo(kPorts - 1).Active);
    EXPECT_FALSE(view->GeneInfo(kPorts).Active);
    const TSubstitution& rules = FormTranslate->Substitution();
    int ruleLock = 0;
    while (ruleLock < rules.Count() && !rules.DefaultLocked(ruleLock))
        ++ruleLock;
    ASSERT_LT(ruleLock, rules.Count());
    EXPECT_FALSE(Form->WormPanel(0)->GeneMask().Locked(ruleLock)) << "the rules' lock reached the instrument";
    EXPECT_TRUE(Form->WormPanel(1)->GeneMask().Locked(ruleLock));
    // Breeder B plays the rules: the view shows their names there.
    Form->findChild<QTabWidget*>("PageControl1")->setCurrentIndex(1);
    EXPECT_EQ(view->GeneInfo(0).Name.toStdString(), rules.Name(0));
    EXPECT_TRUE(view->GeneInfo(kPorts).Active);
    Form->findChild<QTabWidget*>("PageControl1")->setCurrentIndex(0);

    TWormPanel* panel = Form->WormPanel(0);
    const auto genomes = [panel] {
        std::vector<std::vector<uint8_t>> all;
        for (int w = 0; w < panel->WormCount(); ++w)
            all.emplace_back(panel->Worms(w)->Gene().Data(), panel->Worms(w)->Gene().Data() + panel->Worms(w)->Size());
        return all;
    };
    const auto before = genomes();
    panel->RandomizeAll();
    panel->MutateAll();
    panel->Mate();
    const auto after = genomes();
    for (size_t w = 0; w < before.size(); ++w) {
        EXPECT_TRUE(std::equal(before[w].begin() + kPorts, before[w].end(), after[w].begin() + kPorts)) << w;
        if (static_cast<int>(w) != panel->Frozen()) {
            EXPECT_FALSE(std::equal(before[w].begin(), before[w].begin() + kPorts, after[w].begin())) << w;
        }
    }
    TWorm* worm = panel->Worms(3);
    const std::vector<QPoint> path = worm->Path();
    TGene gene = worm->Gene();
    gene.Data()[kPorts + 10] ^= 0x80;
    worm->SetGene(gene);
    EXPECT_EQ(worm->Path(), path) << "a gene no port plays moved the picture";
    gene.Data()[kPorts - 1] ^= 0x80;
    worm->SetGene(gene);
    EXPECT_NE(worm->Path(), path);
}

TEST_F(SynthIntegrationTest, AnInstrumentThatFailsIsToldUntilAnotherIsChosenWhateverTheSoundStatusSays)
{
    WriteSettings("[Midi]\r\nMidiOut=Zwirbels synthesizer\r\n[Instruments]\r\nB=urn:zw:none\r\n");
    Start();
    auto* status = Form->StatusLine();
    ASSERT_TRUE(QTest::qWaitFor([&] { return status->text().contains("Breeder B plays the MIDI output."); }, 20000))
        << status->text().toStdString();
    QTest::qWait(500); // the sound status is asked every 100 ms, and its output sounds
    EXPECT_TRUE(status->text().contains("Breeder B plays the MIDI output.")) << status->text().toStdString();
    Form->Sound().SetInstruments({});
    EXPECT_FALSE(status->text().contains("Breeder B")) << status->text().toStdString();
}

TEST_F(SynthIntegrationTest, ASynthesizerThatCannotStartIsOneClearErrorAndTheProgramGoesOn)
{
    WriteSettings("[Midi]\r\nMidiOut=Zwirbels synthesizer\r\n[Synth]\r\nSoundFont=/nowhere/none.sf2\r\nGain=300\r\n");
    Start();
    EXPECT_FALSE(Form->Midi().OutOpen());
    EXPECT_TRUE(Dialogs.Messages.isEmpty());
    ASSERT_EQ(Dialogs.Errors.size(), 1);
    EXPECT_EQ(Dialogs.Errors[0].toStdString(),
              "The built-in synthesizer cannot start: the SoundFont \"/nowhere/none.sf2\" could not be loaded. "
              "Choose a readable .sf2 file in Settings \u2192 Sound\u2026 (SoundFont= in the [Synth] section of " +
                  IniFileName() + "), or leave it empty to use an installed General MIDI SoundFont.");
    // Another device still works.
    AnswerMidiDialog(true, "Synth One");
    Form->Midi().SettingsClick();
    EXPECT_TRUE(Form->Midi().OutOpen());
    Form->close();
    const std::string text = SettingsText();
    EXPECT_NE(text.find("SoundFont=/nowhere/none.sf2\r\n"), std::string::npos);
    EXPECT_NE(text.find("Gain=100\r\n"), std::string::npos);
}

// Settings → Sound …: a choice is heard at once and kept in the settings
// file; a SoundFont that does not load is refused and the playing one stays.
TEST_F(SynthIntegrationTest, TheSoundDialogAppliesItsChoiceAndRefusesASoundFontThatDoesNotLoad)
{
    const std::string copied = ProgramPath() + "copied.sf2";
    std::filesystem::copy_file(FindSoundFont({}), copied);
    const std::string broken = ProgramPath() + "broken.sf2";
    WriteFileAtomically(broken, "RIFF, but no SoundFont");
    const char* const jx10 = "http://drobilla.net/plugins/mda/JX10";
    WriteSettings("[Midi]\r\nMidiOut=Zwirbels synthesizer\r\n[Breeders]\r\nAudibleA=0\r\n");
    Start();
    ASSERT_TRUE(Form->Midi().OutOpen());
    const auto noteLevel = [this] {
        Form->Midi().Output()->SendShort(0x90, 60, 100);
        const double level = RenderedLevel(24000);
        Form->Midi().Output()->SendShort(0x80, 60, 0);
        RenderedLevel(48000); // the release
        return level;
    };
    const double before = noteLevel();
    ASSERT_GT(before, 1e-3);
    QTimer::singleShot(0, [&] {
        auto* dialog = Form->findChild<QDialog*>("FormSound");
        ASSERT_NE(dialog, nullptr);
        const auto apply = [dialog] { QTest::mouseClick(dialog->findChild<QPushButton*>("ButtonApply"), Qt::LeftButton); };
        dialog->findChild<QSpinBox*>("SpinGain")->setValue(80);
        apply();
        EXPECT_NEAR(noteLevel() / before, 2.0, 0.2); // the playing synthesizer took the gain
        EXPECT_NE(SettingsText().find("Gain=80\r\n"), std::string::npos);

        dialog->findChild<QLineEdit*>("EditSoundFont")->setText(QString::fromStdString(broken));
        apply();
        ASSERT_EQ(Dialogs.Errors.size(), 1);
        EXPECT_TRUE(Dialogs.Errors[0].contains(QString::fromStdString(broken))) << Dialogs.Errors[0].toStdString();
        EXPECT_NE(SettingsText().find("SoundFont=\r\n"), std::string::npos);
        EXPECT_NEAR(noteLevel() / before, 2.0, 0.2);

        dialog->findChild<QLineEdit*>("EditSoundFont")->setText(QString::fromStdString(copied));
        auto* system = dialog->findChild<QComboBox*>("ComboSystem");
        system->setCurrentIndex(system->findData("alsa"));
        dialog->findChild<QComboBox*>("ComboDevice")->setCurrentText("hw:9,0");
        auto* breederB = dialog->findChild<QComboBox*>("ComboInstrumentB");
        EXPECT_TRUE(QTest::qWaitFor([&] { return breederB->findData(jx10) >= 0; }, 20000));
        breederB->setCurrentIndex(breederB->findData(jx10));
        QTest::mouseClick(dialog->findChild<QPushButton*>("ButtonOk"), Qt::LeftButton);
    });
    Form->Sound().SoundClick();
    EXPECT_EQ(Dialogs.Errors.size(), 1);
    // The new synthesizer plays, with the program of channel A sent again.
    EXPECT_NEAR(noteLevel() / before, 2.0, 0.2);
    const std::string text = SettingsText();
    EXPECT_NE(text.find("SoundFont=" + copied + "\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[Audio]\r\nSystem=alsa\r\nDevice=hw:9,0\r\nSampleRate=\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[Instruments]\r\nA=\r\nB=" + std::string(jx10) + "\r\nC=\r\nD=\r\n[Breeders]"),
              std::string::npos) << text;
}

// No sound server at all: no JACK server (and none may be started), no
// PulseAudio, no ALSA device.
class NoSoundServerTest : public MainIntegrationTest {
protected:
    static bool WithoutSoundServers()
    {
        setenv("JACK_DEFAULT_SERVER", ("zwirbels-none-" + std::to_string(getpid())).c_str(), 1);
        unsetenv("JACK_NO_START_SERVER"); // a client that would start a server may do so
        setenv("PULSE_SERVER", "unix:/nonexistent/zwirbels-pulse", 1);
        setenv("ALSA_CONFIG_PATH", "/dev/null", 1);
        return true;
    }

    // The running JACK servers that this process could have started: the
    // default one or one of the name it looks for. Servers of other names
    // are other tests' (tests run side by side).
    static std::string JackServers()
    {
        const std::string ours = std::string("-n ") + std::getenv("JACK_DEFAULT_SERVER");
        std::string servers;
        if (FILE* pipe = popen("pgrep -ax jackd; pgrep -ax jackdbus", "r")) {
            char line[4096];
            while (std::fgets(line, sizeof line, pipe)) {
                const std::string server = line;
                if (server.find(" -n ") == std::string::npos || server.find(ours) != std::string::npos)
                    servers += server;
            }
            pclose(pipe);
        }
        return servers;
    }

    void TearDown() override
    {
        Form.reset();
        Dialog.reset();
        Editor.reset();
        MainIntegrationTest::TearDown();
    }

    bool FEnvironment = WithoutSoundServers();
    // Before the synthesizer, so that it outlives the synthesizer's JACK
    // stream: a client whose server went first may hang in libjack's close.
    std::optional<TPrivateJackServer> Server;
    TSynthBinding Synth{Midi, TSynthOutput::Audio};
    TScopedMidiBinding ScopedSynth{&Synth};
};

TEST_F(NoSoundServerTest, TheWindowOpensWithNoBoxAndTheStatusLineSaysWhyAndWhereUntilSoundComesBack)
{
    const std::string serversBefore = JackServers();
    WriteSettings("[Settings]\r\nChannelActiveA=1\r\n[Midi]\r\nMidiOut=Zwirbels synthesizer\r\n");
    Start();
    EXPECT_TRUE(Form->Midi().OutOpen()) << "the synthesizer plays into the engine even with no output";
    auto message = [&] { return Form->StatusLine()->Message(TStatusTopic::Sound).toStdString(); };
    ASSERT_TRUE(WaitUntil([&] {
        DeliverNotices();
        return !message().empty();
    }, std::chrono::seconds(20)));
    EXPECT_EQ(message().rfind("No sound: no audio output opens (", 0), 0u) << message();
    EXPECT_NE(message().find("PulseAudio: "), std::string::npos) << message();
    EXPECT_NE(message().find("[Audio] section of " + IniFileName() + ")."), std::string::npos) << message();
    EXPECT_EQ(Form->StatusLine()->text().toStdString(), message());
    // Wider than the window, it is drawn cut, with an ellipsis.
    const TStatusLine& line = *Form->StatusLine();
    ASSERT_GT(line.fontMetrics().horizontalAdvance(line.text()), line.contentsRect().width());
    EXPECT_TRUE(line.ShownText().endsWith(QChar(0x2026))) << line.ShownText().toStdString();
    EXPECT_LE(line.fontMetrics().horizontalAdvance(line.ShownText()), line.contentsRect().width());
    EXPECT_TRUE(Dialogs.Errors.isEmpty() && Dialogs.Messages.isEmpty()) << "a box at the start";
    EXPECT_EQ(JackServers(), serversBefore) << "a JACK server was started";

    // A server that starts later is found by the next try; the message goes.
    TPrivateJackServer& server = Server.emplace("zwnosound");
    ASSERT_TRUE(server.Start()) << server.Log();
    EXPECT_TRUE(WaitUntil([&] {
        DeliverNotices();
        return message().empty();
    }, std::chrono::seconds(20))) << message();
    EXPECT_TRUE(Synth.Audio().Status().Sounding);
}

// An output that cannot play (ALSA with no device) mended in the Sound
// dialog: the message goes as soon as the choice is applied, not at a retry.
TEST_F(NoSoundServerTest, TheSoundDialogMendsTheOutputAndTheMessageGoesAtOnce)
{
    TPrivateJackServer& server = Server.emplace("zwsounddialog");
    ASSERT_TRUE(server.Start()) << server.Log();
    WriteSettings("[Midi]\r\nMidiOut=Zwirbels synthesizer\r\n[Audio]\r\nSystem=alsa\r\n");
    Start();
    auto message = [&] { return Form->StatusLine()->Message(TStatusTopic::Sound).toStdString(); };
    ASSERT_TRUE(WaitUntil([&] {
        DeliverNotices();
        return !message().empty();
    }, std::chrono::seconds(20)));
    QTimer::singleShot(0, [&] {
        auto* dialog = Form->findChild<QDialog*>("FormSound");
        ASSERT_NE(dialog, nullptr);
        auto* system = dialog->findChild<QComboBox*>("ComboSystem");
        system->setCurrentIndex(system->findData("jack"));
        QTest::mouseClick(dialog->findChild<QPushButton*>("ButtonApply"), Qt::LeftButton);
        EXPECT_EQ(message(), ""); // before any timer could have looked
        QTest::mouseClick(dialog->findChild<QPushButton*>("ButtonOk"), Qt::LeftButton);
    });
    Form->Sound().SoundClick();
    EXPECT_EQ(Synth.Audio().Status().Description.rfind("JACK", 0), 0u) << Synth.Audio().Status().Failure;
    EXPECT_NE(SettingsText().find("[Audio]\r\nSystem=jack\r\n"), std::string::npos) << SettingsText();
    EXPECT_TRUE(Dialogs.Errors.isEmpty());
}
