#pragma once

#include "common/Exceptions.h"
#include "synth/SynthSettings.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct _fluid_hashtable_t;
struct _fluid_synth_t;
struct _fluid_audio_driver_t;

namespace zw {

// The synthesizer could not start; the message says what is missing and how to mend it.
class ESynthError : public Exception {
public:
    using Exception::Exception;
};

// Audio goes to a sound server, or nowhere: the owner renders it (tests, benchmarks).
enum class TSynthOutput { Audio, Offline };

// A FluidSynth instance with a General MIDI SoundFont, playing complete MIDI
// messages. FluidSynth's calls are thread-safe, so Play may be called from
// several threads at once.
class TSynthesizer {
public:
    static constexpr int kSampleRate = 48000;

    // Raises ESynthError when the SoundFont or the audio output cannot be opened.
    TSynthesizer(const TSynthSettings& settings, TSynthOutput output);
    ~TSynthesizer();
    TSynthesizer(const TSynthesizer&) = delete;
    TSynthesizer& operator=(const TSynthesizer&) = delete;

    // One complete message: a channel message, system exclusive (F0 … F7) or
    // system reset. Others are ignored.
    void Play(const uint8_t* message, size_t length);
    // Ends every sound at once.
    void Silence();
    // Offline only: the next `frames` frames, one buffer per side.
    void Render(float* left, float* right, int frames);
    // The audio driver in use; empty offline.
    const std::string& AudioDriver() const { return FAudioDriver; }

private:
    struct TFluidDeleter {
        void operator()(_fluid_hashtable_t* settings) const;
        void operator()(_fluid_synth_t* synth) const;
        void operator()(_fluid_audio_driver_t* driver) const;
    };

    void LoadSoundFont(const std::string& configured);
    void AddControllerModulators();
    void StartAudio(const std::string& configured);

    std::unique_ptr<_fluid_hashtable_t, TFluidDeleter> FSettings;
    std::unique_ptr<_fluid_synth_t, TFluidDeleter> FSynth;
    std::unique_ptr<_fluid_audio_driver_t, TFluidDeleter> FDriver; // stopped first
    std::string FAudioDriver;
};

// The SoundFont the settings name, or the first candidate that exists; empty when none.
std::string FindSoundFont(const std::string& configured);

} // namespace zw
