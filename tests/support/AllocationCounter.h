#pragma once

// Counts every operator new made on a thread that marks itself, so a test can
// check that real-time code allocates nothing. The counting operator new
// comes with this library: only the tests that link it get it.
namespace zw {

void CountAllocationsOnThisThread(bool on) noexcept;
bool AllocationsCountedOnThisThread() noexcept;
int CountedAllocations() noexcept;
void ResetCountedAllocations() noexcept;

} // namespace zw
