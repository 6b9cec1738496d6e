#pragma once

#include <cstdint>

namespace zw {

// A stereo-linked peak limiter with no look-ahead: the gain drops at once to
// what keeps the sample at the ceiling and recovers smoothly, so no output
// sample ever goes beyond the ceiling. Samples that are not finite (a faulty
// instrument) become silence.
class TLimiter {
public:
    // -1 dBFS.
    static constexpr float kCeiling = 0.8912509f;

    // Control thread, while Process does not run.
    void Prepare(double sampleRate);

    // Audio thread: limits `frames` frames in place.
    void Process(float* left, float* right, uint32_t frames) noexcept;

    // The gain applied to the last sample (1: not limiting).
    float Gain() const { return FGain; }

private:
    float FGain = 1.0f;
    float FRelease = 0.0f; // share of the distance to 1 recovered per sample
};

} // namespace zw
