#include "midi/MidiCallback.h"

#include "common/Guard.h"
#include "midi/MidiDriverApi.h"
#include "midi/MidiThru.h"

#include <QSocketNotifier>

#include <new>

#include <unistd.h>

namespace zw {

namespace {

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
        block.NotificationWindow->PostInput();
    else
        block.NotificationWindow->PostOverflow();
}

} // namespace

TMidiNotifier::TMidiNotifier(THandler handler) : FHandler(std::move(handler))
{
    FWakeNotifier = new QSocketNotifier(FWake.Fd(), QSocketNotifier::Read, this);
    connect(FWakeNotifier, &QSocketNotifier::activated, this, [this] { Deliver(); });
}

TMidiNotifier::~TMidiNotifier()
{
    delete FWakeNotifier; // before its descriptor goes
}

void TMidiNotifier::PostInput()
{
    FInputs.fetch_add(1);
    Wake();
}

void TMidiNotifier::PostOverflow()
{
    FOverflows.fetch_add(1);
    Wake();
}

void TMidiNotifier::PostDone(TMidiHdr* header, TMidiResult result)
{
    if (result != MMSYSERR_NOERROR) {
        TMidiResult none = MMSYSERR_NOERROR;
        FFailure.compare_exchange_strong(none, result); // the first failure is the one told
    }
    auto* owner = header ? reinterpret_cast<TMyMidiHdr*>(header->dwUser) : nullptr;
    if (owner && !owner->DonePosted.exchange(true)) { // a header is handed back once
        owner->NextDone = FDone.load();
        while (!FDone.compare_exchange_weak(owner->NextDone, owner)) {
        }
    }
    Wake();
}

void TMidiNotifier::Wake()
{
    // One write wakes the GUI thread for everything posted until it looks.
    if (!FWakePending.exchange(true))
        FWake.Signal();
}

void TMidiNotifier::Deliver()
{
    FWake.Drain();
    // Cleared before looking, so a notice posted from here on wakes again.
    FWakePending.store(false);
    TMyMidiHdr* done = FDone.exchange(nullptr);
    TMyMidiHdr* inOrder = nullptr;
    while (done) { // the list is newest first
        TMyMidiHdr* next = done->NextDone;
        done->NextDone = inOrder;
        inOrder = done;
        done = next;
    }
    const uint32_t inputs = FInputs.exchange(0);
    const uint32_t overflows = FOverflows.exchange(0);
    const TMidiResult failure = FFailure.exchange(MMSYSERR_NOERROR);
    // The port's events run user code: its failures go to the error box, never into the event loop.
    while (inOrder) {
        TMidiHdr* header = inOrder->Header();
        inOrder = inOrder->NextDone; // read first: the port frees the owner
        RunGuarded([&] { FHandler(TMidiNotice::Done, reinterpret_cast<uintptr_t>(header)); });
    }
    for (uint32_t i = 0; i < inputs; ++i)
        RunGuarded([&] { FHandler(TMidiNotice::Input, 0); });
    for (uint32_t i = 0; i < overflows; ++i)
        RunGuarded([&] { FHandler(TMidiNotice::Overflow, 0); });
    if (failure != MMSYSERR_NOERROR)
        RunGuarded([&] { FHandler(TMidiNotice::Failed, failure); });
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
    switch (message) {
    case MOM_DONE:
        block->NotificationWindow->PostDone(reinterpret_cast<TMidiHdr*>(param1), static_cast<TMidiResult>(param2));
        break;
    case MIM_DATA:
    case MIM_LONGDATA:
    case MIM_LONGERROR:
        StoreInput(*block, message, param1, param2);
        break;
    default: // open, close, error and more-data notices
        break;
    }
}

} // namespace zw
