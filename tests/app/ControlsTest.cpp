// The MIDI-learned controls of the main window, fed through the scripted MIDI
// input: the actions, the crossing of a control change, any channel, learning
// in the Controls dialog, the morph knob, and thru leaving bound messages out.
#include "app/ControlMap.h"
#include "common/SafeFile.h"
#include "ui/KeptBreeders.h"
#include "worms/BreederFile.h"
#include "ui/FrmControls.h"
#include "ui/StatusLine.h"
#include "MainWindowFixture.h"
#include "support/MidiTestSupport.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

using namespace zw;
using namespace zw::test;

namespace {

uint32_t NoteOn(int channel, int note) { return static_cast<uint32_t>(0x90 | channel | note << 8 | 100 << 16); }
uint32_t NoteOff(int channel, int note) { return static_cast<uint32_t>(0x80 | channel | note << 8); }
uint32_t Cc(int channel, int number, int value) { return static_cast<uint32_t>(0xB0 | channel | number << 8 | value << 16); }
uint32_t Program(int channel, int number) { return static_cast<uint32_t>(0xC0 | channel | number << 8); }

class ControlsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Folder.isValid());
        SetProgramPath(Folder.path().toStdString());
        Midi.OutDevices = {"Synth One"};
        Midi.InDevices = {"Keyboard"};
        RandSeed(0);
    }

    void Start(const std::string& settings)
    {
        WriteFileAtomically(IniFileName(), settings);
        Form = std::make_unique<TRecordingFormMain>();
        Form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
        Midi.ClearRecords();
        Form->Reports.clear();
    }

    // A message at the keyboard, and its handling in the window.
    void Send(uint32_t message)
    {
        ASSERT_TRUE(Midi.InjectShort(0, message, 0));
        DeliverNotices();
    }

    // What thru passed on: the short messages sent, the audition's notes left out.
    std::vector<uint32_t> Thru() const
    {
        std::vector<uint32_t> words = ShortWords(Midi);
        std::erase_if(words, [](uint32_t w) { return (w & 0xE0) == 0x80 && (w >> 8 & 0x7F) == 72; });
        return words;
    }

    TFormControls* Dialog() const { return Form->findChild<TFormControls*>("FormControls"); }
    TWormPanel* Panel(int channel) const { return Form->WormPanel(channel); }
    template <typename T>
    T* Find(const char* name) const
    {
        T* child = Form->findChild<T*>(name);
        EXPECT_NE(child, nullptr) << name;
        return child;
    }

    QTemporaryDir Folder;
    TScriptedDialogs Dialogs;
    TScopedDialogs ScopedDialogs{Dialogs};
    TScriptedMidiBinding Midi;
    TScopedMidiBinding ScopedMidi{&Midi};
    std::unique_ptr<TRecordingFormMain> Form;
};

