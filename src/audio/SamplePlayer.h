#pragma once

#include "audio/AudioInstrument.h"

#include <vector>

namespace zw {

// Plays one recorded sound, mono to both sides: a note-on starts it from the
// beginning, a note-off fades it out within 5 ms, Silence ends it at once,
// and it ends by itself after its last sample. The sound is resampled to the engine's rate as it plays
// (linear interpolation), so nothing is allocated once it is handed over.
class TSamplePlayer final : public TAudioInstrument {
public:
    TSamplePlayer(std::vector<float> samples, double sampleRate);

    void Prepare(double sampleRate, uint32_t maxFrames) override;
    void Process(const TMidiEvent* events, size_t count, float* left, float* right,
                 uint32_t frames) noexcept override;
    void Silence() noexcept override { FPlaying = false; }

    static constexpr double kFadeSeconds = 0.005;

private:
    void Take(const TMidiEvent& event) noexcept;

    const std::vector<float> FSamples;
    const double FSampleRate;
    double FStep = 1;     // samples of the sound per frame of the engine
    double FPosition = 0; // in samples of the sound
    bool FPlaying = false;
    uint32_t FFadeFrames = 1;
    uint32_t FFadeLeft = 0; // frames until a fade-out ends; 0: none under way
};

} // namespace zw
