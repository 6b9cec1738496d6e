#pragma once

#include "audio/AudioInstrument.h"
#include "support/AllocationCounter.h"

#include <algorithm>
#include <atomic>

namespace zw {

// An instrument that marks the thread running it as the audio thread, so the
// allocation counter watches that thread; it sounds nothing and counts its periods.
class TAudioThreadMarker final : public TAudioInstrument {
public:
    void Prepare(double, uint32_t) override {}
    void Process(const TMidiEvent*, size_t, float* left, float* right, uint32_t frames) noexcept override
    {
        CountAllocationsOnThisThread(true);
        std::fill(left, left + frames, 0.0f);
        std::fill(right, right + frames, 0.0f);
        Periods.fetch_add(1);
    }
    void Silence() noexcept override {}
    std::atomic<int> Periods{0};
};

} // namespace zw
