#include "ui/Automation.h"

#include "common/Guard.h"
#include "midi/MidiOut.h"
#include "ui/BreederTabs.h"
#include "ui/MidiDevices.h"
#include "ui/StatusLine.h"
#include "worms/WormPanel.h"

#include <QSpinBox>
#include <QTimer>
#include <QToolButton>

namespace zw {
namespace {

// Sets `set` to the channels `flags` name; setting a button runs none of its
// click actions, so nothing is sent here.
void ApplyFlags(TChannelSet& set, const std::array<bool, kChannelCount>& flags,
                const TAutomation::TButtons& buttons)
{
    for (TChannel c = 0; c < kChannelCount; ++c)
        if (flags[static_cast<size_t>(c)])
            set.Include(c);
    for (TChannel c = 0; c < kChannelCount; ++c)
        buttons[static_cast<size_t>(c)]->setChecked(set.Contains(c));
}

} // namespace

TAutomation::TAutomation(const TBreederTabs& breeders, TMidiDevices& midi, TStatusLine& status, QWidget& window)
    : FBreeders(breeders), FMidi(midi), FStatus(status)
{
    FTimer = new QTimer(&window);
    FTimer->setObjectName("TimerAuto");
    FTimer->setInterval(FInterval);
    connect(FTimer, &QTimer::timeout, this, [this] { Tick(); });
}

void TAutomation::SetButtons(const std::array<TButtons, kModeCount>& autoButtons, const TButtons& activeButtons,
                             QSpinBox* interval)
{
    FAutoButtons = autoButtons;
    FActiveButtons = activeButtons;
    FIntervalSpin = interval;
}

void TAutomation::ActiveClick(TChannel channel, bool down)
{
    FStatus.Clear(TStatusTopic::Channels);
    FActiveButtons[static_cast<size_t>(channel)]->setChecked(down);
    if (!down) {
        FActive.Exclude(channel);
        FActiveChanged();
        return;
    }
    FActive.Include(channel);
    FActiveChanged();
    FBreeders.Panel(channel)->NotifyAudible();
}

bool TAutomation::Active() const
{
    for (const TChannelSet& set : FModes)
        if (!set.Empty())
            return true;
    return false;
}

void TAutomation::EnableTimer()
{
    // Enabling a running timer must not restart its count.
    if (!Active())
        FTimer->stop();
    else if (!FTimer->isActive())
        FTimer->start();
}

void TAutomation::SetInterval(int32_t ms)
{
    // Confined here rather than by the spin control alone: a period of 0 would
    // tick without pause, and the control would not report a value it already shows.
    ms = std::clamp(ms, kMinInterval, kMaxInterval);
    if (ms == FInterval)
        return;
    FInterval = ms;
    FTimer->setInterval(ms); // restarts a running count
    FIntervalSpin->setValue(ms);
}

void TAutomation::AutoClick(TMode mode, TChannel channel, bool down)
{
    const auto row = static_cast<size_t>(mode);
    if (down) {
        for (size_t other = 0; other < kModeCount; ++other) {
            if (other == row)
                continue;
            FModes[other].Exclude(channel);
            FAutoButtons[other][static_cast<size_t>(channel)]->setChecked(false);
        }
        FModes[row].Include(channel);
    } else {
        FModes[row].Exclude(channel);
    }
    EnableTimer();
}

void TAutomation::Tick()
{
    // A failing rule shows a modal error box with an event loop of its own.
    // The ticks wait until it is closed; the toolkit would not re-enter a
    // timer's slot either, but that is not to be relied on.
    if (FInTick)
        return;
    FInTick = true;
    RunGuarded([this] {
        try {
            TimerAutoTimer();
        } catch (const EmidioutputError& e) {
            FMidi.SendFailed(e, true);
        }
    });
    FInTick = false;
}

void TAutomation::TimerAutoTimer()
{
    if (!Active()) {
        FTimer->stop();
        return;
    }
    TChannelSet towardTarget;
    for (TChannel channel = 0; channel < kChannelCount; ++channel) {
        if (!FActive.Contains(channel))
            continue;
        TWormPanel* panel = FBreeders.Panel(channel);
        if (Modes(TMode::Randomize).Contains(channel))
            panel->RandomizeAll();
        if (Modes(TMode::Mate).Contains(channel))
            panel->Mate();
        if (Modes(TMode::Mutate).Contains(channel))
            panel->MutateAll();
        if (Modes(TMode::BreedFromRated).Contains(channel))
            BreedFromRated(*panel);
        if (Modes(TMode::TowardTarget).Contains(channel))
            towardTarget.Include(channel);
    }
    if (!towardTarget.Empty() && FTowardTarget)
        FTowardTarget(towardTarget);
}

void TAutomation::BreedFromRated(TWormPanel& panel)
{
    const QString unrated = QString("No worm of breeder %1 is rated").arg(QChar('A' + panel.Tag()));
    if (panel.BreedFromRated()) {
        // Only its own notice: the topic carries other breeding messages too.
        if (FStatus.Message(TStatusTopic::Breeding).startsWith(unrated))
            FStatus.Clear(TStatusTopic::Breeding);
        return;
    }
    FStatus.Show(TStatusTopic::Breeding,
                 unrated + ", so it mated instead. Rate worms with Ctrl+1..3 or a middle click.");
    panel.Mate();
}

void TAutomation::ApplySettings(const TMainSettings& s)
{
    SetInterval(s.AutoInterval);
    ApplyFlags(FActive, s.ChannelActive, FActiveButtons);
    const std::array<const std::array<bool, kChannelCount>*, kModeCount> flags = {
        &s.AutoRandomize, &s.AutoMate, &s.AutoMutate, &s.AutoBreedFromRated, &s.AutoTowardTarget};
    for (size_t row = 0; row < kModeCount; ++row)
        ApplyFlags(FModes[row], *flags[row], FAutoButtons[row]);
    // The mode buttons of a channel show at most one down, the last row that has it.
    for (size_t i = 0; i < kChannelCount; ++i) {
        bool later = false; // a later row shows the channel's mode
        for (size_t row = kModeCount; row-- > 0;) {
            if (later)
                FAutoButtons[row][i]->setChecked(false);
            later = later || FAutoButtons[row][i]->isChecked();
        }
    }
}

void TAutomation::SaveSettings(TMainSettings& s) const
{
    s.AutoInterval = FInterval;
    for (TChannel c = 0; c < kChannelCount; ++c) {
        const auto i = static_cast<size_t>(c);
        s.ChannelActive[i] = FActive.Contains(c);
        s.AutoRandomize[i] = Modes(TMode::Randomize).Contains(c);
        s.AutoMate[i] = Modes(TMode::Mate).Contains(c);
        s.AutoMutate[i] = Modes(TMode::Mutate).Contains(c);
        s.AutoBreedFromRated[i] = Modes(TMode::BreedFromRated).Contains(c);
        s.AutoTowardTarget[i] = Modes(TMode::TowardTarget).Contains(c);
    }
}

} // namespace zw
