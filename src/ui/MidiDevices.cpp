#include "ui/MidiDevices.h"

#include "common/Checked.h"
#include "common/Dialogs.h"
#include "common/Guard.h"
#include "midi/FrmMidDlg.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"
#include "midi/MidiScheduler.h"
#include "midi/RtMidiBinding.h"
#include "midi/SynthBinding.h"
#include "ui/FailureTally.h"
#include "ui/Forms.h"
#include "ui/StatusLine.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>

#include <exception>
#include <thread>

namespace zw {
namespace {

constexpr int kLampMs = 250;
const QColor kLampResting(0x80, 0x80, 0x80);
const QColor kLampFlowing(0x00, 0x00, 0xFF);

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

// A device name as the file keeps it: the bytes read at start while the name
// in use is still the one they gave, so bytes that are no UTF-8 stay as they were.
std::string NameBytes(const QString& name, const std::string& read)
{
    return QString::fromStdString(read) == name ? read : name.toStdString();
}

QTimer* MakeTimer(const char* name, int ms, QObject* parent)
{
    auto* timer = new QTimer(parent);
    timer->setObjectName(name);
    timer->setInterval(ms);
    return timer;
}

} // namespace

TMidiDevices::TMidiDevices(TStatusLine& status, QWidget& window)
    : FStatus(status), FFailures(std::make_unique<TFailureTally>(status, TStatusTopic::Midi))
{
    FOutput = new TMidiOutput(&window);
    FOutput->setObjectName("MidiOutput");
    // A send that fails after its call returned is told like one that fails
    // at once: a lost device is told once, until it is back.
    FOutput->SetOnSendFailed([this](const std::function<void()>& raise) {
        if (FOutLost)
            return;
        try {
            raise();
        } catch (const EmidioutputError& e) {
            SendFailed(e, FHooks.Automated && FHooks.Automated());
        }
    });
    FInput = new TMidiInput(&window);
    FInput->setObjectName("MidiInput");
    FInput->SetSysexBufferSize(4096);
    FScheduler = std::make_unique<TMidiScheduler>();

    FLampTimer = MakeTimer("Timer1", kLampMs, &window);
    connect(FLampTimer, &QTimer::timeout, this, [this] { RunGuarded([this] { LampTimer(); }); });
    FLampTimer->start();
    FRecoveryTimer = MakeTimer("TimerMidiRecovery", 1000, &window);
    connect(FRecoveryTimer, &QTimer::timeout, this, [this] { RecoveryTick(); });
    FStartTimer = MakeTimer("TimerMidiStart", 50, &window);
    connect(FStartTimer, &QTimer::timeout, this, [this] { RunGuarded([this] { StartTimer(); }); });
}

TMidiDevices::~TMidiDevices()
{
    FInput->SetOnMidiInput(nullptr);
    DisconnectScheduler();
}

QWidget* TMidiDevices::CreateLamp(QWidget* parent)
{
    auto* box = new QWidget(parent);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(new QLabel("Midi out activity", box));
    FLamp = new QFrame(box);
    FLamp->setObjectName("PanelMidi");
    FLamp->setFixedSize(11, 6);
    FLamp->setAutoFillBackground(true);
    row->addWidget(FLamp);
    row->addStretch();
    SetLamp(false);
    return box;
}

// Dispatch and the lamp ----------------------------------------------------------

bool TMidiDevices::SendToMidiOut(const std::vector<uint8_t>& bytes)
{
    if (!FOutOpen || bytes.empty())
        return false;
    // One result travels as one long message, its length as a 16-bit number.
    try {
        FOutput->SendLong(bytes.data(), CheckedWord(static_cast<long long>(bytes.size())));
    } catch (const EmidioutputError&) {
        // A lost device is told once, in the status line: the port is closed from here on.
        if (!OutputFailed())
            throw;
        return false;
    }
    SetLamp(true);
    // Restarts the 250 ms count. A restart costs about as much as the send,
    // and one within a millisecond of the last changes nothing one can see.
    const auto now = std::chrono::steady_clock::now();
    if (!FLampTimer->isActive() || now - FLampRestarted > std::chrono::milliseconds(1)) {
        FLampTimer->start();
        FLampRestarted = now;
    }
    return true;
}

void TMidiDevices::LampTimer()
{
    FLampTimer->stop();
    SetLamp(false);
}

void TMidiDevices::SetLamp(bool flowing)
{
    if (!FLamp)
        return;
    // A palette change costs microseconds, and a dispatch lights the lamp once per result.
    const QColor wanted = flowing ? kLampFlowing : kLampResting;
    if (FLamp->palette().color(QPalette::Window) == wanted)
        return;
    QPalette palette = FLamp->palette();
    palette.setColor(QPalette::Window, wanted);
    FLamp->setPalette(palette);
}

// The scheduler ------------------------------------------------------------------

void TMidiDevices::ConnectScheduler()
{
    if (FOutOpen)
        FScheduler->SetOutput(&FOutput->Binding(), FOutput->Handle());
    else
        FScheduler->SetOutput(nullptr, 0);
    FInput->SetThruSink(FThru ? FScheduler.get() : nullptr);
}

void TMidiDevices::DisconnectScheduler()
{
    // The input's callback may reach the scheduler until the port is closed;
    // the scheduler's last note-offs go to the output while it is still open.
    FInput->SetThruSink(nullptr);
    try {
        FInput->ClosePort();
    } catch (...) {
        // Closing went as far as it could; nothing can be reported from here.
    }
    FScheduler.reset();
}

// The start ----------------------------------------------------------------------

void TMidiDevices::Start()
{
    TMidiSystem system = TMidiSystem::Auto;
    ParseMidiSystem(FSystem, system);
    if (system != MidiSystemChoice())
        SetMidiSystem(system, TMidiLook::InBackground);
    // A system that answers within a moment opens its devices before the
    // window shows; one whose server has stalled does not hold the window back.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (MidiSystemLooking() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (!MidiSystemLooking()) {
        OpenAtStart();
        return;
    }
    // A close meanwhile keeps the devices of the settings.
    FInName = FInSetting;
    FOutName = FOutSetting;
    FStatus.Show(TStatusTopic::Midi, "Looking for the MIDI system; the MIDI devices open once it answers.");
    FStartTimer->start();
}

