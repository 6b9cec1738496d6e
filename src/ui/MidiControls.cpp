#include "ui/MidiControls.h"

#include "app/ControlMap.h"
#include "midi/MidiIn.h"
#include "midi/MidiScheduler.h"
#include "ui/BreederTabs.h"
#include "ui/FrmControls.h"
#include "ui/MidiDevices.h"
#include "ui/MorphKnob.h"
#include "ui/StatusLine.h"
#include "worms/WormPanel.h"

#include <QStringList>

namespace zw {

TMidiControls::TMidiControls(const TBreederTabs& breeders, TMidiDevices& midi, TStatusLine& status, QWidget& window)
    : FBreeders(breeders), FMidi(midi), FStatus(status), FWindow(window),
      FControls(std::make_unique<TControlMap>()), FMorphKnob(std::make_unique<TMorphKnob>())
{
    // Each acts on the breeder shown, as the keys do; one line per action.
    const auto shown = [this](void (TWormPanel::*action)()) {
        return [this, action] { (FBreeders.Shown()->*action)(); };
    };
    FControls->AddAction("Randomize", "Randomize", shown(&TWormPanel::RandomizeAll));
    FControls->AddAction("Mate", "Mate", shown(&TWormPanel::Mate));
    FControls->AddAction("Mutate", "Mutate", shown(&TWormPanel::MutateAll));
    FControls->AddAction("Morph", "Morph", shown(&TWormPanel::Morph));
    FControls->AddAction("Left", "Audible worm left", shown(&TWormPanel::AudiblePrev));
    FControls->AddAction("Right", "Audible worm right", shown(&TWormPanel::AudibleNext));
    FControls->AddAction("Up", "Audible worm up", shown(&TWormPanel::AudibleUp));
    FControls->AddAction("Down", "Audible worm down", shown(&TWormPanel::AudibleDown));
    midi.Input()->SetOnMidiInput([this](TMidiInput*) { InputReceived(); });
}

TMidiControls::~TMidiControls() { FMidi.Input()->SetOnMidiInput(nullptr); }

void TMidiControls::AddAction(const std::string& key, const std::string& caption, std::function<void()> action)
{
    FControls->AddAction(key, caption, std::move(action));
}

void TMidiControls::AddMorphKnob()
{
    FControls->AddKnob("Morph knob", [this](int value) { FMorphKnob->Turn(*FBreeders.Shown(), value); });
}

void TMidiControls::InputReceived()
{
    // Everything waiting, in the order it came; what comes meanwhile (an
    // action's error box runs an event loop) is taken by the inner call.
    TRingEvent event{};
    while (FMidi.Input()->TakeEvent(event)) {
        if (event.Message == 0)
            continue; // system-exclusive data: no control takes it
        if (FForm && FForm->isVisible() && FForm->Learn(event.Message))
            continue;
        FControls->Receive(event.Message);
    }
}

void TMidiControls::ApplyControls() { FMidi.Scheduler().ThruFilter().Set(FControls->BoundMessages()); }

void TMidiControls::ApplySettings(const TMainSettings& s)
{
    FControls->ApplySettings(s.Controls);
    ApplyControls();
    const std::vector<std::string> unreadable = FControls->Settings().Unreadable;
    if (unreadable.empty())
        return;
    QStringList entries;
    for (const std::string& entry : unreadable)
        entries << QString::fromStdString(entry);
    FStatus.Show(TStatusTopic::Hint,
                 QString("[Controls] %1: no binding such as \"cc 0 20\"; ignored and kept in the settings file.")
                     .arg(entries.join(", ")));
}

void TMidiControls::SaveSettings(TMainSettings& s) const { s.Controls = FControls->Settings(); }

void TMidiControls::ControlsClick()
{
    if (!FForm)
        FForm = new TFormControls(&FWindow);
    FForm->SetControls(FControls->Controls());
    FForm->SetInputChosen(!FMidi.InName().isEmpty());
    if (!FForm->Execute())
        return;
    for (const TControlMap::TControl& control : FForm->Controls())
        FControls->SetBinding(control.Key, control.Binding);
    ApplyControls();
}

void TMidiControls::InputOpened()
{
    FControls->ForgetValues();
}

} // namespace zw
