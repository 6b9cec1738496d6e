#include "audio/OfflineRender.h"

#include <algorithm>
#include <cmath>

namespace zw {
namespace {

constexpr uint32_t kBlockFrames = 1024;

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
        sink(FLeft.data(), FRight.data(), block);
        done += block;
    }
}

} // namespace zw
