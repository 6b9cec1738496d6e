#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <type_traits>

namespace zw {

// A bounded queue between exactly one producer thread and one consumer
// thread. Neither side allocates, locks or waits, so a real-time callback
// (a JACK process cycle, an audio callback) may be either side. A full queue
// refuses the item; the producer decides what that means (count it, report
// it later), never blocks.
template <typename T, std::size_t Capacity>
class TSpscQueue {
    static_assert(std::is_trivially_copyable_v<T>, "items are copied between threads by value");
    static_assert(Capacity >= 2 && (Capacity & (Capacity - 1)) == 0, "capacity must be a power of two");

public:
    // Producer side. False when full.
    bool TryPush(const T& item) noexcept
    {
        const std::size_t tail = FTail.load(std::memory_order_relaxed);
        if (tail - FHead.load(std::memory_order_acquire) == Capacity)
            return false;
        FItems[tail & (Capacity - 1)] = item;
        FTail.store(tail + 1, std::memory_order_release);
        return true;
    }

    // Producer side: all `count` items or none. The consumer sees them appear
    // together, so a batch is never taken apart by a pop in between.
    bool TryPushAll(const T* items, std::size_t count) noexcept
    {
        const std::size_t tail = FTail.load(std::memory_order_relaxed);
        if (count > Capacity - (tail - FHead.load(std::memory_order_acquire)))
            return false;
        for (std::size_t i = 0; i < count; ++i)
            FItems[(tail + i) & (Capacity - 1)] = items[i];
        FTail.store(tail + count, std::memory_order_release);
        return true;
    }

    // Consumer side. False when empty.
    bool TryPop(T& item) noexcept
    {
        const std::size_t head = FHead.load(std::memory_order_relaxed);
        if (head == FTail.load(std::memory_order_acquire))
            return false;
        item = FItems[head & (Capacity - 1)];
        FHead.store(head + 1, std::memory_order_release);
        return true;
    }

    // Either side; only a snapshot while the other side runs.
    bool Empty() const noexcept
    {
        return FHead.load(std::memory_order_acquire) == FTail.load(std::memory_order_acquire);
    }

    // Either side; only a snapshot while the other side runs (the consumer
    // may count on at least this many items being there).
    std::size_t Size() const noexcept
    {
        return FTail.load(std::memory_order_acquire) - FHead.load(std::memory_order_acquire);
    }

    static constexpr std::size_t capacity() noexcept { return Capacity; }

private:
    // Apart, so producer and consumer do not share a cache line.
    alignas(64) std::atomic<std::size_t> FHead{0};
    alignas(64) std::atomic<std::size_t> FTail{0};
    std::array<T, Capacity> FItems{};
};

} // namespace zw
