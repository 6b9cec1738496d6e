#pragma once

#include "app/MainSettings.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <string>

class QWidget;

namespace zw {

class TControlMap;
class TFormControls;
class TMidiDevices;
class TMorphKnob;
class TStatusLine;
struct TBreederTabs;

// The main window's MIDI-learned controls: the MIDI input messages bound to
// its actions and to the morph knob, the input handed to them (or, while the
// Controls dialog is open, to its learning), the dialog itself (menu
// "&Controls ..."), and thru kept away from the bound messages. It owns the
// control map, the knob and the dialog; the window names the actions.
class TMidiControls : public QObject {
    Q_OBJECT

public:
    TMidiControls(const TBreederTabs& breeders, TMidiDevices& midi, TStatusLine& status, QWidget& window);
    ~TMidiControls() override;

    // An action a message can be bound to, under its settings key; the
    // Controls dialog lists them in the order added, the knob last.
    void AddAction(const std::string& key, const std::string& caption, std::function<void()> action);
    void AddMorphKnob();

    void ControlsClick();
    const TControlMap& Controls() const { return *FControls; }
    // A control held on the device before does not swallow a press on this one.
    void InputOpened();

    void ApplySettings(const TMainSettings& s);
    void SaveSettings(TMainSettings& s) const;

private:
    void InputReceived();
    void ApplyControls();

    const TBreederTabs& FBreeders;
    TMidiDevices& FMidi;
    TStatusLine& FStatus;
    QWidget& FWindow;
    std::unique_ptr<TControlMap> FControls;
    std::unique_ptr<TMorphKnob> FMorphKnob;
    TFormControls* FForm = nullptr; // child of the window, made at first use
};

} // namespace zw
