#include "audio/OfflineRender.h"

#include "audio/AudioProcess.h"

#include <algorithm>
#include <cmath>

namespace zw {
namespace {

// As large as the engine renders at once: a hosted instrument costs a round
// trip to its process per block.
constexpr uint32_t kBlockFrames = TAudioProcess::kMaxFrames;

} // namespace

TOfflineRender::TOfflineRender(std::unique_ptr<TAudioInstrument> instrument, double sampleRate)
    : FLeft(kBlockFrames), FRight(kBlockFrames)
{
    FEngine.SetSampleRate(sampleRate);
    FEngine.SetInstrument(0, std::move(instrument));
}

int64_t TOfflineRender::FrameAt(int64_t ms) const
{
    return static_cast<int64_t>(std::llround(static_cast<double>(ms) * FEngine.SampleRate() / 1000.0));
}

void TOfflineRender::Play(const std::vector<uint8_t>& message)
{
    // A full queue is played through first, as the next period would.
    if (!FEngine.Send(0, message.data(), message.size()) && message.size() <= TMidiEvent::kMaxBytes) {
        FEngine.Render(nullptr, nullptr, 0);
        FEngine.Send(0, message.data(), message.size());
    }
}

void TOfflineRender::Fade(int64_t first, uint32_t count, int64_t frames)
{
    const int64_t length = std::max<int64_t>(1, FrameAt(kFadeMs));
    for (uint32_t i = 0; i < count; ++i) {
        const int64_t left = frames - (first + i); // frames to the end, this one included
        if (left > length)
            continue;
        // Cubic: the last tenth of the fade is 60 dB down.
        const float share = static_cast<float>(left - 1) / static_cast<float>(length);
        const float gain = share * share * share;
        FLeft[i] *= gain;
        FRight[i] *= gain;
    }
}

void TOfflineRender::Render(const std::vector<TTimedMidi>& messages, int64_t frames, const TSink& sink)
{
    size_t next = 0;
    for (int64_t done = 0; done < frames;) {
        for (; next < messages.size() && FrameAt(messages[next].Ms) <= done; ++next)
            Play(messages[next].Bytes);
        int64_t until = frames;
        if (next < messages.size())
            until = std::min(until, FrameAt(messages[next].Ms));
        const auto block = static_cast<uint32_t>(std::min<int64_t>(until - done, kBlockFrames));
        FEngine.Render(FLeft.data(), FRight.data(), block);
        Fade(done, block, frames);
        sink(FLeft.data(), FRight.data(), block);
        done += block;
    }
}

} // namespace zw
