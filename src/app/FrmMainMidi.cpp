// The main window's MIDI side: choosing, opening and closing its two ports,
// the exchange with the MIDI settings dialog, and the translation of a
// changed audible worm into MIDI output.
#include "app/FailureTally.h"
#include "app/Forms.h"
#include "app/FrmMain.h"
#include "app/StatusLine.h"
#include "app/GeneTranslation.h"
#include "common/Guard.h"
#include "midi/FrmMidDlg.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"
#include "midi/MidiScheduler.h"
#include "app/InstrumentBreeders.h"
#include "midi/RtMidiBinding.h"
#include "synth/SynthSettings.h"
#include "rules/FrmTranslat.h"
#include "worms/WormPanel.h"

#include <QTimer>

#include <chrono>
#include <thread>

#include <exception>
#include <optional>

namespace zw {

namespace {

// Results that mean the MIDI system lost the device rather than refused a call.
bool LostMidiDevice(TMidiResult code)
{
    return code == MIDIERR_SERVERSTOPPED || code == MIDIERR_NODEVICE || code == MMSYSERR_NODRIVER;
}

// Closing a lost device is local and releases it whatever it reports; that
// report would only repeat the loss already told.
template <typename TPort>
void CloseLost(TPort* port)
{
    try {
        port->ClosePort();
    } catch (const std::exception&) {
    }
}

} // namespace

void TFormMain::StartMidi()
{
    TMidiSystem system = TMidiSystem::Auto;
    ParseMidiSystem(FMidiSystem, system);
    if (system != MidiSystemChoice())
        SetMidiSystem(system, TMidiLook::InBackground);
    // A system that answers within a moment opens its devices before the
    // window shows; one whose server has stalled does not hold the window back.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (MidiSystemLooking() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (!MidiSystemLooking()) {
        OpenMidiAtStart();
        return;
    }
    // A close meanwhile keeps the devices of the settings.
    FMidiInName = FMidiInSetting;
    FMidiOutName = FMidiOutSetting;
    FStatusLine->Show(TStatusTopic::Midi, "Looking for the MIDI system; the MIDI devices open once it answers.");
    TimerMidiStart->start();
}

void TFormMain::TimerMidiStartTimer()
{
    if (MidiSystemLooking())
        return;
    // Stopped first: a box of the steps below runs an event loop.
    TimerMidiStart->stop();
    FStatusLine->Clear(TStatusTopic::Midi);
    FMidiInName.clear();
    FMidiOutName.clear();
    OpenMidiAtStart();
    // The start's genomes went nowhere.
    if (FShownOnce)
        SendActiveChannels();
}

void TFormMain::OpenMidiAtStart()
{
    // Each device step is guarded on its own, so start-up goes on after a failure.
    if (StartMidiSystem()) {
        RunGuarded([&] { SetMidiInDevice(FMidiInSetting); });
        RunGuarded([&] { SetMidiOutDevice(FMidiOutSetting); });
        RunGuarded([&] { SetMidiInOpen(!FMidiInName.isEmpty()); });
        RunGuarded([&] { SetMidiOutOpen(!FMidiOutName.isEmpty()); });
    }
}

bool TFormMain::StartMidiSystem()
{
    TMidiSystem system = TMidiSystem::Auto;
    ParseMidiSystem(FMidiSystem, system);
    // The real binding is made with the automatic choice; that needs no probe here.
    if (system == TMidiSystem::Auto && MidiSystemChoice() == TMidiSystem::Auto)
        return true;
    if (SetMidiSystem(system) == MMSYSERR_NOERROR)
        return true;
    Dialogs().ShowMessage(QString::fromStdString(NoMidiSystemText(system)));
    FMidiInName = FMidiInSetting;
    FMidiOutName = FMidiOutSetting;
    MarkMidiLost(!FMidiInName.isEmpty(), !FMidiOutName.isEmpty(), true);
    return false;
}

void TFormMain::MarkMidiLost(bool input, bool output, bool server)
{
    if (input) {
        CloseLost(MidiInput);
        FMidiInOpen = false;
        FMidiInLost = true;
    }
    if (output) {
        // The scheduler's thread stops sending before the device it sends to closes.
        FScheduler->SetOutput(nullptr, 0);
        CloseLost(MidiOutput);
        FMidiOutOpen = false;
        FMidiOutLost = true;
    }
    FMidiServerLost = FMidiServerLost || server;
    if (FMidiInLost || FMidiOutLost)
        TimerMidiRecovery->start();
}

