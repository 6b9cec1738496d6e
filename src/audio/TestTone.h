#pragma once

#include "audio/AudioInstrument.h"

namespace zw {

// The Sound dialog's test tone: a note-on starts a short sine at the note's
// pitch, faded in and out, that ends by itself; nothing else it is sent
// matters, so no note can be left sounding.
class TTestTone final : public TAudioInstrument {
public:
    static constexpr double kSeconds = 0.4;
    static constexpr float kLevel = 0.25f; // -12 dBFS: audible, never startling
    // A4
    static constexpr uint8_t kNote = 69;

    void Prepare(double sampleRate, uint32_t maxFrames) override;
    void Process(const TMidiEvent* events, size_t count, float* left, float* right,
                 uint32_t frames) noexcept override;
    void Silence() noexcept override { FPosition = FLength; }

private:
    void Take(const TMidiEvent& event) noexcept;
    void Start(uint8_t note) noexcept;

    double FSampleRate = 48000;
    double FPhase = 0;
    double FStep = 0;
    uint32_t FLength = 0;
    uint32_t FPosition = 0; // FLength: silent
};

} // namespace zw
