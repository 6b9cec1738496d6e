#pragma once

#include "common/WakeEvent.h"
#include "midi/Circbuf.h"
#include "midi/MidiDriverApi.h"

#include <QObject>

#include <atomic>
#include <functional>

class QSocketNotifier;

// The one driver callback, what it receives from a port, and the object in
// the GUI thread to which it hands its notices.
namespace zw {

class TMidiThruSink;

// What the driver callback tells a port in the GUI thread.
enum class TMidiNotice {
    Input,    // an input event was stored in the ring buffer
    Overflow, // an input event was dropped: the ring buffer was full
    Done,     // a long message is done; the parameter is its header
    Failed,   // sending failed; the parameter is the first failure's result code
};

// Takes the driver callback's notices on any thread, a real-time one included
// (no allocation, no lock: counters, a list threaded through the headers'
// owners, and one eventfd write to wake the GUI thread however many notices
// came meanwhile), and hands them to its port in the GUI thread: one Input
// per stored event, one Overflow per dropped event, one Done per header, and
// at most one Failed per wake-up. Notices still pending when it is destroyed
// are dropped.
class TMidiNotifier : public QObject {
    Q_OBJECT
public:
    // (notice, parameter), on the GUI thread.
    using THandler = std::function<void(TMidiNotice notice, uintptr_t param)>;
    explicit TMidiNotifier(THandler handler);
    ~TMidiNotifier() override;

    // Any thread.
    void PostInput();
    void PostOverflow();
    // `header` is owned by a TMyMidiHdr (its dwUser); null for a short message.
    // A nonzero `result` is a send failure.
    void PostDone(TMidiHdr* header, TMidiResult result);

    // Hands over what is pending now (the wake-up does this by itself).
    void Deliver();

private:
    void Wake();

    THandler FHandler;
    TWakeEvent FWake{"The MIDI notifier"};
    QSocketNotifier* FWakeNotifier = nullptr; // child
    std::atomic<bool> FWakePending{false};
    std::atomic<uint32_t> FInputs{0};
    std::atomic<uint32_t> FOverflows{0};
    std::atomic<TMyMidiHdr*> FDone{nullptr}; // most recent first
    std::atomic<TMidiResult> FFailure{MMSYSERR_NOERROR};
};

// One per port, the instance value of the driver callback.
struct TCallbackBlock {
    TLockedHandle OwnHandle = nullptr;
    TMidiRingBuffer* RingBuffer = nullptr; // input ports only
    TMidiNotifier* NotificationWindow = nullptr;
    std::atomic<bool> SysexOnly{false};    // input ports only; the GUI thread may change it while open
    std::atomic<TMidiThruSink*> ThruSink{nullptr}; // input ports only; short messages passed on to the output
};

// Null when memory is exhausted.
TCallbackBlock* AllocCallbackBlock();
void FreeCallbackBlock(TCallbackBlock* block);

// Runs on the driver's thread: stores at most one input record and hands on
// at most one notice; allocates nothing, takes no lock, raises nothing.
// MOM_DONE carries the header (null for a short message) and, as its second
// parameter, the send's result code.
void MidiDriverCallback(TMidiHandle handle, uint32_t message, uintptr_t instance,
                        uintptr_t param1, uintptr_t param2) noexcept;

} // namespace zw
