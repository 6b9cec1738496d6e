#include "midi/Circbuf.h"

#include "common/Checked.h"

#include <cstdlib>
#include <new>

namespace zw {

void* AllocLockedBlock(uint16_t size, TLockedHandle& handle)
{
    handle = size == 0 ? nullptr : std::calloc(1, size);
    return handle;
}

void FreeLockedBlock(TLockedHandle handle)
{
    std::free(handle);
}

TMidiRingBuffer* AllocRingBuffer(uint16_t capacity)
{
    TLockedHandle own = nullptr;
    void* record = AllocLockedBlock(sizeof(TMidiRingBuffer), own);
    if (!record)
        return nullptr;
    auto* buffer = new (record) TMidiRingBuffer{};
    buffer->OwnHandle = own;
    try {
        const auto bytes = CheckedWord(static_cast<long long>(capacity) * sizeof(TRingEvent));
        TLockedHandle storageHandle = nullptr;
        auto* storage = static_cast<TRingEvent*>(AllocLockedBlock(bytes, storageHandle));
        if (!storage) {
            FreeRingBuffer(buffer);
            return nullptr;
        }
        buffer->StorageHandle = storageHandle;
        buffer->Start = buffer->NextPut = buffer->NextGet = storage;
        buffer->End = storage + capacity;
        buffer->Error = 0;
        buffer->Capacity = capacity;
        buffer->EventCount = 0;
        return buffer;
    } catch (...) {
        FreeRingBuffer(buffer);
        throw;
    }
}

void FreeRingBuffer(TMidiRingBuffer* buffer)
{
    if (!buffer)
        return;
    FreeLockedBlock(buffer->StorageHandle);
    const TLockedHandle own = buffer->OwnHandle;
    buffer->~TMidiRingBuffer();
    FreeLockedBlock(own);
}

bool PutRingEvent(TMidiRingBuffer* buffer, const TRingEvent& event)
{
    const uint16_t count = buffer->EventCount.load(std::memory_order_acquire);
    if (count >= buffer->Capacity)
        return false;
    *buffer->NextPut = event;
    ++buffer->NextPut;
    if (buffer->NextPut == buffer->End)
        buffer->NextPut = buffer->Start;
    // Published after the record, so a reader that sees the count sees the
    // record; an increment, since the reader lowers the count meanwhile.
    buffer->EventCount.fetch_add(1, std::memory_order_release);
    return true;
}

bool TakeRingEvent(TMidiRingBuffer* buffer, TRingEvent& event)
{
    if (buffer->EventCount.load(std::memory_order_acquire) == 0)
        return false;
    event = *buffer->NextGet;
    ++buffer->NextGet;
    if (buffer->NextGet == buffer->End)
        buffer->NextGet = buffer->Start;
    // After the copy: the slot is the writer's again only from here on.
    buffer->EventCount.fetch_sub(1, std::memory_order_release);
    return true;
}

} // namespace zw
