// The main window's side of the MIDI-learned controls: which of its actions a
// MIDI message can trigger, the input handed to them, the morph knob, the
// Controls dialog, and keeping thru away from the bound messages.
#include "app/ControlMap.h"
#include "app/FrmControls.h"
#include "app/FrmMain.h"
#include "app/MorphKnob.h"
#include "app/StatusLine.h"
#include "midi/MidiIn.h"
#include "midi/MidiScheduler.h"
#include "worms/WormPanel.h"

#include <QStringList>
#include <QTabWidget>

namespace zw {

void TFormMain::CreateControls()
{
    FControls = std::make_unique<TControlMap>();
    FMorphKnob = std::make_unique<TMorphKnob>();
    // Each acts on the breeder shown, as the keys do; one line per action.
    const auto shown = [this](void (TWormPanel::*action)()) { return [this, action] { (CurrentPanel()->*action)(); }; };
    const auto showNext = [this](int step) {
        return [this, step] {
            PageControl1->setCurrentIndex((PageControl1->currentIndex() + step + kChannelCount) % kChannelCount);
        };
    };
    FControls->AddAction("Randomize", "Randomize", shown(&TWormPanel::RandomizeAll));
    FControls->AddAction("Mate", "Mate", shown(&TWormPanel::Mate));
    FControls->AddAction("Mutate", "Mutate", shown(&TWormPanel::MutateAll));
    FControls->AddAction("Morph", "Morph", shown(&TWormPanel::Morph));
    FControls->AddAction("Left", "Audible worm left", shown(&TWormPanel::AudiblePrev));
    FControls->AddAction("Right", "Audible worm right", shown(&TWormPanel::AudibleNext));
    FControls->AddAction("Up", "Audible worm up", shown(&TWormPanel::AudibleUp));
    FControls->AddAction("Down", "Audible worm down", shown(&TWormPanel::AudibleDown));
    FControls->AddAction("Undo", "Undo", [this] { UndoClick(); });
    FControls->AddAction("Redo", "Redo", [this] { RedoClick(); });
    FControls->AddAction("Audition", "Audition on/off", [this] { SetAuditionPlaying(!AuditionPlaying()); });
    FControls->AddAction("NextBreeder", "Next breeder", showNext(1));
    FControls->AddAction("PreviousBreeder", "Previous breeder", showNext(-1));
    FControls->AddAction("BreedFromRated", "Breed from rated", [this] { BreedFromRated(); });
    FControls->AddAction("AB", "A/B", [this] { ToggleAB(); });
    FControls->AddKnob("Morph knob", [this](int value) { FMorphKnob->Turn(*CurrentPanel(), value); });
    MidiInput->SetOnMidiInput([this](TMidiInput*) { MidiInputReceived(); });
}

void TFormMain::MidiInputReceived()
{
    // Everything waiting, in the order it came; what comes meanwhile (an
    // action's error box runs an event loop) is taken by the inner call.
    TRingEvent event{};
    while (MidiInput->TakeEvent(event)) {
        if (event.Message == 0)
            continue; // system-exclusive data: no control takes it
        if (FFormControls && FFormControls->isVisible() && FFormControls->Learn(event.Message))
            continue;
        FControls->Receive(event.Message);
    }
}

void TFormMain::ApplyControls()
{
    FScheduler->ThruFilter().Set(FControls->BoundMessages());
}

void TFormMain::ApplyControlSettings(const TControlSettings& settings)
{
    FControls->ApplySettings(settings);
    ApplyControls();
    const std::vector<std::string> unreadable = FControls->Settings().Unreadable;
    if (unreadable.empty())
        return;
    QStringList entries;
    for (const std::string& entry : unreadable)
        entries << QString::fromStdString(entry);
    FStatusLine->Show(TStatusTopic::Hint,
                      QString("[Controls] %1: no binding such as \"cc 0 20\"; ignored and kept in the settings file.")
                          .arg(entries.join(", ")));
}

void TFormMain::ControlsClick()
{
    if (!FFormControls)
        FFormControls = new TFormControls(this);
    FFormControls->SetControls(FControls->Controls());
    FFormControls->SetInputChosen(!FMidiInName.isEmpty());
    if (!FFormControls->Execute())
        return;
    for (const TControlMap::TControl& control : FFormControls->Controls())
        FControls->SetBinding(control.Key, control.Binding);
    ApplyControls();
}

} // namespace zw
