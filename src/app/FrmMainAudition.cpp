// The main window's audition and MIDI thru: the toggle, and keeping the MIDI
// scheduler in step with the channels, the phrase and the open ports.
#include "app/FrmMain.h"
#include "common/Guard.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"
#include "midi/MidiScheduler.h"

#include <QAction>
#include <QToolButton>

namespace zw {

QWidget* TFormMain::CreateAuditionButton(QWidget* parent)
{
    SpeedButtonAudition = AddButton("SpeedButtonAudition", "Audition [F5]", "Play notes on the active channels", parent);
    SpeedButtonAudition->setCheckable(true);
    SpeedButtonAudition->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(SpeedButtonAudition, &QToolButton::clicked, this,
            [this](bool down) { RunGuarded([&] { SetAuditionPlaying(down); }); });
    return SpeedButtonAudition;
}

void TFormMain::SetAuditionPlaying(bool playing)
{
    FAudition.Playing = playing;
    SpeedButtonAudition->setChecked(playing);
    MenuAudition->setChecked(playing);
    FScheduler->SetPlaying(playing);
}

void TFormMain::SyncMidiScheduler()
{
    FScheduler->SetPhrase(FAudition.Phrase());

    TMidiScheduler::TThruRoutes routes{};
    for (TChannel c = 0; c < kChannelCount; ++c) {
        const auto i = static_cast<size_t>(c);
        const bool active = FActiveChannels.Contains(c);
        const auto outChannel = static_cast<uint8_t>(FOutChannels[i] & 0x0F);
        FScheduler->SetVoice(c, active, outChannel);
        if (active && FThru)
            routes[static_cast<size_t>(FInChannels[i] & 0x0F)] |= static_cast<uint16_t>(1u << outChannel);
    }
    FScheduler->SetThruRoutes(routes);
}

void TFormMain::ConnectMidiScheduler()
{
    if (FMidiOutOpen)
        FScheduler->SetOutput(&MidiOutput->Binding(), MidiOutput->Handle());
    else
        FScheduler->SetOutput(nullptr, 0);
    MidiInput->SetThruSink(FThru ? FScheduler.get() : nullptr);
}

void TFormMain::DisconnectMidiScheduler()
{
    // The input's callback may reach the scheduler until the port is closed;
    // the scheduler's last note-offs go to the output while it is still open.
    MidiInput->SetThruSink(nullptr);
    try {
        MidiInput->ClosePort();
    } catch (...) {
        // Closing went as far as it could; nothing can be reported from here.
    }
    FScheduler.reset();
}

} // namespace zw
