#include "ui/SoundControl.h"

#include "app/GeneTranslation.h"
#include "app/IniFile.h"
#include "audio/Lv2World.h"
#include "common/Dialogs.h"
#include "common/Guard.h"
#include "midi/MidiOut.h"
#include "midi/MidiScheduler.h"
#include "midi/SynthBinding.h"
#include "rules/FrmTranslat.h"
#include "ui/AuditionControl.h"
#include "ui/Automation.h"
#include "ui/BreederTabs.h"
#include "ui/Forms.h"
#include "ui/FrmSound.h"
#include "ui/InstrumentBreeders.h"
#include "ui/MidiDevices.h"
#include "ui/SoundStatus.h"
#include "ui/StatusLine.h"
#include "worms/WormPanel.h"

#include <QApplication>
#include <QStringList>

#include <algorithm>
#include <optional>

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

TSynthBinding* SynthBinding() { return dynamic_cast<TSynthBinding*>(&MidiBinding()); }

} // namespace

TSoundControl::TSoundControl(const TBreederTabs& breeders, TMidiDevices& midi, TAuditionControl& audition,
                             const TAutomation& automation, TStatusLine& status, QWidget& window)
    : FBreeders(breeders), FMidi(midi), FAudition(audition), FAutomation(automation), FStatus(status),
      FWindow(window), FLv2Catalog(std::make_unique<TLv2Catalog>())
{
    FSoundStatus = new TSoundStatus(
        status,
        []() -> std::optional<TAudioStatus> {
            auto* synth = SynthBinding();
            if (!synth || !synth->SynthOpen())
                return std::nullopt;
            return synth->Audio().Status();
        },
        IniFileName(), &window);
}

TSoundControl::~TSoundControl()
{
    // Its voices' notes end while the scheduler still runs.
    delete FInstruments;
}

TAudioHost* TSoundControl::Audio() const
{
    auto* synth = SynthBinding();
    return synth ? &synth->Audio() : nullptr;
}

bool TSoundControl::PlaysInstrument(TChannel channel) const { return FInstruments && FInstruments->Plays(channel); }

const std::vector<TLv2Gene>* TSoundControl::InstrumentGenes(TChannel channel) const
{
    return FInstruments ? FInstruments->Genes(channel) : nullptr;
}

void TSoundControl::Dispatch(TWormPanel* sender, const TGene& gene)
{
    if (!FormTranslate || !sender)
        return;
    const TChannel channel = sender->Tag();
    if (!FAutomation.ActiveChannels().Contains(channel))
        return;
    if (PlaysInstrument(channel)) {
        // The genes are the instrument's parameters: no rules.
        FInstruments->SetGenome(channel, gene);
        FAudition.Retrigger(channel);
        return;
    }
    if (!FormTranslate->FileNameAssigned())
        FHooks.LoadRules();
    const long long outChannel = channel >= 0 && channel < kChannelCount ? FMidi.OutChannel(channel) : 0;
    // The genome's results reach the MIDI system together, in one hand-off.
    // When a failure ends the translation, the results before it still go
    // (the batch hands them over as it ends), and that failure is the
    // genome's one error; otherwise bytes that made no complete message are.
    std::optional<TMidiOutBatch> batch;
    if (FMidi.OutOpen())
        batch.emplace(*FMidi.Output());
    std::vector<int32_t> genes; // the gene of each result handed over
    TranslateGenome([]() -> const TSubstitution& { return FormTranslate->Substitution(); }, outChannel, gene,
                    [&](int32_t result, const TRuleBytes& bytes) {
                        if (FMidi.SendToMidiOut(bytes))
                            genes.push_back(result);
                    });
    std::string incomplete;
    if (batch) {
        try {
            incomplete = IncompleteBytesReport(genes, batch->End());
        } catch (const EmidioutputError&) {
            // The hand-off failed: a lost device is told once, as a failed send is.
            if (!FMidi.OutputFailed())
                throw;
        }
    }
    // After the genome's bytes, so the restarted note already carries them.
    FAudition.Retrigger(channel);
    if (!incomplete.empty())
        throw EmidioutputError(incomplete);
}

