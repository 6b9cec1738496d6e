// The main window's side of the Sound dialog: the choice made heard (the
// synthesizer, the output, the breeders' instruments), kept and written.
#include "app/FrmMain.h"
#include "app/FrmSound.h"
#include "app/IniFile.h"
#include "app/SoundStatus.h"
#include "common/Guard.h"
#include "midi/MidiOut.h"
#include "midi/SynthBinding.h"
#include "worms/WormPanel.h"

#include <QApplication>
#include <QStringList>

namespace zw {
namespace {

// How long Apply waits for a new output to answer.
constexpr std::chrono::milliseconds kOutputWait{10000};

QString OutputName(const TAudioSettings& audio)
{
    QString name = audio.System == "auto" ? QString("the automatic choice") : QString::fromStdString(audio.System);
    if (!audio.Device.empty())
        name += QString(" device \"%1\"").arg(QString::fromStdString(audio.Device));
    return name;
}

} // namespace

void TFormMain::SoundClick()
{
    auto* synth = dynamic_cast<TSynthBinding*>(&MidiBinding());
    if (!FFormSound)
        FFormSound = new TFormSound(synth ? &synth->Audio() : nullptr, *FLv2Catalog,
                                    [this](const TSoundSettings& chosen) {
                                        bool applied = false;
                                        RunGuarded([&] { applied = ApplySound(chosen); });
                                        return applied;
                                    },
                                    this);
    FFormSound->SetSettings({FAudioSettings, FSynthSettings.SoundFont, FSynthSettings.Gain, FInstrumentUris});
    FFormSound->Execute();
}

bool TFormMain::ApplySound(const TSoundSettings& chosen)
{
    TSynthSettings synthSettings = FSynthSettings;
    synthSettings.SoundFont = chosen.SoundFont;
    synthSettings.Gain = chosen.Gain;
    bool restarted = false;
    bool applied = true;
    if (auto* synth = dynamic_cast<TSynthBinding*>(&MidiBinding())) {
        std::string failure;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const bool synthApplied = synth->Apply(synthSettings, failure, restarted);
        QApplication::restoreOverrideCursor();
        if (!synthApplied) {
            const std::string path = FindSoundFont(chosen.SoundFont);
            Dialogs().ShowError(path.empty() ? QString::fromStdString(failure)
                                             : QString("The SoundFont \"%1\" could not be loaded: the built-in "
                                                       "synthesizer keeps the one it has. Choose a readable .sf2 "
                                                       "file, or leave the field empty to use an installed General "
                                                       "MIDI SoundFont.")
                                                   .arg(QString::fromStdString(path)));
            return false;
        }
        // The same output is not asked again: the dialog shows how it fares.
        if (chosen.Audio != FAudioSettings) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            applied = synth->Audio().TryConfigure(chosen.Audio, failure, kOutputWait);
            QApplication::restoreOverrideCursor();
            // What the output keeps: the new choice, or the one that played before.
            FAudioSettings = synth->Audio().Settings();
        }
        if (!applied)
            Dialogs().ShowError(QString("No sound from %1: %2. %3")
                                    .arg(OutputName(chosen.Audio), QString::fromStdString(failure),
                                         FAudioSettings == chosen.Audio
                                             ? QString("The choice is kept and tried again every few seconds.")
                                             : QString("The output that played before plays on.")));
        FSoundStatus->Refresh();
    } else {
        FAudioSettings = chosen.Audio;
    }
    FSynthSettings = synthSettings;
    if (restarted && FMidiOutOpen && MidiOutput->ProductName() == kSynthDeviceName) {
        // The new synthesizer starts blank: the programs, then the audible genomes.
        SendSynthPrograms();
        for (TWormPanel* panel : FWormPanels)
            panel->NotifyAudible();
    }
    if (chosen.Instruments != FInstrumentUris)
        SetInstruments(chosen.Instruments);
    // Kept at once, so that a crash loses no choice; a file that could not be
    // read at start is still left alone.
    if (!FSettingsUnreadable) {
        QStringList skipped;
        for (const std::string& message : CurrentSettings().WriteSoundToFile(IniFileName()))
            skipped << QString::fromStdString(message);
        if (!skipped.isEmpty())
            Dialogs().ShowError(skipped.join('\n'));
    }
    return applied;
}

} // namespace zw
