#include "midi/FrmMidDlg.h"
#include "support/ScriptedMidiBinding.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <functional>

namespace zw {
namespace {

class MidiDialog : public ::testing::Test {
protected:
    MidiDialog()
    {
        midi.InDevices = {"Keys", "ABC", "\xC3\x89tude"}; // the last one is "Étude"
        midi.OutDevices = {"Synth A", "Synth B"};
    }

    QComboBox* List(TFormMidiDialog& dialog, const char* name) { return dialog.findChild<QComboBox*>(name); }
    QAbstractSpinBox* Field(TFormMidiDialog& dialog, const QString& name)
    {
        return dialog.findChild<QAbstractSpinBox*>(name);
    }
    QStringList Entries(QComboBox* list)
    {
        QStringList entries;
        for (int i = 0; i < list->count(); ++i)
            entries << list->itemText(i);
        return entries;
    }

    // Execute, with `user` acting once the dialog is shown; the dialog must end.
    bool ExecuteWith(TFormMidiDialog& dialog, std::function<void()> user)
    {
        bool acted = false;
        QTimer::singleShot(0, &dialog, [&] {
            acted = true;
            user();
            if (dialog.isVisible()) {
                ADD_FAILURE() << "the dialog is still open";
                dialog.done(QDialog::Rejected);
            }
        });
        const bool result = dialog.Execute();
        EXPECT_TRUE(acted);
        return result;
    }

    void Click(TFormMidiDialog& dialog, const char* button)
    {
        dialog.findChild<QToolButton*>(button)->click();
    }

    TScriptedMidiBinding midi;
};

TEST_F(MidiDialog, FillsBothListsOnceWithTheMapperFirst)
{
    TFormMidiDialog dialog(nullptr, &midi);
    EXPECT_EQ(dialog.windowTitle(), "MIDI settings");
    EXPECT_EQ(dialog.size(), QSize(209, 300));
    EXPECT_EQ(dialog.palette().color(QPalette::Window), QColor(196, 189, 194));
    EXPECT_EQ(Entries(List(dialog, "ComboBoxInputs")), (QStringList{"Keys", "ABC", "\u00C9tude"}));
    EXPECT_EQ(Entries(List(dialog, "ComboBoxOutputs")), (QStringList{"Scripted mapper", "Synth A", "Synth B"}));
    EXPECT_EQ(dialog.SelectedInput(), "Keys");
    EXPECT_EQ(dialog.SelectedOutput(), "Scripted mapper");
    EXPECT_EQ(List(dialog, "ComboBoxOutputs")->currentIndex(), 0);

    midi.InDevices = {"New"};
    dialog.FillDeviceLists();
    EXPECT_EQ(List(dialog, "ComboBoxInputs")->count(), 3) << "devices that appear later wait for the next start";
}

TEST_F(MidiDialog, WithoutDevicesTheInputListIsEmptyAndTheMapperSelected)
{
    midi.InDevices.clear();
    midi.OutDevices.clear();
    TFormMidiDialog dialog(nullptr, &midi);
    EXPECT_EQ(List(dialog, "ComboBoxInputs")->count(), 0);
    EXPECT_EQ(List(dialog, "ComboBoxInputs")->currentIndex(), -1);
    EXPECT_TRUE(dialog.SelectedInput().isEmpty());
    EXPECT_EQ(Entries(List(dialog, "ComboBoxOutputs")), QStringList{"Scripted mapper"});
    EXPECT_EQ(dialog.SelectedOutput(), "Scripted mapper");
}

TEST_F(MidiDialog, AFailedQueryListsAnEmptyName)
{
    midi.Fail(TScriptedMidiBinding::TCall::InGetDevCaps, MMSYSERR_ERROR);
    TFormMidiDialog dialog(nullptr, &midi);
    EXPECT_EQ(Entries(List(dialog, "ComboBoxInputs")), (QStringList{"", "ABC", "\u00C9tude"}));
}

TEST_F(MidiDialog, SelectMatchesAsciiLettersCaseInsensitively)
{
    TFormMidiDialog dialog(nullptr, &midi);
    QComboBox* inputs = List(dialog, "ComboBoxInputs");
    dialog.SelectInput("abc");
    EXPECT_EQ(inputs->currentIndex(), 1);
    EXPECT_EQ(dialog.SelectedInput(), "ABC") << "the entry's own text";

    dialog.SelectInput("\u00E9TUDE"); // differs in an accented letter only
    EXPECT_EQ(inputs->currentIndex(), -1);
    EXPECT_EQ(dialog.SelectedInput(), "ABC") << "no match keeps the previous name";
    dialog.SelectInput("\u00C9TUDE");
    EXPECT_EQ(dialog.SelectedInput(), "\u00C9tude");

    dialog.SelectOutput("SYNTH b");
    EXPECT_EQ(List(dialog, "ComboBoxOutputs")->currentIndex(), 2);
    EXPECT_EQ(dialog.SelectedOutput(), "Synth B");
    dialog.SelectOutput("Missing");
    EXPECT_EQ(List(dialog, "ComboBoxOutputs")->currentIndex(), -1);
    EXPECT_EQ(dialog.SelectedOutput(), "Synth B");
}

TEST_F(MidiDialog, ChannelFieldsAreConfinedToZeroToFifteen)
{
    TFormMidiDialog dialog(nullptr, &midi);
    dialog.SetInChannelA(16);
    dialog.SetOutChannelD(-1);
    dialog.SetInChannelC(9);
    EXPECT_EQ(dialog.InChannelA(), 15);
    EXPECT_EQ(dialog.OutChannelD(), 0);
    EXPECT_EQ(dialog.InChannelC(), 9);
    EXPECT_EQ(Field(dialog, "SpinEditInChannelA")->text(), "15");
    EXPECT_EQ(dialog.InChannelB(), 0) << "initial value";

    QAbstractSpinBox* field = Field(dialog, "SpinEditOutChannelB");
    field->stepBy(20);
    EXPECT_EQ(dialog.OutChannelB(), 15);
    field->stepBy(-3);
    EXPECT_EQ(dialog.OutChannelB(), 12);
}

TEST_F(MidiDialog, TypedNumbersAreCorrectedOnlyWhenTheFieldLosesFocus)
{
    TFormMidiDialog dialog(nullptr, &midi);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QAbstractSpinBox* field = Field(dialog, "SpinEditInChannelB");
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, "20");
    EXPECT_EQ(dialog.InChannelB(), 20);
    Field(dialog, "SpinEditInChannelC")->setFocus();
    EXPECT_EQ(dialog.InChannelB(), 15);

    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, "x");
    EXPECT_EQ(dialog.InChannelB(), 0) << "text that is no number reads as 0";
}

