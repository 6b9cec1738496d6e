#include "midi/JackPacer.h"

#include <thread>

namespace zw {

TMidiResult TJackPacer::Pace(size_t size)
{
    const uint64_t cost = size + kJackEventCost;
    TMidiResult result = MMSYSERR_NOERROR;
    Advance(FClock.Cycles());
    // A stopped server takes nothing more: no use waiting for it.
    while (!FClock.Stopped() && FCost + FPreviousCost > 0 && FCost + FPreviousCost + cost > kJackBudget) {
        if (!WaitForCycle(FCycle + 1)) {
            result = MIDIERR_NOTREADY; // sent all the same, on a fresh count
            FCost = FPreviousCost = 0;
            break;
        }
        Advance(FClock.Cycles());
    }
    FCost += cost;
    return result;
}

bool TJackPacer::Fits(uint64_t cost) const
{
    return Pending(FClock.Cycles()) + cost <= kJackBudget;
}

uint64_t TJackPacer::Pending(uint64_t cycle) const
{
    if (cycle >= FCycle + 2)
        return 0;
    return cycle == FCycle + 1 ? FCost : FCost + FPreviousCost;
}

void TJackPacer::Advance(uint64_t cycle)
{
    if (cycle <= FCycle)
        return;
    FPreviousCost = cycle == FCycle + 1 ? FCost : 0;
    FCost = 0;
    FCycle = cycle;
}

void TJackPacer::WaitUntilFlushed() const
{
    WaitForCycle(FClock.Cycles() + 2);
}

namespace {

// False when the server stalled before reaching `cycle`.
bool WaitForCycleOf(const TCycleClock& clock, uint64_t cycle, std::chrono::milliseconds stallTimeout)
{
    const auto deadline = std::chrono::steady_clock::now() + stallTimeout;
    while (!clock.Stopped() && clock.Cycles() < cycle) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

} // namespace

void WaitUntilConnectionsApply(const TCycleClock& clock, std::chrono::milliseconds stallTimeout)
{
    WaitForCycleOf(clock, clock.Cycles() + 2, stallTimeout);
}

bool TJackPacer::WaitForCycle(uint64_t cycle) const
{
    return WaitForCycleOf(FClock, cycle, FStallTimeout);
}

} // namespace zw
