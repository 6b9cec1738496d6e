#pragma once

#include "app/ChannelSet.h"
#include "app/MainSettings.h"

#include <QObject>

#include <array>
#include <cstdint>
#include <functional>

class QSpinBox;
class QTimer;
class QToolButton;
class QWidget;

namespace zw {

class TMidiDevices;
class TStatusLine;
class TWormPanel;
struct TBreederTabs;

// The main window's channels and automation: which breeders are active (the
// "Active channels" toggles), each channel's automation mode (the button rows
// of "Automation"), the timer that breeds the active channels in their modes
// and its period ("Auto time"), and breeding from the rated worms with its
// notice in the status line. It owns the channel sets, the timer and the
// buttons' state; the window makes and lays out the buttons.
class TAutomation : public QObject {
    Q_OBJECT

public:
    // The automation modes, in the order of the button rows.
    enum class TMode { Randomize, Mate, Mutate, BreedFromRated, TowardTarget };
    static constexpr size_t kModeCount = 5;
    using TButtons = std::array<QToolButton*, kChannelCount>;

    TAutomation(const TBreederTabs& breeders, TMidiDevices& midi, TStatusLine& status, QWidget& window);

    // The buttons the window made: one row per mode, and the active channels.
    void SetButtons(const std::array<TButtons, kModeCount>& autoButtons, const TButtons& activeButtons,
                    QSpinBox* interval);
    // Called back when the active channels change.
    void SetOnActiveChanged(std::function<void()> changed) { FActiveChanged = std::move(changed); }
    // Called on each tick with the active channels that breed toward the target.
    void SetOnTowardTarget(std::function<void(const TChannelSet&)> breed) { FTowardTarget = std::move(breed); }

    // A press of a mode's button of `channel`, `down` its new state.
    void AutoClick(TMode mode, TChannel channel, bool down);
    // A press of a channel's toggle; on, it sends the audible worm.
    void ActiveClick(TChannel channel, bool down);

    // The automation period, confined to 600..120000 ms; the timer's next tick
    // comes one full period after a change.
    void SetInterval(int32_t ms);
    int32_t Interval() const { return FInterval; }
    // Some channel has an automation mode; the timer runs exactly then.
    bool Active() const;
    void EnableTimer();
    // One tick: breeds the active channels in their modes, A to D.
    void TimerAutoTimer();

    // Breeds `panel` from its rated worms; with no worm rated it mates
    // instead and says so in the status line.
    void BreedFromRated(TWormPanel& panel);

    const TChannelSet& ActiveChannels() const { return FActive; }
    const TChannelSet& Modes(TMode mode) const { return FModes[static_cast<size_t>(mode)]; }

    void ApplySettings(const TMainSettings& s);
    void SaveSettings(TMainSettings& s) const;

    static constexpr int kMinInterval = 600;
    static constexpr int kMaxInterval = 120000;

private:
    void Tick();

    const TBreederTabs& FBreeders;
    TMidiDevices& FMidi;
    TStatusLine& FStatus;
    std::function<void()> FActiveChanged;
    std::function<void(const TChannelSet&)> FTowardTarget;
    QTimer* FTimer = nullptr; // "TimerAuto"
    std::array<TButtons, kModeCount> FAutoButtons{};
    TButtons FActiveButtons{};
    QSpinBox* FIntervalSpin = nullptr;
    TChannelSet FActive;
    std::array<TChannelSet, kModeCount> FModes;
    int32_t FInterval = 700;
    bool FInTick = false;
};

} // namespace zw
