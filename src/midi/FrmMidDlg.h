#pragma once

#include "midi/MidiBinding.h"

#include <QDialog>
#include <QString>

#include <functional>
#include <string>
#include <vector>

class QComboBox;
class QAbstractSpinBox;

namespace zw {

class TSpinEdit;

// The devices a MIDI system offers, by the names they are chosen by: the
// outputs with the mapper first.
struct TMidiDeviceNames {
    std::vector<std::string> Inputs;
    std::vector<std::string> Outputs;
};
// What `binding` lists now; a failed query lists an empty name.
TMidiDeviceNames ListMidiDevices(TMidiBinding& binding);

// The MIDI settings dialog: the input and output device and, per channel A–D,
// the MIDI channel for input and output. It only edits values; the main window
// puts its values in, Executes it, and after Ok takes them back:
//
//     RefreshDeviceLists(); SelectInput(name); SelectOutput(name); SetSystem(..);
//     SetInChannelA(..) ... SetOutChannelD(..);
//     if (Execute()) { read the channels and SelectedSystem(); use SelectedInput(), then SelectedOutput(); }
//
// The device lists are filled at creation, and again by RefreshDeviceLists.
class TFormMidiDialog : public QDialog {
    Q_OBJECT
public:
    // `binding` null: the process-wide MidiBinding() (see MidiBinding.h).
    explicit TFormMidiDialog(QWidget* parent = nullptr, TMidiBinding* binding = nullptr);
    ~TFormMidiDialog() override;

    // Fills the lists unless they are filled.
    void FillDeviceLists();
    // Fills them anew from what the MIDI system lists now (it is looked for
    // again if it was away); the selections are kept where their names still are.
    void RefreshDeviceLists();
    // Selects the first entry equal to `name` ignoring the case of a–z and
    // remembers its text; no entry shown when none is equal.
    void SelectInput(const QString& name);
    void SelectOutput(const QString& name);
    const QString& SelectedInput() const { return FSelectedInput; }
    const QString& SelectedOutput() const { return FSelectedOutput; }

    // Channel values of channel 0..3 (A..D): written confined to 0–15, read as shown.
    int InChannel(int channel) const;
    void SetInChannel(int channel, int value);
    int OutChannel(int channel) const;
    void SetOutChannel(int channel, int value);
    int InChannelA() const { return InChannel(0); }
    int InChannelB() const { return InChannel(1); }
    int InChannelC() const { return InChannel(2); }
    int InChannelD() const { return InChannel(3); }
    void SetInChannelA(int value) { SetInChannel(0, value); }
    void SetInChannelB(int value) { SetInChannel(1, value); }
    void SetInChannelC(int value) { SetInChannel(2, value); }
    void SetInChannelD(int value) { SetInChannel(3, value); }
    int OutChannelA() const { return OutChannel(0); }
    int OutChannelB() const { return OutChannel(1); }
    int OutChannelC() const { return OutChannel(2); }
    int OutChannelD() const { return OutChannel(3); }
    void SetOutChannelA(int value) { SetOutChannel(0, value); }
    void SetOutChannelB(int value) { SetOutChannel(1, value); }
    void SetOutChannelC(int value) { SetOutChannel(2, value); }
    void SetOutChannelD(int value) { SetOutChannel(3, value); }

    // The MIDI system choice (control ComboBoxSystem). SetSystem tells the
    // system in use, whose devices the binding lists.
    void SetSystem(TMidiSystem system);
    TMidiSystem SelectedSystem() const;
    // Lists another system's devices: choosing a system in the dialog shows
    // its devices at once (the system in use through the binding). Without
    // one the lists stay those of the system in use.
    void SetSystemLister(std::function<TMidiDeviceNames(TMidiSystem)> lister) { FSystemLister = std::move(lister); }

    // Shows the dialog modally; true when it was closed with Ok.
    bool Execute();

protected:
    // Key preview: Enter and Escape are seen before the focused control.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BuildControls();
    bool HandleKey(QKeyEvent* event);
    void TakeShownEntries();
    void ShowDevices(const TMidiDeviceNames& devices);
    void SystemChosen();
    void OkAction();
    void CancelAction();
    static void Select(QComboBox* list, const QString& name, QString& selected);

    TMidiBinding& FBinding;
    bool FListsFilled = false;
    TMidiSystem FSystemInUse = TMidiSystem::Auto;
    std::function<TMidiDeviceNames(TMidiSystem)> FSystemLister;
    QString FSelectedInput;
    QString FSelectedOutput;
    QComboBox* FComboBoxInputs = nullptr;
    QComboBox* FComboBoxOutputs = nullptr;
    QComboBox* FComboBoxSystem = nullptr;
    TSpinEdit* FInChannels[4] = {};
    TSpinEdit* FOutChannels[4] = {};
};

} // namespace zw
