#pragma once

#include "audio/AudioEngine.h"
#include "audio/TimedMidi.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace zw {

// Receives rendered sound block by block, in order.
using TOfflineRenderSink = std::function<void(const float* left, const float* right, uint32_t frames)>;

// One instrument rendered alone through an audio engine of its own, faster
// than real time: the export, the command-line renderer and their tests hear
// what the program plays.
class TOfflineRender {
public:
    using TSink = TOfflineRenderSink;
    static constexpr int64_t kFadeMs = 20;

    explicit TOfflineRender(std::unique_ptr<TAudioInstrument> instrument,
                            double sampleRate = TAudioEngine::kDefaultSampleRate);

    // Plays `messages` (in time order) at their times, each on the first frame
    // of its millisecond, and hands `frames` frames to `sink`. Messages timed
    // at or after the end are not played. The last kFadeMs fade out to
    // silence, so that no render ends in a click, whatever still sounds.
    void Render(const std::vector<TTimedMidi>& messages, int64_t frames, const TSink& sink);

    double SampleRate() const { return FEngine.SampleRate(); }
    // The frame that `ms` milliseconds begin on.
    int64_t FrameAt(int64_t ms) const;

private:
    void Play(const std::vector<uint8_t>& message);
    // Fades the block of `count` frames that starts `first` frames into a
    // render of `frames`.
    void Fade(int64_t first, uint32_t count, int64_t frames);

    TAudioEngine FEngine;
    std::vector<float> FLeft;
    std::vector<float> FRight;
};

} // namespace zw