TEST_F(ControlsTest, EachBoundMessageTriggersItsActionAndStaysOutOfThru)
{
    ASSERT_NO_FATAL_FAILURE(Start(
        "[Settings]\r\nChannelActiveA=1\r\n[Midi]\r\nMidiIn=Keyboard\r\nMidiOut=Synth One\r\n[Audition]\r\nNotes=72\r\n"
        "[Controls]\r\nRandomize=note 0 36\r\nMate=note 2 37\r\nMutate=cc 1 20\r\nMorph=program 0 5\r\n"
        "Left=note 0 40\r\nRight=NOTE  1 60\r\nUp=note 0 41\r\nDown=note 0 42\r\nUndo=note 0 43\r\nRedo=note 0 44\r\n"
        "Audition=cc 3 64\r\nNextBreeder=program 0 1\r\nPreviousBreeder=program 0 2\r\nMorphKnob=note 0 1\r\n"));
    TWormPanel* panel = Panel(0);
    auto* pages = Find<QTabWidget>("PageControl1");
    ASSERT_TRUE(Form->Midi().InOpen());
    // A knob bound to a note is refused: told, and left in the file as it was.
    EXPECT_TRUE(Form->StatusLine()->Message(TStatusTopic::Hint).contains("MorphKnob=note 0 1"));

    // Moving the audible worm; note-offs do nothing.
    const std::pair<uint32_t, int> moves[] = {{NoteOn(0, 60), 1}, {NoteOff(0, 60), 1}, {NoteOn(0, 40), 0},
                                              {NoteOn(0, 42), 4}, {NoteOn(0, 41), 0}, {NoteOn(0, 60), 1}};
    for (const auto& [message, audible] : moves) {
        Send(message);
        EXPECT_EQ(panel->Audible(), audible) << std::hex << message;
    }

    // Breeding: each message either breeds the breeder shown or leaves it be.
    const std::pair<uint32_t, bool> steps[] = {
        {Cc(0, 20, 100), true},  // the first value of a control counts as a crossing
        {Cc(0, 20, 120), false}, {Cc(0, 20, 10), false},
        {Cc(0, 20, 64), true},   // crossing again
        {NoteOn(5, 36), true},   {NoteOn(15, 36), true}, // any channel
        {NoteOn(0, 37), false},  {NoteOn(1, 37), true},   // channel 2 only
        {Program(0, 5), true},   {Cc(1, 20, 127), false}, // another channel's control
    };
    for (const auto& [message, breeds] : steps) {
        const auto before = Genomes(panel);
        Send(message);
        EXPECT_EQ(Genomes(panel) != before, breeds) << std::hex << message;
    }

    // Undo and redo.
    const auto bred = Genomes(panel);
    Send(NoteOn(0, 43));
    EXPECT_NE(Genomes(panel), bred);
    Send(NoteOn(0, 44));
    EXPECT_EQ(Genomes(panel), bred);

    // Audition on and off; the breeder shown, both ways round.
    Send(Cc(2, 64, 127));
    EXPECT_TRUE(Form->Audition().Playing());
    Send(Cc(2, 64, 0));
    EXPECT_TRUE(Form->Audition().Playing());
    Send(Cc(2, 64, 127));
    EXPECT_FALSE(Form->Audition().Playing());
    for (const auto& [message, page] : {std::pair{Program(0, 1), 1}, std::pair{Program(0, 2), 0},
                                        std::pair{Program(0, 2), 3}, std::pair{Program(0, 1), 0}}) {
        Send(message);
        EXPECT_EQ(pages->currentIndex(), page) << std::hex << message;
    }

    // Thru took none of the bound messages, but passes the others as before
    // (channel A's input is channel 1; Mate is bound on channel 2 only).
    const uint32_t unbound = Cc(0, 7, 99);
    Send(unbound);
    EXPECT_TRUE(WaitUntil([&] { return Thru().size() >= 2; }));
    EXPECT_EQ(Thru(), (std::vector<uint32_t>{NoteOn(0, 37), unbound}));

    Form->close();
    const TIniFile written = TIniFile::Load(IniFileName());
    EXPECT_EQ(written.ReadString("Controls", "Right", ""), "note 1 60");
    EXPECT_EQ(written.ReadString("Controls", "MorphKnob", ""), "note 0 1");
    EXPECT_TRUE(written.ValueExists("Controls", "NextBreeder"));
}

