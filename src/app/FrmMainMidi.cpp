// The main window's MIDI side: choosing, opening and closing its two ports,
// the exchange with the MIDI settings dialog, and the translation of a
// changed audible worm into MIDI output.
#include "app/Forms.h"
#include "app/FrmMain.h"
#include "app/GeneTranslation.h"
#include "common/Guard.h"
#include "midi/FrmMidDlg.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"
#include "midi/MidiScheduler.h"
#include "synth/SynthSettings.h"
#include "rules/FrmTranslat.h"
#include "worms/WormPanel.h"

#include <exception>
#include <optional>

namespace zw {

void TFormMain::SetMidiInDevice(const QString& name)
{
    const bool wasOpen = FMidiInOpen;
    if (wasOpen)
        SetMidiInOpen(false);
    try {
        // A name no input device has is no error: the port keeps its device.
        if (!name.isEmpty())
            MidiInput->SetProductName(name);
        if (wasOpen)
            SetMidiInOpen(!MidiInput->ProductName().isEmpty());
        FMidiInName = name;
    } catch (const std::exception& e) {
        Dialogs().ShowMessage(QString("Could not open midi in port : %1").arg(QString::fromLocal8Bit(e.what())));
    }
}

void TFormMain::SetMidiOutDevice(const QString& name)
{
    const bool wasOpen = FMidiOutOpen;
    if (wasOpen)
        SetMidiOutOpen(false);
    try {
        if (!name.isEmpty())
            MidiOutput->SetProductName(name);
        if (wasOpen)
            SetMidiOutOpen(!MidiOutput->ProductName().isEmpty());
        FMidiOutName = name;
    } catch (const std::exception& e) {
        Dialogs().ShowMessage(QString("Could not open midi out port : %1").arg(QString::fromLocal8Bit(e.what())));
    }
}

void TFormMain::SetMidiInOpen(bool open)
{
    if (open == FMidiInOpen)
        return;
    if (open && !FMidiInName.isEmpty()) {
        MidiInput->OpenPort();
        MidiInput->StartInput();
        FMidiInOpen = true;
        return;
    }
    // The port is closed even when stopping it failed; that failure is still reported.
    std::exception_ptr stopFailure;
    try {
        MidiInput->StopInput();
    } catch (...) {
        stopFailure = std::current_exception();
    }
    MidiInput->ClosePort();
    FMidiInOpen = false;
    if (stopFailure)
        std::rethrow_exception(stopFailure);
}

void TFormMain::SetMidiOutOpen(bool open)
{
    if (open == FMidiOutOpen)
        return;
    // The scheduler's notes end on the device while it is still open.
    FScheduler->SetOutput(nullptr, 0);
    if (open && !FMidiOutName.isEmpty())
        MidiOutput->OpenPort();
    else
        MidiOutput->ClosePort();
    FMidiOutOpen = open && !FMidiOutName.isEmpty();
    if (FMidiOutOpen && MidiOutput->ProductName() == kSynthDeviceName)
        SendSynthPrograms();
    ConnectMidiScheduler();
}

void TFormMain::SendSynthPrograms()
{
    for (TChannel c = 0; c < kChannelCount; ++c) {
        const auto i = static_cast<size_t>(c);
        MidiOutput->SendShort(static_cast<uint8_t>(0xC0 | (FOutChannels[i] & 0x0F)),
                              static_cast<uint8_t>(FSynthSettings.Programs[i] & 0x7F), 0);
    }
}

void TFormMain::MidiSettingsClick()
{
    if (!FormMidiDialog)
        return;
    TFormMidiDialog& dialog = *FormMidiDialog;
    dialog.SelectInput(FMidiInName);
    dialog.SelectOutput(FMidiOutName);
    for (TChannel c = 0; c < kChannelCount; ++c) {
        dialog.SetInChannel(c, FInChannels[static_cast<size_t>(c)]);
        dialog.SetOutChannel(c, FOutChannels[static_cast<size_t>(c)]);
    }
    if (!dialog.Execute())
        return;
    for (TChannel c = 0; c < kChannelCount; ++c) {
        FInChannels[static_cast<size_t>(c)] = dialog.InChannel(c);
        FOutChannels[static_cast<size_t>(c)] = dialog.OutChannel(c);
    }
    SyncMidiScheduler();
    // A failing input port does not keep the output from being chosen. The
    // device steps report their own failures; a port that then fails to open
    // is reported too, so a silent output never looks like a chosen one.
    RunGuarded([&] {
        SetMidiInDevice(dialog.SelectedInput());
        SetMidiInOpen(!FMidiInName.isEmpty());
    });
    RunGuarded([&] {
        SetMidiOutDevice(dialog.SelectedOutput());
        SetMidiOutOpen(!FMidiOutName.isEmpty());
    });
}

void TFormMain::WormPanelWormChanged(TWormPanel* aSender, const TGene& aGene)
{
    if (!FormTranslate || !aSender)
        return;
    const TChannel channel = aSender->Tag();
    if (!FActiveChannels.Contains(channel))
        return;
    if (!FormTranslate->FileNameAssigned())
        LoadTranslations();
    long long outChannel = 0;
    if (channel >= 0 && channel < kChannelCount)
        outChannel = FOutChannels[static_cast<size_t>(channel)];
    // The genome's results reach the MIDI system together, in one hand-off.
    // When a failure ends the translation, the results before it still go
    // (the batch hands them over as it ends), and that failure is the
    // genome's one error; otherwise bytes that made no complete message are.
    std::optional<TMidiOutBatch> batch;
    if (FMidiOutOpen)
        batch.emplace(*MidiOutput);
    std::vector<int32_t> genes; // the gene of each result handed over
    TranslateGenome([]() -> const TSubstitution& { return FormTranslate->Substitution(); }, outChannel, aGene,
                    [&](int32_t gene, const TRuleBytes& bytes) {
                        if (SendToMidiOut(bytes))
                            genes.push_back(gene);
                    });
    std::string incomplete;
    if (batch)
        incomplete = IncompleteBytesReport(genes, batch->End());
    // After the genome's bytes, so the restarted note already carries them.
    if (FAudition.Retrigger)
        FScheduler->Restart(channel);
    if (!incomplete.empty())
        throw EmidioutputError(incomplete);
}

} // namespace zw
