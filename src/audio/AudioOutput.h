#pragma once

#include <memory>
#include <string>
#include <vector>

namespace zw {

class TAudioEngine;

// The [Audio] section of the settings: which sound system plays the engine.
struct TAudioSettings {
    // "auto", "jack", "pulseaudio" or "alsa". Auto: JACK when a JACK server
    // already answers, else PulseAudio (PipeWire serves it on desktops), else
    // ALSA's default device.
    std::string System = "auto";
    // Empty: the system's default output.
    std::string Device;
    // 0: the server's (or the device's preferred) rate; else kMinSampleRate .. kMaxSampleRate.
    int SampleRate = 0;
    static constexpr int kMinSampleRate = 8000;
    static constexpr int kMaxSampleRate = 192000;

    bool operator==(const TAudioSettings&) const = default;
};

inline constexpr const char* kAudioSystems[] = {"auto", "jack", "pulseaudio", "alsa"};
// On JACK, the engine's client; its two ports go to the first two playback ports.
inline constexpr const char* kAudioClientName = "zwirbels-audio";

// One stereo output stream that runs the engine in its callback. Opening may
// take a while (servers are asked in turn) and does not touch the engine;
// Start and Stop are quick and come from the engine's control thread.
class TAudioOutput {
public:
    virtual ~TAudioOutput() = default;

    // Opens the output the settings choose, for `engine`, without starting it.
    // False when none opens: `failure` says what was tried and what went wrong.
    virtual bool Open(TAudioEngine& engine, const TAudioSettings& settings, std::string& failure) = 0;
    // Starts the opened stream on the engine; false (with `failure`) when it fails.
    virtual bool Start(std::string& failure) = 0;
    // Stops and closes the stream (the engine's audio thread with it).
    virtual void Stop() = 0;
    // Started, and still called back (false once the server went away).
    virtual bool Running() const = 0;
    // The system and device playing, e.g. "JACK (system)"; empty when stopped.
    virtual std::string Description() const = 0;
    // Output device names of `system` (not "auto"), for the settings dialog.
    virtual std::vector<std::string> Devices(const std::string& system) = 0;
};

// Through RtAudio: JACK, PulseAudio and ALSA. No server is ever started.
std::unique_ptr<TAudioOutput> MakeRtAudioOutput();

// Whether a JACK server answers now; asks without starting one and prints nothing.
bool JackServerAnswers();

} // namespace zw
