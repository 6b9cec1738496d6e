// The main window's audition and MIDI thru: the toggle, and keeping the MIDI
// scheduler in step with the channels, the phrase and the open ports.
#include "app/FrmMain.h"
#include "app/InstrumentBreeders.h"
#include "app/StatusLine.h"
#include "common/Guard.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"
#include "midi/MidiScheduler.h"
#include "midi/SynthBinding.h"
#include "worms/WormPanel.h"

#include <QAction>

#include <algorithm>
#include <QToolButton>

namespace zw {

QWidget* TFormMain::CreateAuditionButton(QWidget* parent)
{
    SpeedButtonAudition = AddButton("SpeedButtonAudition", "Audition [F5]", "Play notes on the active channels", parent);
    SpeedButtonAudition->setCheckable(true);
    SpeedButtonAudition->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(SpeedButtonAudition, &QToolButton::clicked, this,
            [this](bool down) { RunGuarded([&] { AuditionPressed(down); }); });
    return SpeedButtonAudition;
}

void TFormMain::SetAuditionPlaying(bool playing)
{
    FAudition.Playing = playing;
    SpeedButtonAudition->setChecked(playing);
    MenuAudition->setChecked(playing);
    FScheduler->SetPlaying(playing);
}

void TFormMain::AuditionPressed(bool on)
{
    const TChannel shown = CurrentPanel()->Tag();
    const TAuditionPress press = PressAudition(on, FActiveChannels.Contains(shown));
    if (press.SwitchOn) {
        FChActiveButtons[static_cast<size_t>(shown)]->setChecked(true);
        SpeedButtonChActiveClick(shown, true);
        FStatusLine->Show(TStatusTopic::Channels,
                          QString("Audition switched channel %1 on").arg(QChar('A' + shown)));
    }
    SetAuditionPlaying(press.Playing);
    if (press.Playing)
        FFirstSteps.AuditionStarted();
    ShowHint();
}

void TFormMain::ShowHint() { FStatusLine->Show(TStatusTopic::Hint, FFirstSteps.Hint()); }

void TFormMain::SendActiveChannels()
{
    for (TChannel c = 0; c < kChannelCount; ++c)
        if (FActiveChannels.Contains(c))
            RunGuarded([&] { WormPanel(c)->NotifyAudible(); });
}

void TFormMain::SyncMidiScheduler()
{
    FScheduler->SetPhrase(FAudition.Phrase());

    TMidiScheduler::TThruRoutes routes{};
    TMidiScheduler::TThruVoices voices{};
    for (TChannel c = 0; c < kChannelCount; ++c) {
        const auto i = static_cast<size_t>(c);
        const bool active = FActiveChannels.Contains(c);
        const auto outChannel = static_cast<uint8_t>(FOutChannels[i] & 0x0F);
        const auto inChannel = static_cast<size_t>(FInChannels[i] & 0x0F);
        FScheduler->SetVoice(c, active, outChannel);
        if (!active || !FThru)
            continue;
        if (FInstruments && FInstruments->Plays(c)) // thru to the breeder's own instrument
            voices[inChannel] |= static_cast<uint8_t>(1u << c);
        else
            routes[inChannel] |= static_cast<uint16_t>(1u << outChannel);
    }
    FScheduler->SetThruRoutes(routes, voices);
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
    delete FInstruments; // its voices' notes end while the scheduler still runs
    FInstruments = nullptr;
    FScheduler.reset();
}

void TFormMain::ConfigureInstruments()
{
    if (!FInstruments) {
        auto* synth = dynamic_cast<TSynthBinding*>(&MidiBinding());
        if (!synth || std::all_of(FInstrumentUris.begin(), FInstrumentUris.end(), [](auto& uri) { return uri.empty(); }))
            return; // no engine, or nothing chosen: no plug-in is ever loaded
        FInstruments = new TInstrumentBreeders(*FLv2Catalog, synth->Audio(), *FScheduler, this);
        connect(FInstruments, &TInstrumentBreeders::Failed, this, [this](int breeder, const QString& message) {
            StatusLine()->Show(TStatusTopic::Sound, message + QString(" Breeder %1 plays the MIDI output.").arg(QChar('A' + breeder)));
        });
        connect(FInstruments, &TInstrumentBreeders::Ready, this, [this](int breeder) {
            RunGuarded([&] {
                SyncMidiScheduler();
                WormPanel(breeder)->NotifyAudible(); // the audible worm's genes reach the instrument at once
            });
        });
    }
    FInstruments->Configure(FInstrumentUris);
}

void TFormMain::SetInstruments(const std::array<std::string, kChannelCount>& uris)
{
    const std::array<std::string, kChannelCount> before = FInstrumentUris;
    FInstrumentUris = uris;
    ConfigureInstruments();
    SyncMidiScheduler(); // thru of a dropped instrument goes to the MIDI output
    for (TChannel c = 0; c < kChannelCount; ++c) {
        const auto i = static_cast<size_t>(c);
        if (uris[i] != before[i])
            WormPanel(c)->NotifyAudible(); // through the rules until a new instrument plays
    }
}

void TFormMain::SaveLv2PresetClick() { AskSaveLv2Preset(FInstruments, CurrentPanel()->Tag()); }

} // namespace zw
