#include "audio/SamplePlayer.h"

#include <algorithm>

namespace zw {

TSamplePlayer::TSamplePlayer(std::vector<float> samples, double sampleRate)
    : FSamples(std::move(samples)), FSampleRate(sampleRate)
{
}

void TSamplePlayer::Prepare(double sampleRate, uint32_t)
{
    FStep = FSampleRate / sampleRate;
    FFadeFrames = std::max(1u, static_cast<uint32_t>(kFadeSeconds * sampleRate));
    FPlaying = false;
}

void TSamplePlayer::Take(const TMidiEvent& event) noexcept
{
    if (event.Length != 3)
        return;
    const uint8_t kind = event.Bytes[0] & 0xF0;
    if (kind == 0x90 && event.Bytes[2] > 0) {
        FPosition = 0;
        FPlaying = true;
        FFadeLeft = 0;
    } else if ((kind == 0x80 || kind == 0x90) && FPlaying && FFadeLeft == 0) {
        FFadeLeft = FFadeFrames; // a cut would click
    }
}

void TSamplePlayer::Process(const TMidiEvent* events, size_t count, float* left, float* right,
                            uint32_t frames) noexcept
{
    size_t next = 0;
    const double last = static_cast<double>(FSamples.size()) - 1;
    for (uint32_t i = 0; i < frames; ++i) {
        for (; next < count && events[next].Frame <= i; ++next)
            Take(events[next]);
        float sample = 0;
        if (FPlaying && FPosition >= last)
            FPlaying = false;
        if (FPlaying) {
            const auto index = static_cast<size_t>(FPosition);
            const auto fraction = static_cast<float>(FPosition - static_cast<double>(index));
            sample = FSamples[index] + fraction * (FSamples[index + 1] - FSamples[index]);
            FPosition += FStep;
            if (FFadeLeft > 0) {
                sample *= static_cast<float>(FFadeLeft) / static_cast<float>(FFadeFrames);
                FPlaying = --FFadeLeft > 0;
            }
        }
        left[i] = right[i] = sample;
    }
    for (; next < count; ++next)
        Take(events[next]);
}

} // namespace zw