void TFormMain::TellMidiLoss(const std::string& text, bool input, bool output, bool server)
{
    // A loss is told once, however many devices it takes and whoever finds it.
    const bool told = FMidiInLost || FMidiOutLost;
    MarkMidiLost(input, output, server);
    if (!told)
        FStatusLine->Show(TStatusTopic::Midi, QString::fromStdString(text));
}

bool TFormMain::MidiOutputFailed()
{
    const TMidiResult code = MidiOutput->LastError();
    if (!LostMidiDevice(code))
        return false;
    const bool server = code != MIDIERR_NODEVICE;
    TellMidiLoss(MidiOutput->ErrorText(code), server && FMidiInOpen, true, server);
    return true;
}

void TFormMain::MidiSendFailed(const EmidioutputError& failure, bool automated)
{
    if (MidiOutputFailed())
        return;
    if (!automated)
        throw failure;
    FMidiFailures->Add(QString::fromLocal8Bit(failure.what()));
}

bool TFormMain::ReopenMidiOut()
{
    try {
        MidiOutput->SetProductName(FMidiOutName);
        MidiOutput->OpenPort();
    } catch (const std::exception&) {
        return false; // still away: tried again at the next tick
    }
    FMidiOutOpen = true;
    ConnectMidiScheduler(); // audition and thru go on where they stopped
    return true;
}

int TFormMain::MidiInputDeviceNumber(const QString& name) const
{
    TMidiBinding& binding = MidiBinding();
    const uint32_t count = binding.InGetNumDevs();
    for (uint32_t i = 0; i < count; ++i) {
        TMidiInCaps caps;
        if (binding.InGetDevCaps(i, caps) == MMSYSERR_NOERROR && QString::fromStdString(caps.szPname) == name)
            return static_cast<int>(i);
    }
    return -1;
}

bool TFormMain::ReopenMidiIn()
{
    // By name only: the device number the port holds may now name another
    // device. The chosen name first; else the name of the device that was
    // open, which differs when the chosen one was missing at start.
    int device = MidiInputDeviceNumber(FMidiInName);
    if (device < 0)
        device = MidiInputDeviceNumber(MidiInput->ProductName());
    if (device < 0)
        return false;
    try {
        MidiInput->SetDeviceID(static_cast<uint32_t>(device));
        MidiInput->OpenPort();
        MidiInput->StartInput();
    } catch (const std::exception&) {
        CloseLost(MidiInput);
        return false;
    }
    FMidiInOpen = MidiInput->IsOpen();
    return FMidiInOpen;
}

