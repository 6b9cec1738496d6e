#include "audio/Limiter.h"

#include <algorithm>
#include <cmath>

namespace zw {

void TLimiter::Prepare(double sampleRate)
{
    // Recovers about two thirds of the way back to unity gain in 50 ms.
    constexpr double kReleaseSeconds = 0.05;
    FRelease = static_cast<float>(1.0 - std::exp(-1.0 / (kReleaseSeconds * std::max(sampleRate, 1.0))));
    FGain = 1.0f;
}

void TLimiter::Process(float* left, float* right, uint32_t frames) noexcept
{
    // Most blocks stay below the ceiling: then there is nothing to do.
    if (FGain == 1.0f) {
        bool within = true; // false too for NaN and infinity, which the loop below clears
        for (uint32_t i = 0; i < frames && within; ++i)
            within = left[i] >= -kCeiling && left[i] <= kCeiling && right[i] >= -kCeiling && right[i] <= kCeiling;
        if (within)
            return;
    }
    for (uint32_t i = 0; i < frames; ++i) {
        if (!std::isfinite(left[i]) || !std::isfinite(right[i])) {
            left[i] = right[i] = 0.0f;
            continue;
        }
        const float peak = std::max(std::fabs(left[i]), std::fabs(right[i]));
        const float allowed = peak > kCeiling ? kCeiling / peak : 1.0f;
        float recovered = FGain + (1.0f - FGain) * FRelease;
        if (1.0f - recovered < kUnityDistance)
            recovered = 1.0f;
        FGain = std::min(allowed, recovered);
        // The clamp only catches rounding: the gain already keeps the peak there.
        left[i] = std::clamp(left[i] * FGain, -kCeiling, kCeiling);
        right[i] = std::clamp(right[i] * FGain, -kCeiling, kCeiling);
    }
}

void TDcBlocker::Prepare(double sampleRate)
{
    constexpr double kCornerHz = 10.0;
    FPole = static_cast<float>(std::exp(-2.0 * 3.141592653589793 * kCornerHz / std::max(sampleRate, 1.0)));
    Reset();
}

void TDcBlocker::Filter(TChannel& channel, float pole, float* samples, uint32_t frames) noexcept
{
    float in = channel.In;
    float out = channel.Out;
    for (uint32_t i = 0; i < frames; ++i) {
        // A faulty sample must not stay in the filter: the limiter silences it.
        const float x = std::isfinite(samples[i]) ? samples[i] : 0.0f;
        out = x - in + pole * out;
        in = x;
        samples[i] = out;
    }
    // After the sound, the filter's own tail ends in exact silence once it
    // is 120 dB down, rather than going on as ever smaller (at last denormal,
    // slow) numbers.
    channel.In = in;
    channel.Out = !std::isfinite(out) || (in == 0.0f && std::fabs(out) < 1e-6f) ? 0.0f : out;
}

void TDcBlocker::Process(float* left, float* right, uint32_t frames) noexcept
{
    Filter(FLeft, FPole, left, frames);
    Filter(FRight, FPole, right, frames);
}

} // namespace zw
