#include "audio/RestartPolicy.h"

namespace zw {

TRestartPolicy::TVerdict TRestartPolicy::Failed(TClock::time_point now, const std::vector<uint8_t>& genome)
{
    FFailures.push_back(now);
    while (now - FFailures.front() > kWindow)
        FFailures.pop_front();
    if (genome == FFailedGenome) {
        ++FGenomeFailures;
    } else {
        FFailedGenome = genome;
        FGenomeFailures = 1;
    }
    if (static_cast<int>(FFailures.size()) >= kMaxFailures)
        return TVerdict::Off;
    FWaiting = FGenomeFailures >= 2;
    return FWaiting ? TVerdict::WaitForAnotherGenome : TVerdict::Restart;
}

bool TRestartPolicy::GenomeChanged(const std::vector<uint8_t>& genome)
{
    if (!FWaiting || genome == FFailedGenome)
        return false;
    FWaiting = false;
    return true;
}

} // namespace zw
