#include "ui/AuditionControl.h"

#include "app/FirstSteps.h"
#include "app/ThruPlan.h"
#include "common/Guard.h"
#include "midi/MidiScheduler.h"
#include "ui/Automation.h"
#include "ui/BreederTabs.h"
#include "ui/MidiDevices.h"
#include "ui/StatusLine.h"
#include "worms/WormPanel.h"

#include <QAction>
#include <QToolButton>

namespace zw {

TAuditionControl::TAuditionControl(const TBreederTabs& breeders, TMidiDevices& midi, TAutomation& automation,
                                   TStatusLine& status)
    : FBreeders(breeders), FMidi(midi), FAutomation(automation), FStatus(status)
{
}

QToolButton* TAuditionControl::CreateButton(QWidget* parent)
{
    FButton = new QToolButton(parent);
    FButton->setObjectName("SpeedButtonAudition");
    FButton->setText("Audition [F5]");
    FButton->setToolTip("Play notes on the active channels");
    FButton->setFocusPolicy(Qt::NoFocus);
    FButton->setCheckable(true);
    FButton->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(FButton, &QToolButton::clicked, this, [this](bool down) { RunGuarded([&] { Pressed(down); }); });
    return FButton;
}

void TAuditionControl::SetMenuAction(QAction* action)
{
    FMenu = action;
    FMenu->setCheckable(true);
    connect(FMenu, &QAction::triggered, this, [this](bool on) { RunGuarded([&] { Pressed(on); }); });
}

void TAuditionControl::SetPlaying(bool playing)
{
    FSettings.Playing = playing;
    FButton->setChecked(playing);
    FMenu->setChecked(playing);
    FMidi.Scheduler().SetPlaying(playing);
}

void TAuditionControl::Pressed(bool on)
{
    const TChannel shown = FBreeders.Shown()->Tag();
    const TAuditionPress press = PressAudition(on, FAutomation.ActiveChannels().Contains(shown));
    if (press.SwitchOn) {
        FAutomation.ActiveClick(shown, true);
        FStatus.Show(TStatusTopic::Channels, QString("Audition switched channel %1 on").arg(QChar('A' + shown)));
    }
    SetPlaying(press.Playing);
    if (FHooks.Pressed)
        FHooks.Pressed(press.Playing);
}

void TAuditionControl::ToggleAB()
{
    TWormPanel* panel = FBreeders.Shown();
    if (!panel->ToggleAB())
        return;
    // A retriggering audition has started the note anew with the genome.
    const TChannel channel = panel->Tag();
    if (!FSettings.Retrigger && FAutomation.ActiveChannels().Contains(channel))
        FMidi.Scheduler().Restart(channel);
}

void TAuditionControl::Retrigger(TChannel channel)
{
    if (FSettings.Retrigger)
        FMidi.Scheduler().Restart(channel);
}

void TAuditionControl::SyncScheduler()
{
    TMidiScheduler& scheduler = FMidi.Scheduler();
    scheduler.SetPhrase(FSettings.Phrase());
    for (TChannel c = 0; c < kChannelCount; ++c) {
        const bool plays = FAutomation.ActiveChannels().Contains(c) && !(FHooks.Silenced && FHooks.Silenced(c));
        scheduler.SetVoice(c, plays, static_cast<uint8_t>(FMidi.OutChannel(c) & 0x0F));
    }
    const TThruPlan plan =
        PlanThru(FAutomation.ActiveChannels(), FMidi.InChannels(), FMidi.OutChannels(), FMidi.Thru(), FHooks.PlaysInstrument);
    scheduler.SetThruRoutes(plan.Routes, plan.Voices);
}

} // namespace zw