TEST_F(ControlsTest, TheDialogLearnsTheNextMessageAndTellsWhenNoneCanArrive)
{
    ASSERT_NO_FATAL_FAILURE(
        Start("[Settings]\r\nChannelActiveA=1\r\n[Midi]\r\nMidiOut=Synth One\r\nInChannelA=3\r\n"
              "[Controls]\r\nRandomize=note 0 36\r\n"));
    // No input device: the dialog says so, on the bound row too.
    QTimer::singleShot(0, [this] {
        ASSERT_NE(Dialog(), nullptr);
        EXPECT_TRUE(Dialog()->findChild<QLabel*>("LabelNoInput")->isVisibleTo(Dialog()));
        EXPECT_TRUE(Dialog()->findChild<QTableWidget*>("TableControls")->item(0, 5)->text().contains("cannot arrive"));
        EXPECT_TRUE(Dialog()->findChild<QTableWidget*>("TableControls")->item(1, 5)->text().isEmpty());
        Dialog()->reject();
    });
    Find<QAction>("MenuControls")->trigger();

    Form->Midi().SetInDevice("Keyboard");
    Form->Midi().SetInOpen(true);
    QTimer::singleShot(0, [this] {
        EXPECT_FALSE(Dialog()->findChild<QLabel*>("LabelNoInput")->isVisibleTo(Dialog()));
        Dialog()->findChild<QPushButton*>("ButtonLearnMutate")->click();
        Send(Cc(3, 21, 0));
        EXPECT_EQ(Dialog()->findChild<QComboBox*>("ComboKindMutate")->currentText(), "control change");
        EXPECT_EQ(Dialog()->findChild<QSpinBox*>("SpinChannelMutate")->value(), 4);
        EXPECT_EQ(Dialog()->findChild<QSpinBox*>("SpinNumberMutate")->value(), 21);
        // The knob waits for a control change.
        Dialog()->findChild<QPushButton*>("ButtonLearnMorphKnob")->click();
        Send(NoteOn(0, 50));
        EXPECT_TRUE(Dialog()->Learning());
        Send(Cc(0, 22, 5));
        EXPECT_FALSE(Dialog()->Learning());
        Dialog()->accept();
    });
    Find<QAction>("MenuControls")->trigger();

    const auto bound = [this](const char* key) {
        const auto& controls = Form->MidiControls().Controls().Controls();
        return std::find_if(controls.begin(), controls.end(), [&](const auto& c) { return c.Key == key; })->Binding;
    };
    EXPECT_EQ(bound("Mutate"), (TControlBinding{TControlBinding::TKind::ControlChange, 4, 21}));
    EXPECT_EQ(bound("MorphKnob"), (TControlBinding{TControlBinding::TKind::ControlChange, 1, 22}));

    // Before it was learned, the control passed thru; now it mutates and
    // stays out of thru, while others pass.
    EXPECT_TRUE(WaitUntil([&] { return Thru() == std::vector<uint32_t>{Cc(0, 21, 0)}; }));
    Panel(0)->SetAudible(1);
    Midi.ClearRecords();
    const auto before = Genomes(Panel(0));
    Send(Cc(3, 21, 127));
    EXPECT_NE(Genomes(Panel(0)), before);
    Send(Cc(3, 7, 99));
    EXPECT_TRUE(WaitUntil([&] { return !Thru().empty(); }));
    EXPECT_EQ(Thru(), std::vector<uint32_t>{Cc(0, 7, 99)});

    Form->close();
    const TIniFile written = TIniFile::Load(IniFileName());
    EXPECT_EQ(written.ReadString("Controls", "Mutate", ""), "cc 4 21");
    EXPECT_EQ(written.ReadString("Controls", "MorphKnob", ""), "cc 1 22");
    EXPECT_TRUE(Dialogs.Errors.isEmpty());
}

// Under the breeder's mask as keypad morph: a locked gene keeps the value the
// turn began with, a ranged one stays in its range. Every move is kept soon
// and drops a changed worm's rating; the turn stays one undo step.
TEST_F(ControlsTest, TheMorphKnobMovesTheAudibleWormToTheFrozenOneUnderTheMaskInOneUndoStep)
{
    ASSERT_NO_FATAL_FAILURE(Start("[Settings]\r\nChannelActiveA=1\r\n[Midi]\r\nMidiIn=Keyboard\r\n"
                                  "[Controls]\r\nMorphKnob=cc 0 1\r\n"));
    TWormPanel* panel = Panel(0);
    panel->SetAudible(5);
    const TGenome start = Genome(panel->Worms(5));
    const TGenome frozen = Genome(panel->Worms(0));
    // One gene locked, one held in a collapsed range between start and frozen.
    std::vector<int> differing;
    for (size_t i = 0; i < start.size(); ++i)
        if (std::abs(start[i] - frozen[i]) >= 2)
            differing.push_back(static_cast<int>(i));
    ASSERT_GE(differing.size(), 2u);
    const int locked = differing[0];
    const int ranged = differing[1];
    const int middle = (start[ranged] + frozen[ranged]) / 2;
    TGeneMask mask;
    mask.SetLocked(locked, true);
    mask.SetRange(ranged, middle, middle);
    panel->SetGeneMask(mask);
    Form->Reports.clear();
    const std::string kept = TKeptBreeders::FileName();
    const auto keptWorm = [&] {
        return std::filesystem::exists(kept) ? Genome(ReadBreederFile(ReadWholeFile(kept), 4, 16)[0][5]) : TGenome();
    };

    Send(Cc(0, 1, 0));
    Send(Cc(0, 1, 64));
    // The first move is kept a while later; a move after it drops the rating
    // given meanwhile and is kept again.
    ASSERT_TRUE(QTest::qWaitFor([&] { return keptWorm() == Genome(panel->Worms(5)); }, 3000));
    panel->SetRating(5, 2);
    Send(Cc(0, 1, 64));
    Send(Cc(0, 1, 127));
    EXPECT_EQ(panel->Rating(5), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return keptWorm() == Genome(panel->Worms(5)); }, 3000))
        << "a later move of the turn was not kept";

    // Every new value is heard; the same value again is no change.
    ASSERT_EQ(Form->Reports.size(), 3u);
    for (size_t r = 0; r < 3; ++r) {
        EXPECT_EQ(Form->Reports[r].Genes[static_cast<size_t>(locked)], start[static_cast<size_t>(locked)]) << r;
        EXPECT_EQ(Form->Reports[r].Genes[static_cast<size_t>(ranged)], middle) << r;
    }
    TGenome end = frozen;
    end[static_cast<size_t>(locked)] = start[static_cast<size_t>(locked)];
    end[static_cast<size_t>(ranged)] = static_cast<uint8_t>(middle);
    EXPECT_EQ(Form->Reports[2].Genes, end);
    const TGenome& half = Form->Reports[1].Genes;
    for (size_t i = 0; i < half.size(); ++i)
        EXPECT_TRUE(half[i] >= std::min(start[i], end[i]) && half[i] <= std::max(start[i], end[i])) << i;
    EXPECT_NE(half, Form->Reports[0].Genes);
    EXPECT_EQ(Genome(panel->Worms(0)), frozen);

    // The whole turn is one undo step.
    auto* undo = Find<QAction>("MenuUndo");
    ASSERT_TRUE(undo->isEnabled());
    undo->trigger();
    EXPECT_EQ(Genome(panel->Worms(5)), start);
    EXPECT_FALSE(undo->isEnabled());
}

