#pragma once

#include "midi/Circbuf.h"
#include "midi/MidiDriverApi.h"

#include <QEvent>
#include <QObject>

#include <atomic>
#include <functional>

// The one driver callback, what it receives from a port, and the object in
// the GUI thread to which it posts its notices.
namespace zw {

class TMidiThruSink;

// What the driver callback tells a port in the GUI thread.
enum class TMidiNotice {
    Input,    // an input event was stored in the ring buffer
    Overflow, // an input event was dropped: the ring buffer was full
    Done,     // a long message is done; the parameter is its header
};

// Receives the notices that the driver callback posts and hands them to its
// port in the GUI thread. Notices still queued when it is destroyed are dropped.
class TMidiNotifier : public QObject {
    Q_OBJECT
public:
    // (notice, parameter), on the GUI thread.
    using THandler = std::function<void(TMidiNotice notice, uintptr_t param)>;
    explicit TMidiNotifier(THandler handler);

    // Thread-safe: queues one notice for the GUI thread.
    void Post(TMidiNotice notice, uintptr_t param);

protected:
    void customEvent(QEvent* event) override;

private:
    THandler FHandler;
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

// Runs on the driver's thread: stores at most one input record and posts at
// most one notice. Raises nothing.
void MidiDriverCallback(TMidiHandle handle, uint32_t message, uintptr_t instance,
                        uintptr_t param1, uintptr_t param2) noexcept;

} // namespace zw
