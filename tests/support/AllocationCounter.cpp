#include "support/AllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
thread_local bool tCounted = false;
std::atomic<int> gAllocations{0};
} // namespace

void* operator new(std::size_t size)
{
    gAllocations += tCounted;
    if (void* memory = std::malloc(size == 0 ? 1 : size))
        return memory;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }

namespace zw {

void CountAllocationsOnThisThread(bool on) noexcept { tCounted = on; }
bool AllocationsCountedOnThisThread() noexcept { return tCounted; }
int CountedAllocations() noexcept { return gAllocations.load(); }
void ResetCountedAllocations() noexcept { gAllocations = 0; }

} // namespace zw
