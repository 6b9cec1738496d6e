#pragma once

#include <atomic>
#include <cstdint>

// Memory that the driver's thread touches, and the input port's ring buffer.
namespace zw {

// Plain zero-filled memory stands in for locked global memory; the handle is
// what FreeLockedBlock takes back.
using TLockedHandle = void*;

// Allocates `size` zero-filled bytes; null (and an empty handle) for size 0 or
// when memory is exhausted. Only on the GUI thread, never in the driver callback.
void* AllocLockedBlock(uint16_t size, TLockedHandle& handle);
// Does nothing for an empty handle.
void FreeLockedBlock(TLockedHandle handle);

// One stored input event, three 32-bit words.
struct TRingEvent {
    uint32_t Timestamp; // ms since StartInput
    uint32_t Message;   // packed short message; 0 for system-exclusive data
    uint32_t Header;    // number of the filled sysex buffer (TMyMidiHdr::Number); 0 for a short message
};
static_assert(sizeof(TRingEvent) == 12);

// Storage of capacity × 12 bytes must fit a 16-bit size.
constexpr uint16_t kMaxRingCapacity = 5461;

struct TMidiRingBuffer {
    TLockedHandle OwnHandle;
    TLockedHandle StorageHandle;
    TRingEvent* Start;
    TRingEvent* End;     // one past the last record
    TRingEvent* NextPut; // written by the driver callback only
    TRingEvent* NextGet; // moved by the GUI thread only, as it takes events out
    uint16_t Error;
    uint16_t Capacity;
    // Raised by the driver callback, lowered by the GUI thread.
    std::atomic<uint16_t> EventCount;
};

// Null for capacity 0 or when memory is exhausted; ERangeError above kMaxRingCapacity.
TMidiRingBuffer* AllocRingBuffer(uint16_t capacity);
void FreeRingBuffer(TMidiRingBuffer* buffer);
// Stores a copy of `event`; false when the buffer is full. Driver callback only.
bool PutRingEvent(TMidiRingBuffer* buffer, const TRingEvent& event);
// Moves the oldest stored event into `event`; false when none is stored. One
// reader only (the GUI thread), alongside the callback's writes.
bool TakeRingEvent(TMidiRingBuffer* buffer, TRingEvent& event);

} // namespace zw
