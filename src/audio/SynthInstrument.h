#pragma once

#include "audio/AudioInstrument.h"
#include "synth/Synthesizer.h"

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

private:
    TSynthesizer FSynth;
};

} // namespace zw
