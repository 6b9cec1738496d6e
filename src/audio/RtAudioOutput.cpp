#include "audio/AudioEngine.h"
#include "audio/AudioOutput.h"

#include <jack/jack.h>
#include <rtaudio/RtAudio.h>

#include <algorithm>
#include <cstring>

namespace zw {
namespace {

constexpr unsigned int kPeriodFrames = 256;

void Quiet(const char*) {}

struct TSystem {
    const char* Name;
    const char* Title;
    RtAudio::Api Api;
};

constexpr TSystem kSystems[] = {
    {"jack", "JACK", RtAudio::UNIX_JACK},
    {"pulseaudio", "PulseAudio", RtAudio::LINUX_PULSE},
    {"alsa", "ALSA", RtAudio::LINUX_ALSA},
};

const TSystem* FindSystem(const std::string& name)
{
    for (const TSystem& system : kSystems)
        if (name == system.Name)
            return &system;
    return nullptr;
}

// The audio thread's entry: the stream's two channels, one block each.
int Callback(void* output, void*, unsigned int frames, double, RtAudioStreamStatus status, void* user)
{
    auto& engine = *static_cast<TAudioEngine*>(user);
    if (status & RTAUDIO_OUTPUT_UNDERFLOW)
        engine.CountXrun();
    auto* left = static_cast<float*>(output);
    engine.Process(left, left + frames, frames);
    return 0;
}

class TRtAudioOutput final : public TAudioOutput {
public:
    ~TRtAudioOutput() override { Stop(); }

    bool Open(TAudioEngine& engine, const TAudioSettings& settings, std::string& failure) override
    {
        Stop();
        failure.clear();
        std::vector<const TSystem*> order;
        if (settings.System.empty() || settings.System == "auto") {
            if (JackServerAnswers())
                order.push_back(&kSystems[0]);
            order.push_back(&kSystems[1]);
            order.push_back(&kSystems[2]);
        } else if (const TSystem* system = FindSystem(settings.System)) {
            order.push_back(system);
        } else {
            failure = "the audio system \"" + settings.System + "\" is unknown (known: auto, jack, pulseaudio, alsa)";
            return false;
        }
        for (const TSystem* system : order) {
            std::string why;
            if (Open(*system, engine, settings, why))
                return true;
            failure += (failure.empty() ? "" : "; ") + std::string(system->Title) + ": " + why;
        }
        return false;
    }

    bool Start(std::string& failure) override
    {
        if (!FAudio) {
            failure = "no output is open";
            return false;
        }
        FEngine->SetSampleRate(FAudio->getStreamSampleRate());
        FEngine->BeginStream();
        FStarted = true;
        try {
            FAudio->startStream();
            return true;
        } catch (const RtAudioError& error) {
            failure = error.getMessage();
            Stop();
            return false;
        }
    }

    void Stop() override
    {
        if (!FAudio)
            return;
        try {
            if (FAudio->isStreamRunning())
                FAudio->stopStream();
            if (FAudio->isStreamOpen())
                FAudio->closeStream();
        } catch (const RtAudioError&) {
            // the server went away with the stream: nothing left to stop
        }
        FAudio.reset();
        if (FStarted)
            FEngine->EndStream();
        FStarted = false;
        FEngine = nullptr;
        FDescription.clear();
    }

    bool Running() const override { return FAudio && FAudio->isStreamRunning(); }

    std::string Description() const override { return Running() ? FDescription : std::string(); }

    std::vector<std::string> Devices(const std::string& systemName) override
    {
        std::vector<std::string> names;
        const TSystem* system = FindSystem(systemName);
        if (!system || (system->Api == RtAudio::UNIX_JACK && !JackServerAnswers()))
            return names;
        try {
            RtAudio audio(system->Api);
            audio.showWarnings(false);
            const unsigned int count = audio.getDeviceCount();
            for (unsigned int i = 0; i < count; ++i) {
                const RtAudio::DeviceInfo info = audio.getDeviceInfo(i);
                if (info.probed && info.outputChannels >= 2)
                    names.push_back(info.name);
            }
        } catch (const RtAudioError&) {
        }
        return names;
    }

private:
    bool Open(const TSystem& system, TAudioEngine& engine, const TAudioSettings& settings, std::string& why)
    {
        if (system.Api == RtAudio::UNIX_JACK && !JackServerAnswers()) {
            why = "no JACK server answers";
            return false;
        }
        try {
            auto audio = std::make_unique<RtAudio>(system.Api);
            audio->showWarnings(false);
            RtAudio::StreamParameters parameters;
            parameters.nChannels = 2;
            if (!FindDevice(*audio, settings.Device, parameters.deviceId, why))
                return false;
            const RtAudio::DeviceInfo info = audio->getDeviceInfo(parameters.deviceId);
            unsigned int rate = settings.SampleRate > 0 ? static_cast<unsigned int>(settings.SampleRate)
                                                         : info.preferredSampleRate;
            if (rate == 0)
                rate = static_cast<unsigned int>(TAudioEngine::kDefaultSampleRate);
            RtAudio::StreamOptions options;
            options.flags = RTAUDIO_NONINTERLEAVED | RTAUDIO_SCHEDULE_REALTIME;
            if (system.Api == RtAudio::LINUX_ALSA && settings.Device.empty())
                options.flags |= RTAUDIO_ALSA_USE_DEFAULT;
            options.streamName = kAudioClientName;
            unsigned int frames = kPeriodFrames;
            audio->openStream(&parameters, nullptr, RTAUDIO_FLOAT32, rate, &frames, &Callback, &engine, &options);
            FEngine = &engine;
            FAudio = std::move(audio);
            FDescription = std::string(system.Title) + " (" + info.name + ")";
            return true;
        } catch (const RtAudioError& error) {
            why = error.getMessage();
            return false;
        }
    }

    static bool FindDevice(RtAudio& audio, const std::string& name, unsigned int& id, std::string& why)
    {
        const unsigned int count = audio.getDeviceCount();
        if (count == 0) {
            why = "no output device";
            return false;
        }
        if (name.empty()) {
            id = audio.getDefaultOutputDevice();
            if (id >= count)
                id = 0;
            return true;
        }
        for (unsigned int i = 0; i < count; ++i) {
            if (audio.getDeviceInfo(i).name == name) {
                id = i;
                return true;
            }
        }
        why = "no output device is named \"" + name + "\"";
        return false;
    }

    std::unique_ptr<RtAudio> FAudio;
    TAudioEngine* FEngine = nullptr;
    bool FStarted = false; // the engine streams on FAudio
    std::string FDescription;
};

} // namespace

bool JackServerAnswers()
{
    // libjack reports a missing server through its handlers; that is the
    // expected answer here, not news for the terminal.
    auto* const error = jack_error_callback;
    auto* const info = jack_info_callback;
    jack_set_error_function(&Quiet);
    jack_set_info_function(&Quiet);
    jack_status_t status{};
    jack_client_t* client = jack_client_open("zwirbels-probe", JackNoStartServer, &status);
    if (client)
        jack_client_close(client);
    jack_set_error_function(error);
    jack_set_info_function(info);
    return client != nullptr;
}

std::unique_ptr<TAudioOutput> MakeRtAudioOutput() { return std::make_unique<TRtAudioOutput>(); }

} // namespace zw
