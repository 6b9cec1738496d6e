#include "synth/Synthesizer.h"

#include <fluidsynth.h>

#include <algorithm>
#include <filesystem>
#include <mutex>

namespace zw {
namespace {

// Extra modulators: the General MIDI sound controllers (71-79) and controllers
// with no General MIDI meaning move SoundFont generators, so that the rules
// written for this synthesizer reach more of the sound than an NRPN each.
struct TControllerModulator {
    int Controller;
    int Generator;
    double Amount;
    bool Bipolar;      // centred on 64, the value a reset gives the sound controllers
    int ScaledBy;      // a second controller that scales the amount, or 0
};

constexpr TControllerModulator kControllerModulators[] = {
#include "ControllerMap.inc"
};

const std::string kIniHint = " in the [Synth] section of zwirbels.INI";

// FluidSynth reports to stderr what the program reports itself.
void QuietFluidSynthLog()
{
    static std::once_flag once;
    std::call_once(once, [] {
        for (int level : {FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
            fluid_set_log_function(level, nullptr, nullptr);
    });
}

} // namespace

void TSynthesizer::TFluidDeleter::operator()(_fluid_hashtable_t* settings) const { delete_fluid_settings(settings); }
void TSynthesizer::TFluidDeleter::operator()(_fluid_synth_t* synth) const { delete_fluid_synth(synth); }

std::string FindSoundFont(const std::string& configured)
{
    if (!configured.empty())
        return configured;
    std::error_code error;
    for (const char* candidate : kSoundFontCandidates)
        if (std::filesystem::is_regular_file(candidate, error))
            return candidate;
    return {};
}

TSynthesizer::TSynthesizer(const TSynthSettings& settings)
{
    QuietFluidSynthLog();
    FSettings.reset(new_fluid_settings());
    if (!FSettings)
        throw ESynthError("The built-in synthesizer cannot start: FluidSynth has no memory for its settings.");
    fluid_settings_t* s = FSettings.get();
    fluid_settings_setnum(s, "synth.sample-rate", kSampleRate);
    fluid_settings_setnum(s, "synth.gain", std::clamp(settings.Gain, 0, TSynthSettings::kMaxGain) / 100.0);
    FSynth.reset(new_fluid_synth(s));
    if (!FSynth)
        throw ESynthError("The built-in synthesizer cannot start: FluidSynth could not be created.");
    LoadSoundFont(settings.SoundFont);
    AddControllerModulators();
}

TSynthesizer::~TSynthesizer() = default;

void TSynthesizer::LoadSoundFont(const std::string& configured)
{
    const std::string path = FindSoundFont(configured);
    if (path.empty()) {
        std::string looked;
        for (const char* candidate : kSoundFontCandidates)
            looked += (looked.empty() ? "" : ", ") + std::string(candidate);
        throw ESynthError("The built-in synthesizer cannot start: no SoundFont was found (looked for " + looked +
                          "). Install one with \"sudo apt install timgm6mb-soundfont\", or set SoundFont= to a "
                          ".sf2 file" + kIniHint + ".");
    }
    if (fluid_synth_sfload(FSynth.get(), path.c_str(), 1) == FLUID_FAILED)
        throw ESynthError("The built-in synthesizer cannot start: the SoundFont \"" + path +
                          "\" could not be loaded. Set SoundFont= to a readable .sf2 file" + kIniHint +
                          ", or leave it empty to use an installed General MIDI SoundFont.");
}

void TSynthesizer::AddControllerModulators()
{
    fluid_mod_t* mod = new_fluid_mod();
    if (!mod)
        return; // the rules' NRPNs and standard controllers still work
    for (const TControllerModulator& entry : kControllerModulators) {
        const int polarity = entry.Bipolar ? FLUID_MOD_BIPOLAR : FLUID_MOD_UNIPOLAR;
        fluid_mod_set_source1(mod, entry.Controller, FLUID_MOD_CC | FLUID_MOD_LINEAR | polarity | FLUID_MOD_POSITIVE);
        if (entry.ScaledBy)
            fluid_mod_set_source2(mod, entry.ScaledBy, FLUID_MOD_CC | FLUID_MOD_LINEAR | FLUID_MOD_UNIPOLAR);
        else
            fluid_mod_set_source2(mod, FLUID_MOD_NONE, FLUID_MOD_GC);
        fluid_mod_set_dest(mod, entry.Generator);
        fluid_mod_set_amount(mod, entry.Amount);
        fluid_synth_add_default_mod(FSynth.get(), mod, FLUID_SYNTH_ADD);
    }
    delete_fluid_mod(mod);
}

void TSynthesizer::Play(const uint8_t* message, size_t length) noexcept
{
    if (length == 0)
        return;
    fluid_synth_t* synth = FSynth.get();
    const uint8_t status = message[0];
    if (status == 0xF0) {
        if (length >= 2 && message[length - 1] == 0xF7)
            fluid_synth_sysex(synth, reinterpret_cast<const char*>(message + 1), static_cast<int>(length - 2),
                              nullptr, nullptr, nullptr, 0);
        return;
    }
    if (status == 0xFF) {
        fluid_synth_system_reset(synth);
        return;
    }
    if (status < 0x80 || status >= 0xF0 || length < 2)
        return;
    const int channel = status & 0x0F;
    const int data1 = message[1];
    const int data2 = length > 2 ? message[2] : 0;
    switch (status & 0xF0) {
    case 0x80: fluid_synth_noteoff(synth, channel, data1); break;
    case 0x90: fluid_synth_noteon(synth, channel, data1, data2); break;
    case 0xA0: fluid_synth_key_pressure(synth, channel, data1, data2); break;
    case 0xB0: fluid_synth_cc(synth, channel, data1, data2); break;
    case 0xC0: fluid_synth_program_change(synth, channel, data1); break;
    case 0xD0: fluid_synth_channel_pressure(synth, channel, data1); break;
    case 0xE0: fluid_synth_pitch_bend(synth, channel, data1 | (data2 << 7)); break;
    default: break;
    }
}

void TSynthesizer::Silence() noexcept { fluid_synth_all_sounds_off(FSynth.get(), -1); }

void TSynthesizer::Render(float* left, float* right, int frames) noexcept
{
    fluid_synth_write_float(FSynth.get(), frames, left, 0, 1, right, 0, 1);
}

} // namespace zw

namespace zw {

void TSynthesizer::SetSampleRate(double sampleRate)
{
    if (sampleRate == FSampleRate || !(sampleRate > 0))
        return;
    // FluidSynth's only way to follow the output's rate once the SoundFont is
    // loaded; it keeps programs and controllers.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    fluid_synth_set_sample_rate(FSynth.get(), static_cast<float>(sampleRate));
#pragma GCC diagnostic pop
    FSampleRate = sampleRate;
}

} // namespace zw
