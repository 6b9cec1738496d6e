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

    // The gain applied to the last sample (1: not limiting). Once within
    // kUnityDistance of 1 the gain is 1 again, exactly.
    float Gain() const { return FGain; }

private:
    // A gain step of 0.01 dB, which nobody hears; recovering by a share of
    // the distance stalls in float arithmetic below about 1e-4 (more at
    // higher sample rates), well before 1.
    static constexpr float kUnityDistance = 1e-3f;

    float FGain = 1.0f;
    float FRelease = 0.0f; // share of the distance to 1 recovered per sample
};

// Takes the constant part (DC) out of one instrument's sound: a one-pole
// high-pass at a few hertz, below anything an instrument plays. A bred sound
// may carry an offset of most of full scale, which the limiter would count
// as peak and which clicks where it starts and stops.
class TDcBlocker {
public:
    // Control thread, while Process does not run; starts from silence.
    void Prepare(double sampleRate);
    // Audio thread: starts from silence again (a new instrument).
    void Reset() noexcept { FLeft = FRight = TChannel(); }
    // Audio thread: filters `frames` frames in place.
    void Process(float* left, float* right, uint32_t frames) noexcept;

private:
    struct TChannel {
        float In = 0.0f;  // the last input sample
        float Out = 0.0f; // the last output sample
    };
    static void Filter(TChannel& channel, float pole, float* samples, uint32_t frames) noexcept;

    float FPole = 0.0f;
    TChannel FLeft;
    TChannel FRight;
};

} // namespace zw
