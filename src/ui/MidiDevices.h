#pragma once

#include "app/ChannelSet.h"
#include "app/MainSettings.h"

#include <QObject>
#include <QString>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QFrame;
class QTimer;
class QWidget;

namespace zw {

class EmidioutputError;
class TFailureTally;
class TMidiInput;
class TMidiOutput;
class TMidiScheduler;
class TStatusLine;

// The main window's MIDI devices: the two ports and the scheduler that times
// the audition notes and thru, the chosen devices and system, each breeder's
// input and output channel, the exchange with the MIDI settings dialog, the
// activity lamp, and the recovery of a device the MIDI system lost (closed
// but kept, and tried again once a second until it opens; the loss and the
// return each told once in the status line). It owns the ports, the
// scheduler, their timers and the count of repeated failures.
class TMidiDevices : public QObject {
    Q_OBJECT

public:
    // What the devices tell the features around them.
    struct THooks {
        std::function<void()> ChannelsChanged; // the breeders' MIDI channels or thru changed
        std::function<void()> SynthOpened;     // the built-in synthesizer opened as output
        std::function<void()> Started;         // the start's waiting devices opened
        std::function<bool()> Automated;       // a failed send is the automation's
        std::function<void()> InputOpened;     // an input device opened (a new one, or the lost one again)
    };

    TMidiDevices(TStatusLine& status, QWidget& window);
    ~TMidiDevices() override;
    void SetHooks(THooks hooks) { FHooks = std::move(hooks); }

    // The lamp "Midi out activity" (object name "PanelMidi").
    QWidget* CreateLamp(QWidget* parent);

    TMidiOutput* Output() const { return FOutput; }
    TMidiInput* Input() const { return FInput; }
    TMidiScheduler& Scheduler() const { return *FScheduler; }

    // Choosing, opening and closing the devices by the names the system reports.
    void SetInDevice(const QString& name);
    void SetOutDevice(const QString& name);
    void SetInOpen(bool open);
    void SetOutOpen(bool open);
    bool InOpen() const { return FInOpen; }
    bool OutOpen() const { return FOutOpen; }
    bool InLost() const { return FInLost; }
    bool OutLost() const { return FOutLost; }
    const QString& InName() const { return FInName; }
    const QString& OutName() const { return FOutName; }
    int32_t InChannel(TChannel channel) const { return FInChannels.at(static_cast<size_t>(channel)); }
    int32_t OutChannel(TChannel channel) const { return FOutChannels.at(static_cast<size_t>(channel)); }
    const std::array<int32_t, kChannelCount>& InChannels() const { return FInChannels; }
    const std::array<int32_t, kChannelCount>& OutChannels() const { return FOutChannels; }
    bool Thru() const { return FThru; }

    // The exchange with the MIDI settings dialog (menu "&Midi ...").
    void SettingsClick();
    // Opens the devices of the settings once their system has answered: at
    // once when it answers within a moment, else from TimerMidiStart.
    void Start();
    bool StartWaiting() const;
    // One tick of TimerMidiRecovery.
    void RecoveryTimer();

    // Sends one rule result to the output and lights the lamp; nothing while
    // the output is closed or the bytes are empty (false then).
    bool SendToMidiOut(const std::vector<uint8_t>& bytes);
    // A failed send: a lost device is closed and told once; any other failure
    // is raised, or when `automated` counted in the status line.
    void SendFailed(const EmidioutputError& failure, bool automated);
    // Closes the port and marks it lost, told once, when its last result says
    // that the system lost it; false for any other failure.
    bool OutputFailed();
    // Each breeder's output channel starts with its program.
    void SendPrograms(const std::array<int, kChannelCount>& programs);
    // Hands the scheduler the open output and the input its thru.
    void ConnectScheduler();

    void ApplySettings(const TMainSettings& s);
    void SaveSettings(TMainSettings& s) const;
    // The device names the settings hold: read at start, not the ones in use.
    void SaveStartNames(TMainSettings& s) const;

private:
    void DisconnectScheduler();
    void LampTimer();
    void SetLamp(bool flowing);
    void StartTimer();
    void OpenAtStart();
    bool StartSystem();
    void MarkLost(bool input, bool output, bool server);
    void TellLoss(const std::string& text, bool input, bool output, bool server);
    bool ReopenOut();
    bool ReopenIn();
    int InputDeviceNumber(const QString& name) const;
    void RecoveryTick();

    TStatusLine& FStatus;
    THooks FHooks;
    TMidiOutput* FOutput = nullptr;
    TMidiInput* FInput = nullptr;
    // Made before and ended after the ports' use of it (see the destructor).
    std::unique_ptr<TMidiScheduler> FScheduler;
    std::unique_ptr<TFailureTally> FFailures; // failures of the automation
    QFrame* FLamp = nullptr;
    QTimer* FLampTimer = nullptr; // "Timer1"
    std::chrono::steady_clock::time_point FLampRestarted; // when the lamp timer was last restarted by a send
    QTimer* FRecoveryTimer = nullptr;
    QTimer* FStartTimer = nullptr; // runs while the start waits for the MIDI system
    bool FInRecovery = false;
    QString FInSetting;
    QString FOutSetting;
    // The device names as the settings file held them, byte for byte.
    std::string FInBytes;
    std::string FOutBytes;
    QString FInName;
    QString FOutName;
    bool FInOpen = false;
    bool FOutOpen = false;
    bool FInLost = false;
    bool FOutLost = false;
    bool FServerLost = false; // rather than one device
    std::string FSystem = "auto";
    std::array<int32_t, kChannelCount> FInChannels{};
    std::array<int32_t, kChannelCount> FOutChannels{};
    bool FThru = true;
};

} // namespace zw