bool TMidiDevices::StartWaiting() const { return FStartTimer->isActive(); }

void TMidiDevices::StartTimer()
{
    if (MidiSystemLooking())
        return;
    // Stopped first: a box of the steps below runs an event loop.
    FStartTimer->stop();
    FStatus.Clear(TStatusTopic::Midi);
    FInName.clear();
    FOutName.clear();
    OpenAtStart();
    // The start's genomes went nowhere.
    if (FHooks.Started)
        FHooks.Started();
}

void TMidiDevices::OpenAtStart()
{
    // Each device step is guarded on its own, so start-up goes on after a failure.
    if (StartSystem()) {
        RunGuarded([&] { SetInDevice(FInSetting); });
        RunGuarded([&] { SetOutDevice(FOutSetting); });
        RunGuarded([&] { SetInOpen(!FInName.isEmpty()); });
        RunGuarded([&] { SetOutOpen(!FOutName.isEmpty()); });
    }
}

bool TMidiDevices::StartSystem()
{
    TMidiSystem system = TMidiSystem::Auto;
    ParseMidiSystem(FSystem, system);
    // The real binding is made with the automatic choice; that needs no probe here.
    if (system == TMidiSystem::Auto && MidiSystemChoice() == TMidiSystem::Auto)
        return true;
    if (SetMidiSystem(system) == MMSYSERR_NOERROR)
        return true;
    Dialogs().ShowMessage(QString::fromStdString(NoMidiSystemText(system)));
    FInName = FInSetting;
    FOutName = FOutSetting;
    MarkLost(!FInName.isEmpty(), !FOutName.isEmpty(), true);
    return false;
}

