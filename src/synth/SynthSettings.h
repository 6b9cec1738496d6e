#pragma once

#include <array>
#include <string>

namespace zw {

// The name under which the built-in synthesizer is offered as an output device.
inline constexpr const char* kSynthDeviceName = "Zwirbels synthesizer";

// How the built-in synthesizer starts: the [Synth] section of the settings.
struct TSynthSettings {
    static constexpr int kMaxGain = 100;
    static constexpr int kMaxProgram = 127;

    // Empty: the first General MIDI SoundFont of kSoundFontCandidates that exists.
    std::string SoundFont;
    // Empty: automatic (kAudioDrivers in order); else one of them.
    std::string AudioDriver;
    // 0..100; the synthesizer's gain in hundredths.
    int Gain = 40;
    // The program (0..127) each breeder's output channel starts with: sustained
    // leads and pads, where filter and envelope changes are heard.
    std::array<int, 4> Programs{81, 90, 80, 87};
    // Not a setting: the full path of the settings file, so that a message
    // can say where to mend these settings.
    std::string SettingsFile;

    bool operator==(const TSynthSettings&) const = default;
};

inline constexpr std::array<const char*, 3> kSoundFontCandidates{
    "/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/FluidR3_GM.sf2",
    "/usr/share/sounds/sf2/TimGM6mb.sf2"};

inline constexpr std::array<const char*, 3> kAudioDrivers{"pulseaudio", "jack", "alsa"};

} // namespace zw
