#include "audio/TestTone.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace zw {

void TTestTone::Prepare(double sampleRate, uint32_t)
{
    FSampleRate = sampleRate;
    FPosition = FLength = 0;
}

void TTestTone::Start(uint8_t note) noexcept
{
    const double frequency = 440.0 * std::pow(2.0, (note - 69) / 12.0);
    FStep = 2 * std::numbers::pi * frequency / FSampleRate;
    FPhase = 0;
    FLength = static_cast<uint32_t>(kSeconds * FSampleRate);
    FPosition = 0;
}

void TTestTone::Take(const TMidiEvent& event) noexcept
{
    if (event.Length == 3 && (event.Bytes[0] & 0xF0) == 0x90 && event.Bytes[2] > 0)
        Start(event.Bytes[1]);
}

void TTestTone::Process(const TMidiEvent* events, size_t count, float* left, float* right, uint32_t frames) noexcept
{
    // Fades of 10 ms keep the start and the end free of clicks.
    const double fade = 0.01 * FSampleRate;
    size_t next = 0;
    for (uint32_t i = 0; i < frames; ++i) {
        for (; next < count && events[next].Frame <= i; ++next)
            Take(events[next]);
        float sample = 0;
        if (FPosition < FLength) {
            const double envelope = std::min({1.0, FPosition / fade, (FLength - FPosition) / fade});
            sample = static_cast<float>(kLevel * envelope * std::sin(FPhase));
            FPhase = std::fmod(FPhase + FStep, 2 * std::numbers::pi);
            ++FPosition;
        }
        left[i] = right[i] = sample;
    }
    for (; next < count; ++next)
        Take(events[next]);
}

} // namespace zw