// Losses and recovery --------------------------------------------------------------

void TMidiDevices::MarkLost(bool input, bool output, bool server)
{
    if (input) {
        CloseLost(FInput);
        FInOpen = false;
        FInLost = true;
    }
    if (output) {
        // The scheduler's thread stops sending before the device it sends to closes.
        FScheduler->SetOutput(nullptr, 0);
        CloseLost(FOutput);
        FOutOpen = false;
        FOutLost = true;
    }
    FServerLost = FServerLost || server;
    if (FInLost || FOutLost)
        FRecoveryTimer->start();
}

void TMidiDevices::TellLoss(const std::string& text, bool input, bool output, bool server)
{
    // A loss is told once, however many devices it takes and whoever finds it.
    const bool told = FInLost || FOutLost;
    MarkLost(input, output, server);
    if (!told)
        FStatus.Show(TStatusTopic::Midi, QString::fromStdString(text));
}

bool TMidiDevices::OutputFailed()
{
    const TMidiResult code = FOutput->LastError();
    if (!LostMidiDevice(code))
        return false;
    const bool server = code != MIDIERR_NODEVICE;
    TellLoss(FOutput->ErrorText(code), server && FInOpen, true, server);
    return true;
}

void TMidiDevices::SendFailed(const EmidioutputError& failure, bool automated)
{
    if (OutputFailed())
        return;
    if (!automated)
        throw failure;
    FFailures->Add(QString::fromLocal8Bit(failure.what()));
}

bool TMidiDevices::ReopenOut()
{
    try {
        FOutput->SetProductName(FOutName);
        FOutput->OpenPort();
    } catch (const std::exception&) {
        return false; // still away: tried again at the next tick
    }
    FOutOpen = true;
    ConnectScheduler(); // audition and thru go on where they stopped
    return true;
}

int TMidiDevices::InputDeviceNumber(const QString& name) const
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

bool TMidiDevices::ReopenIn()
{
    // By name only: the device number the port holds may now name another
    // device. The chosen name first; else the name of the device that was
    // open, which differs when the chosen one was missing at start.
    int device = InputDeviceNumber(FInName);
    if (device < 0)
        device = InputDeviceNumber(FInput->ProductName());
    if (device < 0)
        return false;
    try {
        FInput->SetDeviceID(static_cast<uint32_t>(device));
        FInput->OpenPort();
        FInput->StartInput();
    } catch (const std::exception&) {
        CloseLost(FInput);
        return false;
    }
    FInOpen = FInput->IsOpen();
    if (FInOpen && FHooks.InputOpened)
        FHooks.InputOpened();
    return FInOpen;
}

void TMidiDevices::RecoveryTick()
{
    // The tick tells everything in the status line; should it still fail, its
    // error box runs an event loop in which the timer fires again: that tick
    // waits for the box, as the automation's does.
    if (FInRecovery)
        return;
    FInRecovery = true;
    RunGuarded([this] { RecoveryTimer(); });
    FInRecovery = false;
}

