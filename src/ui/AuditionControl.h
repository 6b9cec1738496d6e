#pragma once

#include "app/AuditionSettings.h"
#include "app/ChannelSet.h"
#include "app/MainSettings.h"

#include <QObject>

#include <functional>

class QAction;
class QToolButton;
class QWidget;

namespace zw {

class TAutomation;
class TMidiDevices;
class TStatusLine;
struct TBreederTabs;

// The main window's audition: the toggle (button "SpeedButtonAudition", menu
// entry "MenuAudition", F5) that, while on, plays the [Audition] phrase on
// every active channel; A/B, which starts the note anew; and keeping the MIDI
// scheduler in step with the active channels, their MIDI channels, thru and
// the phrase. It owns the audition settings and its toggle's state.
class TAuditionControl : public QObject {
    Q_OBJECT

public:
    struct THooks {
        std::function<bool(TChannel)> PlaysInstrument; // the breeder plays an LV2 instrument
        std::function<void(bool playing)> Pressed;     // after a press of the toggle
        std::function<bool(TChannel)> Silenced;        // the channel keeps quiet (another sound plays instead)
    };

    TAuditionControl(const TBreederTabs& breeders, TMidiDevices& midi, TAutomation& automation, TStatusLine& status);
    void SetHooks(THooks hooks) { FHooks = std::move(hooks); }

    QToolButton* CreateButton(QWidget* parent);
    void SetMenuAction(QAction* action);

    void SetPlaying(bool playing);
    bool Playing() const { return FSettings.Playing; }
    // A press of the toggle, `on` its new state; on a breeder shown that is
    // not active it switches that breeder on and plays.
    void Pressed(bool on);
    // A/B on the breeder shown: the previously audible worm becomes audible
    // again, and the audition note starts anew.
    void ToggleAB();
    // The note of `channel` starts anew with its genome when the audition retriggers.
    void Retrigger(TChannel channel);
    const TAuditionSettings& Settings() const { return FSettings; }

    // Hands the scheduler the active channels, their MIDI channels and the phrase.
    void SyncScheduler();

    void ApplySettings(const TMainSettings& s) { FSettings = s.Audition; }
    void SaveSettings(TMainSettings& s) const { s.Audition = FSettings; }

private:
    const TBreederTabs& FBreeders;
    TMidiDevices& FMidi;
    TAutomation& FAutomation;
    TStatusLine& FStatus;
    THooks FHooks;
    QToolButton* FButton = nullptr;
    QAction* FMenu = nullptr;
    TAuditionSettings FSettings;
};

} // namespace zw
