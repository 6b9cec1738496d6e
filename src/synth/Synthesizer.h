#pragma once

#include "common/Exceptions.h"
#include "synth/SynthSettings.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct _fluid_hashtable_t;
struct _fluid_synth_t;

namespace zw {

// The synthesizer could not start; the message says what is missing and how to mend it.
class ESynthError : public Exception {
public:
    using Exception::Exception;
};

// A FluidSynth instance with a General MIDI SoundFont, playing complete MIDI
// messages and rendered by its owner (the audio engine, a test). It opens no
// audio output of its own.
class TSynthesizer {
public:
    static constexpr int kSampleRate = 48000;

    // Raises ESynthError when the SoundFont cannot be loaded.
    explicit TSynthesizer(const TSynthSettings& settings);
    ~TSynthesizer();
    TSynthesizer(const TSynthesizer&) = delete;
    TSynthesizer& operator=(const TSynthesizer&) = delete;

    // One complete message: a channel message, system exclusive (F0 … F7) or
    // system reset. Others are ignored.
    void Play(const uint8_t* message, size_t length) noexcept;
    // Ends every sound at once.
    void Silence() noexcept;
    // The next `frames` frames, one buffer per side.
    void Render(float* left, float* right, int frames) noexcept;
    // While nothing renders: the rate Render produces from now on.
    void SetSampleRate(double sampleRate);

private:
    struct TFluidDeleter {
        void operator()(_fluid_hashtable_t* settings) const;
        void operator()(_fluid_synth_t* synth) const;
    };

    void LoadSoundFont(const std::string& configured);
    void AddControllerModulators();

    std::unique_ptr<_fluid_hashtable_t, TFluidDeleter> FSettings;
    std::unique_ptr<_fluid_synth_t, TFluidDeleter> FSynth;
    double FSampleRate = kSampleRate;
};

// The SoundFont the settings name, or the first candidate that exists; empty when none.
std::string FindSoundFont(const std::string& configured);

} // namespace zw