void TMidiDevices::RecoveryTimer()
{
    // Everything here is told in the status line: a modal box would run an
    // event loop in which this timer fires again, inside itself.
    // Audition and thru send on the scheduler's thread; a device they found
    // gone is lost as one the dispatch found gone.
    const TMidiResult sendFailure = FScheduler->TakeSendFailure();
    if (FOutOpen && LostMidiDevice(sendFailure)) {
        const bool server = sendFailure != MIDIERR_NODEVICE;
        TellLoss(FOutput->ErrorText(sendFailure), server && FInOpen, true, server);
        return;
    }
    if (FOutOpen && sendFailure != MMSYSERR_NOERROR)
        FFailures->Add(QString::fromStdString(FOutput->ErrorText(sendFailure)));
    // Open ports learn of a stopped server, and an input of its source gone,
    // only when used; so the binding is asked here, which costs no call to the
    // server.
    TMidiInCaps caps;
    if ((FInOpen || FOutOpen) && MidiBinding().InGetDevCaps(0, caps) == MIDIERR_SERVERSTOPPED) {
        TellLoss(FOutput->ErrorText(MIDIERR_SERVERSTOPPED), FInOpen, FOutOpen, true);
        return;
    }
    if (FInput->IsOpen() && InputDeviceNumber(FInput->ProductName()) < 0) {
        TellLoss(FInput->ErrorText(MIDIERR_NODEVICE), true, false, false);
        return;
    }
    if (!FInLost && !FOutLost) {
        FServerLost = false; // the devices were chosen anew meanwhile
        if (!FInOpen && !FOutOpen)
            FRecoveryTimer->stop();
        return;
    }
    if (FOutLost && ReopenOut())
        FOutLost = false;
    if (FInLost && ReopenIn())
        FInLost = false;
    if (FOutLost || FInLost)
        return;
    const bool server = FServerLost;
    FServerLost = false;
    FFailures->Reset();
    FStatus.Show(TStatusTopic::Midi, server ? "The MIDI server answers again; the MIDI devices have been reopened."
                                            : "The MIDI device is back and has been reopened.");
}

// Choosing and opening -------------------------------------------------------------

void TMidiDevices::SetInDevice(const QString& name)
{
    const bool wasOpen = FInOpen;
    if (wasOpen)
        SetInOpen(false);
    try {
        // A name no input device has is no error: the port keeps its device.
        if (!name.isEmpty())
            FInput->SetProductName(name);
        if (wasOpen)
            SetInOpen(!FInput->ProductName().isEmpty());
        FInName = name;
    } catch (const std::exception& e) {
        Dialogs().ShowMessage(QString("Could not open midi in port : %1").arg(QString::fromLocal8Bit(e.what())));
    }
}

void TMidiDevices::SetOutDevice(const QString& name)
{
    const bool wasOpen = FOutOpen;
    if (wasOpen)
        SetOutOpen(false);
    try {
        if (!name.isEmpty())
            FOutput->SetProductName(name);
        if (wasOpen)
            SetOutOpen(!FOutput->ProductName().isEmpty());
        FOutName = name;
    } catch (const std::exception& e) {
        Dialogs().ShowMessage(QString("Could not open midi out port : %1").arg(QString::fromLocal8Bit(e.what())));
    }
}

void TMidiDevices::SetInOpen(bool open)
{
    if (open == FInOpen)
        return;
    FInLost = false;
    if (open && !FInName.isEmpty()) {
        FInput->OpenPort();
        if (!FInput->IsOpen() && LostMidiDevice(FInput->Error())) {
            MarkLost(true, false, FInput->Error() != MIDIERR_NODEVICE);
            return;
        }
        FInput->StartInput();
        FInOpen = true;
        if (FHooks.InputOpened)
            FHooks.InputOpened();
        FRecoveryTimer->start();
        return;
    }
    // The port is closed even when stopping it failed; that failure is still reported.
    std::exception_ptr stopFailure;
    try {
        FInput->StopInput();
    } catch (...) {
        stopFailure = std::current_exception();
    }
    FInput->ClosePort();
    FInOpen = false;
    if (stopFailure)
        std::rethrow_exception(stopFailure);
}

void TMidiDevices::SetOutOpen(bool open)
{
    if (open == FOutOpen)
        return;
    // The scheduler's notes end on the device while it is still open.
    FScheduler->SetOutput(nullptr, 0);
    FOutLost = false;
    if (open && !FOutName.isEmpty()) {
        try {
            FOutput->OpenPort();
        } catch (const EmidioutputError&) {
            OutputFailed();
            throw;
        }
    } else {
        FOutput->ClosePort();
    }
    FOutOpen = open && !FOutName.isEmpty();
    if (FOutOpen)
        FRecoveryTimer->start();
    if (FOutOpen && FOutput->ProductName() == kSynthDeviceName && FHooks.SynthOpened)
        FHooks.SynthOpened();
    ConnectScheduler();
}

