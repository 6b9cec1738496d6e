#include "midi/JackPacer.h"

#include <thread>

namespace zw {

TMidiResult TJackPacer::Pace(size_t size)
{
    const uint64_t cost = size + kJackEventCost;
    TMidiResult result = MMSYSERR_NOERROR;
    if (FClock.Cycles() >= FWindowCycle + 2) {
        FWindowCycle = FClock.Cycles();
        FWindowCost = 0;
    }
    if (FWindowCost > 0 && FWindowCost + cost > kJackBudget) {
        if (!WaitForCycle(FWindowCycle + 2))
            result = MIDIERR_NOTREADY;
        FWindowCycle = FClock.Cycles();
        FWindowCost = 0;
    }
    FWindowCost += cost;
    return result;
}

void TJackPacer::WaitUntilFlushed() const
{
    WaitForCycle(FClock.Cycles() + 2);
}

bool TJackPacer::WaitForCycle(uint64_t cycle) const
{
    const auto deadline = std::chrono::steady_clock::now() + FStallTimeout;
    while (!FClock.Stopped() && FClock.Cycles() < cycle) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

} // namespace zw