TEST_F(MidiDialog, OkHandsBackTheShownEntriesAndTheChannels)
{
    TFormMidiDialog dialog(nullptr, &midi);
    dialog.SelectInput("Keys");
    dialog.SelectOutput("Synth A");
    dialog.SetOutChannelC(7);
    const bool ok = ExecuteWith(dialog, [&] {
        List(dialog, "ComboBoxInputs")->setCurrentIndex(1);
        List(dialog, "ComboBoxOutputs")->setCurrentIndex(2);
        dialog.SetInChannelD(3);
        Click(dialog, "SpeedButtonOk");
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(dialog.SelectedInput(), "ABC");
    EXPECT_EQ(dialog.SelectedOutput(), "Synth B");
    EXPECT_EQ(dialog.InChannelD(), 3);
    EXPECT_EQ(dialog.OutChannelC(), 7);
}

TEST_F(MidiDialog, OkWithoutAShownEntryKeepsThePreviousName)
{
    TFormMidiDialog dialog(nullptr, &midi);
    dialog.SelectInput("Not here");
    EXPECT_EQ(List(dialog, "ComboBoxInputs")->currentIndex(), -1);
    EXPECT_TRUE(ExecuteWith(dialog, [&] { Click(dialog, "SpeedButtonOk"); }));
    EXPECT_EQ(dialog.SelectedInput(), "Keys") << "the first device's name from the filling, not an empty name";
}

TEST_F(MidiDialog, CancelAlsoTakesTheShownEntriesButTheCloseBoxDoesNot)
{
    TFormMidiDialog dialog(nullptr, &midi);
    EXPECT_FALSE(ExecuteWith(dialog, [&] {
        List(dialog, "ComboBoxOutputs")->setCurrentIndex(1);
        Click(dialog, "SpeedButtonCancel");
    }));
    EXPECT_EQ(dialog.SelectedOutput(), "Synth A");

    EXPECT_FALSE(ExecuteWith(dialog, [&] {
        List(dialog, "ComboBoxOutputs")->setCurrentIndex(2);
        dialog.close();
    }));
    EXPECT_EQ(dialog.SelectedOutput(), "Synth A");
}

TEST_F(MidiDialog, EnterAndEscapeActOnlyWithoutShiftCtrlOrAlt)
{
    TFormMidiDialog dialog(nullptr, &midi);
    EXPECT_TRUE(ExecuteWith(dialog, [&] {
        QComboBox* outputs = List(dialog, "ComboBoxOutputs");
        outputs->setFocus();
        outputs->setCurrentIndex(1);
        for (auto modifier : {Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier}) {
            QTest::keyClick(outputs, Qt::Key_Return, modifier);
            QTest::keyClick(outputs, Qt::Key_Escape, modifier);
            EXPECT_TRUE(dialog.isVisible());
        }
        QTest::keyClick(outputs, Qt::Key_Return);
    }));
    EXPECT_EQ(dialog.SelectedOutput(), "Synth A");

    EXPECT_FALSE(ExecuteWith(dialog, [&] {
        Field(dialog, "SpinEditInChannelA")->setFocus();
        QTest::keyClick(Field(dialog, "SpinEditInChannelA"), Qt::Key_Escape);
    }));
    EXPECT_TRUE(ExecuteWith(dialog, [&] { QTest::keyClick(&dialog, Qt::Key_Enter, Qt::KeypadModifier); }));
}

TEST_F(MidiDialog, EnterInAFieldReadsTheTypedNumberBackUnchanged)
{
    TFormMidiDialog dialog(nullptr, &midi);
    EXPECT_TRUE(ExecuteWith(dialog, [&] {
        QAbstractSpinBox* field = Field(dialog, "SpinEditOutChannelA");
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, "42");
        QTest::keyClick(field, Qt::Key_Return);
    }));
    EXPECT_EQ(dialog.OutChannelA(), 42);
}

TEST_F(MidiDialog, ControlsAreInTheirTabOrderAndTheButtonsTakeNoFocus)
{
    TFormMidiDialog dialog(nullptr, &midi);
    const QStringList expected = {"ComboBoxInputs",      "ComboBoxOutputs",     "SpinEditInChannelA",
                                  "SpinEditOutChannelA", "SpinEditInChannelB",  "SpinEditInChannelC",
                                  "SpinEditInChannelD",  "SpinEditOutChannelB", "SpinEditOutChannelC",
                                  "SpinEditOutChannelD"};
    QStringList order;
    QWidget* widget = List(dialog, "ComboBoxInputs");
    for (int i = 0; i < expected.size(); ++i) {
        order << widget->objectName();
        do
            widget = widget->nextInFocusChain();
        while (!expected.contains(widget->objectName()) && widget != &dialog);
    }
    EXPECT_EQ(order, expected);
    EXPECT_EQ(dialog.findChild<QToolButton*>("SpeedButtonOk")->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(dialog.findChild<QToolButton*>("SpeedButtonCancel")->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(List(dialog, "ComboBoxInputs")->width(), 201);
    EXPECT_EQ(Field(dialog, "SpinEditOutChannelC")->geometry().left(), 111);
}

TEST_F(MidiDialog, AccessKeysFocusTheLists)
{
    TFormMidiDialog dialog(nullptr, &midi);
    EXPECT_TRUE(ExecuteWith(dialog, [&] {
        QApplication::setActiveWindow(&dialog);
        Field(dialog, "SpinEditInChannelA")->setFocus();
        QTest::keyClick(&dialog, Qt::Key_O, Qt::AltModifier);
        EXPECT_EQ(QApplication::focusWidget(), List(dialog, "ComboBoxOutputs"));
        QTest::keyClick(&dialog, Qt::Key_I, Qt::AltModifier);
        EXPECT_EQ(QApplication::focusWidget(), List(dialog, "ComboBoxInputs"));
        Click(dialog, "SpeedButtonOk");
    }));
}

TEST_F(MidiDialog, RefreshingListsNewDevicesKeepsTheSelectionsAndOffersTheMidiSystem)
{
    TFormMidiDialog dialog(nullptr, &midi);
    dialog.SelectInput("ABC");
    dialog.SelectOutput("Synth B");
    midi.InDevices = {"New", "ABC"};
    dialog.RefreshDeviceLists();
    EXPECT_EQ(Entries(List(dialog, "ComboBoxInputs")), (QStringList{"New", "ABC"}));
    EXPECT_EQ(dialog.SelectedInput(), "ABC");
    EXPECT_EQ(List(dialog, "ComboBoxInputs")->currentIndex(), 1);
    EXPECT_EQ(dialog.SelectedOutput(), "Synth B");

    dialog.SetSystem(TMidiSystem::Jack);
    EXPECT_EQ(List(dialog, "ComboBoxSystem")->currentText(), "JACK");
    List(dialog, "ComboBoxSystem")->setCurrentIndex(1);
    EXPECT_EQ(dialog.SelectedSystem(), TMidiSystem::Alsa);
}

// Choosing another system shows its devices at once, keeping a chosen name it
// has too; choosing the one in use again shows the binding's devices.
TEST_F(MidiDialog, ChoosingASystemShowsItsDevicesAtOnce)
{
    TFormMidiDialog dialog(nullptr, &midi);
    dialog.SetSystem(TMidiSystem::Jack);
    dialog.SelectOutput("Synth B");
    dialog.SetSystemLister([](TMidiSystem system) {
        return system == TMidiSystem::Alsa ? TMidiDeviceNames{{"Far keys"}, {"Far mapper", "Far synth", "Synth B"}}
                                           : TMidiDeviceNames{};
    });
    const auto choose = [&](TMidiSystem system) {
        List(dialog, "ComboBoxSystem")->setCurrentIndex(static_cast<int>(system));
        emit List(dialog, "ComboBoxSystem")->activated(static_cast<int>(system)); // as a user's choice
    };
    choose(TMidiSystem::Alsa);
    EXPECT_EQ(Entries(List(dialog, "ComboBoxInputs")), QStringList{"Far keys"});
    EXPECT_EQ(Entries(List(dialog, "ComboBoxOutputs")), (QStringList{"Far mapper", "Far synth", "Synth B"}));
    EXPECT_EQ(dialog.SelectedOutput(), "Synth B");
    choose(TMidiSystem::Jack);
    EXPECT_EQ(Entries(List(dialog, "ComboBoxOutputs")), (QStringList{"Scripted mapper", "Synth A", "Synth B"}));
    EXPECT_EQ(dialog.SelectedOutput(), "Synth B");
}

} // namespace
} // namespace zw