void TMidiDevices::SendPrograms(const std::array<int, kChannelCount>& programs)
{
    for (TChannel c = 0; c < kChannelCount; ++c) {
        const auto i = static_cast<size_t>(c);
        FOutput->SendShort(static_cast<uint8_t>(0xC0 | (FOutChannels[i] & 0x0F)),
                           static_cast<uint8_t>(programs[i] & 0x7F), 0);
    }
}

void TMidiDevices::SettingsClick()
{
    if (!FormMidiDialog)
        return;
    TFormMidiDialog& dialog = *FormMidiDialog;
    // The system is looked for again, and the lists show what it has now.
    dialog.RefreshDeviceLists();
    dialog.SelectInput(FInName);
    dialog.SelectOutput(FOutName);
    TMidiSystem system = TMidiSystem::Auto;
    ParseMidiSystem(FSystem, system);
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
    FStartTimer->stop();
    // What was told of the devices before is of the former choice.
    FStatus.Clear(TStatusTopic::Midi);
    FFailures->Reset();
    for (TChannel c = 0; c < kChannelCount; ++c) {
        FInChannels[static_cast<size_t>(c)] = dialog.InChannel(c);
        FOutChannels[static_cast<size_t>(c)] = dialog.OutChannel(c);
    }
    if (FHooks.ChannelsChanged)
        FHooks.ChannelsChanged();
    if (dialog.SelectedSystem() != system) {
        // The devices are chosen anew on the other system; those open now close first.
        RunGuarded([&] { SetInOpen(false); });
        RunGuarded([&] { SetOutOpen(false); });
        FSystem = MidiSystemName(dialog.SelectedSystem());
        if (SetMidiSystem(dialog.SelectedSystem()) != MMSYSERR_NOERROR) {
            // Told once; the chosen devices wait for the system to answer.
            Dialogs().ShowMessage(QString::fromStdString(NoMidiSystemText(dialog.SelectedSystem())));
            FInName = dialog.SelectedInput();
            FOutName = dialog.SelectedOutput();
            MarkLost(!FInName.isEmpty(), !FOutName.isEmpty(), true);
            return;
        }
    }
    // A failing input port does not keep the output from being chosen. The
    // device steps report their own failures; a port that then fails to open
    // is reported too, so a silent output never looks like a chosen one.
    RunGuarded([&] {
        SetInDevice(dialog.SelectedInput());
        SetInOpen(!FInName.isEmpty());
    });
    RunGuarded([&] {
        SetOutDevice(dialog.SelectedOutput());
        SetOutOpen(!FOutName.isEmpty());
    });
}

// Settings -------------------------------------------------------------------------

void TMidiDevices::ApplySettings(const TMainSettings& s)
{
    FInBytes = s.MidiIn;
    FOutBytes = s.MidiOut;
    FInSetting = QString::fromStdString(s.MidiIn);
    FOutSetting = QString::fromStdString(s.MidiOut);
    FInChannels = s.InChannels;
    FOutChannels = s.OutChannels;
    FThru = s.Thru;
    FSystem = s.MidiSystem;
}

void TMidiDevices::SaveSettings(TMainSettings& s) const
{
    s.MidiIn = NameBytes(FInName, FInBytes);
    s.MidiOut = NameBytes(FOutName, FOutBytes);
    s.InChannels = FInChannels;
    s.OutChannels = FOutChannels;
    s.Thru = FThru;
    s.MidiSystem = FSystem;
}

void TMidiDevices::SaveStartNames(TMainSettings& s) const
{
    s.MidiIn = NameBytes(FInSetting, FInBytes);
    s.MidiOut = NameBytes(FOutSetting, FOutBytes);
}

} // namespace zw
