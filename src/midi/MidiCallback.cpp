#include "midi/MidiCallback.h"

#include "common/Guard.h"
#include "midi/MidiDriverApi.h"
#include "midi/MidiThru.h"

#include <QCoreApplication>

#include <new>

namespace zw {

namespace {

// One posted notice and its parameter.
class TMidiNoticeEvent : public QEvent {
public:
    static QEvent::Type Kind()
    {
        static const auto kind = static_cast<QEvent::Type>(QEvent::registerEventType());
        return kind;
    }
    TMidiNoticeEvent(TMidiNotice notice, uintptr_t param) : QEvent(Kind()), Notice(notice), Param(param) {}
    const TMidiNotice Notice;
    const uintptr_t Param;
};

void StoreInput(TCallbackBlock& block, uint32_t message, uintptr_t param1, uintptr_t param2)
{
    if (param1 == 0xFE || param1 == 0xF8) // active sensing and timing clock
        return;
    if (message == MIM_DATA && block.SysexOnly.load(std::memory_order_relaxed))
        return;
    if (!block.RingBuffer)
        return;
    TRingEvent event{static_cast<uint32_t>(param2), 0, 0};
    if (message == MIM_DATA) {
        event.Message = static_cast<uint32_t>(param1);
    } else {
        const auto* header = reinterpret_cast<const TMidiHdr*>(param1);
        const auto* owner = header ? reinterpret_cast<const TMyMidiHdr*>(header->dwUser) : nullptr;
        event.Header = owner ? owner->Number : 0;
    }
    if (PutRingEvent(block.RingBuffer, event))
        block.NotificationWindow->Post(TMidiNotice::Input, 0);
    else
        block.NotificationWindow->Post(TMidiNotice::Overflow, 0);
}

} // namespace

TMidiNotifier::TMidiNotifier(THandler handler) : FHandler(std::move(handler))
{
    // Kind() registers the event type here, in the GUI thread, not in the callback.
    (void)TMidiNoticeEvent::Kind();
}

void TMidiNotifier::Post(TMidiNotice notice, uintptr_t param)
{
    QCoreApplication::postEvent(this, new TMidiNoticeEvent(notice, param));
}

void TMidiNotifier::customEvent(QEvent* event)
{
    if (event->type() != TMidiNoticeEvent::Kind())
        return;
    const auto* notice = static_cast<TMidiNoticeEvent*>(event);
    // The port's events run user code: its failures go to the error box, never into the event loop.
    RunGuarded([&] { FHandler(notice->Notice, notice->Param); });
}

TCallbackBlock* AllocCallbackBlock()
{
    TLockedHandle handle = nullptr;
    void* memory = AllocLockedBlock(sizeof(TCallbackBlock), handle);
    if (!memory)
        return nullptr;
    auto* block = new (memory) TCallbackBlock{};
    block->OwnHandle = handle;
    return block;
}

void FreeCallbackBlock(TCallbackBlock* block)
{
    if (!block)
        return;
    const TLockedHandle handle = block->OwnHandle;
    block->~TCallbackBlock();
    FreeLockedBlock(handle);
}

void MidiDriverCallback(TMidiHandle, uint32_t message, uintptr_t instance, uintptr_t param1,
                        uintptr_t param2) noexcept
{
    auto* block = reinterpret_cast<TCallbackBlock*>(instance);
    if (!block || !block->NotificationWindow)
        return;
    if (message == MIM_DATA)
        if (TMidiThruSink* thru = block->ThruSink.load(std::memory_order_acquire))
            thru->Receive(static_cast<uint32_t>(param1));
    try {
        switch (message) {
        case MOM_DONE:
            block->NotificationWindow->Post(TMidiNotice::Done, param1);
            break;
        case MIM_DATA:
        case MIM_LONGDATA:
        case MIM_LONGERROR:
            StoreInput(*block, message, param1, param2);
            break;
        default: // open, close, error and more-data notices
            break;
        }
    } catch (...) {
        // Posting can fail only when memory is exhausted; the notice is lost then,
        // but nothing may unwind into the driver's thread.
    }
}

} // namespace zw
