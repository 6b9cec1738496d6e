#pragma once

#include "audio/AudioInstrument.h"
#include "synth/Synthesizer.h"

#include <atomic>

namespace zw {

// The built-in synthesizer (FluidSynth) as an instrument of the engine: its
// messages are played at their frames, between the pieces it renders.
class TSynthInstrument final : public TAudioInstrument {
public:
    // Raises ESynthError when the synthesizer cannot start.
    explicit TSynthInstrument(const TSynthSettings& settings);

    void Prepare(double sampleRate, uint32_t maxFrames) override;
    void Process(const TMidiEvent* events, size_t count, float* left, float* right,
                 uint32_t frames) noexcept override;
    void Silence() noexcept override;

    // Any thread: the gain (0..TSynthSettings::kMaxGain) from the next period on.
    void SetGain(int gain) noexcept { FGain.store(gain, std::memory_order_relaxed); }

private:
    TSynthesizer FSynth;
    std::atomic<int> FGain;
    int FAppliedGain; // audio thread
};

} // namespace zw