// A turn that goes on after an undo (which may leave the worm just as the
// knob left it) is a step of its own again, and its undo brings back its start.
TEST_F(ControlsTest, AMorphKnobTurnAfterAnUndoHasItsOwnUndoStep)
{
    ASSERT_NO_FATAL_FAILURE(Start("[Settings]\r\nChannelActiveA=1\r\n[Midi]\r\nMidiIn=Keyboard\r\n"
                                  "[Controls]\r\nMorphKnob=cc 0 1\r\n"));
    TWormPanel* panel = Panel(0);
    panel->SetAudible(5);
    const TGenome start = Genome(panel->Worms(5));
    auto* undo = Find<QAction>("MenuUndo");
    Send(Cc(0, 1, 64));
    Send(Cc(0, 1, 0)); // back where the turn began
    ASSERT_TRUE(undo->isEnabled());
    undo->trigger();
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_EQ(Genome(panel->Worms(5)), start);

    Send(Cc(0, 1, 90));
    EXPECT_NE(Genome(panel->Worms(5)), start);
    ASSERT_TRUE(undo->isEnabled()) << "the turn after the undo recorded no step";
    undo->trigger();
    EXPECT_EQ(Genome(panel->Worms(5)), start);
}

// A control held down on one input device (its value at 127) must not hold
// back the first press of the same control on the device chosen next, and
// the knob takes the new device's first value wherever it stands.
TEST(ControlMap, ANewInputDeviceStartsWithNoRememberedValues)
{
    TControlMap map;
    int mutations = 0;
    std::vector<int> knob;
    map.AddAction("Mutate", "Mutate", [&] { ++mutations; });
    map.AddKnob("Morph knob", [&](int value) { knob.push_back(value); });
    ASSERT_TRUE(map.SetBinding("Mutate", *TControlBinding::Parse("cc 1 20")));
    ASSERT_TRUE(map.SetBinding(TControlMap::kMorphKnob, *TControlBinding::Parse("cc 1 21")));
    const auto cc = [](int number, int value) { return static_cast<uint32_t>(0xB0 | number << 8 | value << 16); };
    map.Receive(cc(20, 127));
    map.Receive(cc(21, 90));
    map.Receive(cc(20, 127)); // still held: no new press
    EXPECT_EQ(mutations, 1);

    map.ForgetValues();
    map.Receive(cc(20, 127));
    map.Receive(cc(21, 90));
    EXPECT_EQ(mutations, 2) << "the first press on the new device was swallowed";
    EXPECT_EQ(knob, (std::vector<int>{90, 90}));
}

} // namespace