void TSoundControl::ConfigureInstruments()
{
    if (!FInstruments) {
        auto* synth = SynthBinding();
        if (!synth || std::all_of(FInstrumentUris.begin(), FInstrumentUris.end(), [](auto& uri) { return uri.empty(); }))
            return; // no engine, or nothing chosen: no plug-in is ever loaded
        FInstruments = new TInstrumentBreeders(*FLv2Catalog, synth->Audio(), FMidi.Scheduler(), &FWindow);
        connect(FInstruments, &TInstrumentBreeders::Failed, this, [this](int breeder, const QString& message) {
            TellInstrumentFailure(breeder,
                                  message + QString(" Breeder %1 plays the MIDI output.").arg(QChar('A' + breeder)));
            emit InstrumentsChanged();
            // Thru and the genome now go to the MIDI output instead.
            RunGuarded([&] {
                FAudition.SyncScheduler();
                FBreeders.Panel(breeder)->NotifyAudible();
            });
        });
        // A crash, hang or NaN and the restart that follows: told until it plays again (Ready).
        connect(FInstruments, &TInstrumentBreeders::Notice, this,
                [this](int breeder, const QString& message) { TellInstrumentFailure(breeder, message); });
        connect(FInstruments, &TInstrumentBreeders::Ready, this, [this](int breeder) {
            TellInstrumentFailure(breeder, QString());
            emit InstrumentsChanged();
            RunGuarded([&] {
                FAudition.SyncScheduler();
                FBreeders.Panel(breeder)->NotifyAudible(); // the audible worm's genes reach the instrument at once
            });
        });
    }
    FInstruments->Configure(FInstrumentUris);
}

void TSoundControl::TellInstrumentFailure(TChannel channel, const QString& message)
{
    FInstrumentFailures.at(static_cast<size_t>(channel)) = message;
    QStringList failures;
    for (const QString& failure : FInstrumentFailures)
        if (!failure.isEmpty())
            failures << failure;
    FStatus.Show(TStatusTopic::Instruments, failures.join(' '));
}

void TSoundControl::SetInstruments(const std::array<std::string, kChannelCount>& uris)
{
    for (TChannel c = 0; c < kChannelCount; ++c)
        if (uris[static_cast<size_t>(c)] != FInstrumentUris[static_cast<size_t>(c)])
            TellInstrumentFailure(c, QString()); // of the instrument no longer chosen
    const std::array<std::string, kChannelCount> before = FInstrumentUris;
    FInstrumentUris = uris;
    ConfigureInstruments();
    emit InstrumentsChanged();
    FAudition.SyncScheduler(); // thru of a dropped instrument goes to the MIDI output
    for (TChannel c = 0; c < kChannelCount; ++c) {
        const auto i = static_cast<size_t>(c);
        if (uris[i] != before[i])
            FBreeders.Panel(c)->NotifyAudible(); // through the rules until a new instrument plays
    }
}

void TSoundControl::SendSynthPrograms() { FMidi.SendPrograms(FSynthSettings.Programs); }

void TSoundControl::SoundClick()
{
    auto* synth = SynthBinding();
    if (!FFormSound)
        FFormSound = new TFormSound(synth ? &synth->Audio() : nullptr, *FLv2Catalog,
                                    [this](const TSoundSettings& chosen) {
                                        bool applied = false;
                                        RunGuarded([&] { applied = ApplySound(chosen); });
                                        return applied;
                                    },
                                    &FWindow);
    FFormSound->SetSettings({FAudioSettings, FSynthSettings.SoundFont, FSynthSettings.Gain, FInstrumentUris});
    FFormSound->Execute();
}

bool TSoundControl::ApplySound(const TSoundSettings& chosen)
{
    TSynthSettings synthSettings = FSynthSettings;
    synthSettings.SoundFont = chosen.SoundFont;
    synthSettings.Gain = chosen.Gain;
    bool restarted = false;
    bool applied = true;
    if (auto* synth = SynthBinding()) {
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
    if (restarted && FMidi.OutOpen() && FMidi.Output()->ProductName() == kSynthDeviceName) {
        // The new synthesizer starts blank: the programs, then the audible genomes.
        SendSynthPrograms();
        for (TWormPanel* panel : FBreeders.Panels)
            panel->NotifyAudible();
    }
    if (chosen.Instruments != FInstrumentUris)
        SetInstruments(chosen.Instruments);
    // Kept at once, so that a crash loses no choice.
    FHooks.WriteSound();
    return applied;
}

void TSoundControl::ApplySettings(const TMainSettings& s)
{
    FSynthSettings = s.Synth;
    FSynthSettings.SettingsFile = IniFileName();
    FAudioSettings = s.Audio;
    ConfigureSynthesizer(MidiBinding(), FSynthSettings, FAudioSettings);
    FInstrumentUris = s.Instruments;
    ConfigureInstruments();
}

void TSoundControl::SaveSettings(TMainSettings& s) const
{
    s.Synth = FSynthSettings;
    s.Audio = FAudioSettings;
    s.Instruments = FInstrumentUris;
}

} // namespace zw