void TFormMain::TimerMidiRecoveryTimer()
{
    // Everything here is told in the status line: a modal box would run an
    // event loop in which this timer fires again, inside itself.
    // Audition and thru send on the scheduler's thread; a device they found
    // gone is lost as one the dispatch found gone.
    const TMidiResult sendFailure = FScheduler->TakeSendFailure();
    if (FMidiOutOpen && LostMidiDevice(sendFailure)) {
        const bool server = sendFailure != MIDIERR_NODEVICE;
        TellMidiLoss(MidiOutput->ErrorText(sendFailure), server && FMidiInOpen, true, server);
        return;
    }
    if (FMidiOutOpen && sendFailure != MMSYSERR_NOERROR)
        FMidiFailures->Add(QString::fromStdString(MidiOutput->ErrorText(sendFailure)));
    // Open ports learn of a stopped server, and an input of its source gone,
    // only when used; so the binding is asked here, which costs no call to the
    // server.
    TMidiInCaps caps;
    if ((FMidiInOpen || FMidiOutOpen) && MidiBinding().InGetDevCaps(0, caps) == MIDIERR_SERVERSTOPPED) {
        TellMidiLoss(MidiOutput->ErrorText(MIDIERR_SERVERSTOPPED), FMidiInOpen, FMidiOutOpen, true);
        return;
    }
    if (MidiInput->IsOpen() && MidiInputDeviceNumber(MidiInput->ProductName()) < 0) {
        TellMidiLoss(MidiInput->ErrorText(MIDIERR_NODEVICE), true, false, false);
        return;
    }
    if (!FMidiInLost && !FMidiOutLost) {
        FMidiServerLost = false; // the devices were chosen anew meanwhile
        if (!FMidiInOpen && !FMidiOutOpen)
            TimerMidiRecovery->stop();
        return;
    }
    if (FMidiOutLost && ReopenMidiOut())
        FMidiOutLost = false;
    if (FMidiInLost && ReopenMidiIn())
        FMidiInLost = false;
    if (FMidiOutLost || FMidiInLost)
        return;
    const bool server = FMidiServerLost;
    FMidiServerLost = false;
    FMidiFailures->Reset();
    FStatusLine->Show(TStatusTopic::Midi, server ? "The MIDI server answers again; the MIDI devices have been reopened."
                                                 : "The MIDI device is back and has been reopened.");
}

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
    FMidiInLost = false;
    if (open && !FMidiInName.isEmpty()) {
        MidiInput->OpenPort();
        if (!MidiInput->IsOpen() && LostMidiDevice(MidiInput->Error())) {
            MarkMidiLost(true, false, MidiInput->Error() != MIDIERR_NODEVICE);
            return;
        }
        MidiInput->StartInput();
        FMidiInOpen = true;
        TimerMidiRecovery->start();
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
    FMidiOutLost = false;
    if (open && !FMidiOutName.isEmpty()) {
        try {
            MidiOutput->OpenPort();
        } catch (const EmidioutputError&) {
            MidiOutputFailed();
            throw;
        }
    } else {
        MidiOutput->ClosePort();
    }
    FMidiOutOpen = open && !FMidiOutName.isEmpty();
    if (FMidiOutOpen)
        TimerMidiRecovery->start();
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
    // The system is looked for again, and the lists show what it has now.
    dialog.RefreshDeviceLists();
    dialog.SelectInput(FMidiInName);
    dialog.SelectOutput(FMidiOutName);
    TMidiSystem system = TMidiSystem::Auto;
    ParseMidiSystem(FMidiSystem, system);
    dialog.SetSystem(system);
    dialog.SetSystemLister([](TMidiSystem other) {
        // Through a binding of its own: the devices open on the system in use stay as they are.
        TMidiDeviceNames devices = ListMidiDevices(*MakeRtMidiBinding(other));
        // The built-in synthesizer is offered on every system, as the first device after the mapper.
        devices.Outputs.insert(devices.Outputs.begin() + 1, kSynthDeviceName);
        return devices;
    });
    for (TChannel c = 0; c < kChannelCount; ++c) {
        dialog.SetInChannel(c, FInChannels[static_cast<size_t>(c)]);
        dialog.SetOutChannel(c, FOutChannels[static_cast<size_t>(c)]);
    }
    if (!dialog.Execute())
        return;
    // The devices chosen here replace those the start still waits for.
    TimerMidiStart->stop();
    // What was told of the devices before is of the former choice.
    FStatusLine->Clear(TStatusTopic::Midi);
    FMidiFailures->Reset();
    for (TChannel c = 0; c < kChannelCount; ++c) {
        FInChannels[static_cast<size_t>(c)] = dialog.InChannel(c);
        FOutChannels[static_cast<size_t>(c)] = dialog.OutChannel(c);
    }
    SyncMidiScheduler();
    if (dialog.SelectedSystem() != system) {
        // The devices are chosen anew on the other system; those open now close first.
        RunGuarded([&] { SetMidiInOpen(false); });
        RunGuarded([&] { SetMidiOutOpen(false); });
        FMidiSystem = MidiSystemName(dialog.SelectedSystem());
        if (SetMidiSystem(dialog.SelectedSystem()) != MMSYSERR_NOERROR) {
            // Told once; the chosen devices wait for the system to answer.
            Dialogs().ShowMessage(QString::fromStdString(NoMidiSystemText(dialog.SelectedSystem())));
            FMidiInName = dialog.SelectedInput();
            FMidiOutName = dialog.SelectedOutput();
            MarkMidiLost(!FMidiInName.isEmpty(), !FMidiOutName.isEmpty(), true);
            return;
        }
    }
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
    if (FInstruments && FInstruments->Plays(channel)) {
        // The genes are the instrument's parameters: no rules.
        FInstruments->SetGenome(channel, aGene);
        if (FAudition.Retrigger)
            FScheduler->Restart(channel);
        return;
    }
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
    if (batch) {
        try {
            incomplete = IncompleteBytesReport(genes, batch->End());
        } catch (const EmidioutputError&) {
            // The hand-off failed: a lost device is told once, as a failed send is.
            if (!MidiOutputFailed())
                throw;
        }
    }
    // After the genome's bytes, so the restarted note already carries them.
    if (FAudition.Retrigger)
        FScheduler->Restart(channel);
    if (!incomplete.empty())
        throw EmidioutputError(incomplete);
}

} // namespace zw
