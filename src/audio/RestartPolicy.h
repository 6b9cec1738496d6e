#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <vector>

namespace zw {

// Whether a hosted instrument that failed (crashed, hung) is started again.
// Bred parameters are the likeliest cause, so a genome that made it fail
// twice is not tried again until another genome becomes audible; and an
// instrument that failed kMaxFailures times within kWindow stays off.
class TRestartPolicy {
public:
    using TClock = std::chrono::steady_clock;
    static constexpr int kMaxFailures = 5;
    static constexpr std::chrono::seconds kWindow{60};

    enum class TVerdict { Restart, WaitForAnotherGenome, Off };

    // The instrument failed at `now` playing `genome`.
    TVerdict Failed(TClock::time_point now, const std::vector<uint8_t>& genome);
    // `genome` became audible: whether an instrument waiting for another
    // genome starts again now.
    bool GenomeChanged(const std::vector<uint8_t>& genome);
    bool Waiting() const { return FWaiting; }

private:
    std::deque<TClock::time_point> FFailures;
    std::vector<uint8_t> FFailedGenome;
    int FGenomeFailures = 0;
    bool FWaiting = false;
};

} // namespace zw
