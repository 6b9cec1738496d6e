#pragma once

#include "audio/AudioInstrument.h"
#include "audio/Lv2Instance.h"

#include <memory>

namespace zw {

// An LV2 instance as an instrument of the audio engine, beside the built-in
// synthesizer.
class TLv2Instrument final : public TAudioInstrument {
public:
    explicit TLv2Instrument(std::unique_ptr<TLv2Instance> instance) : FInstance(std::move(instance)) {}

    TLv2Instance& Instance() { return *FInstance; }

    // An LV2 instance lives at one sample rate: for another one, it is made
    // anew and given the values last sent. Blocks of any length are run in
    // pieces, so the length needs nothing.
    void Prepare(double sampleRate, uint32_t maxFrames) override;
    void Process(const TMidiEvent* events, size_t count, float* left, float* right, uint32_t frames) noexcept override
    {
        FInstance->Run(events, count, frames, left, right);
    }
    void Silence() noexcept override { FInstance->Silence(); }

private:
    std::unique_ptr<TLv2Instance> FInstance;
};

} // namespace zw
