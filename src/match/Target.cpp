#include "match/Target.h"

#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace zw {
namespace {

constexpr float kAudible = 0.001f; // -60 dBFS

struct TSndfileClose {
    void operator()(SNDFILE* file) const { sf_close(file); }
};

std::vector<float> Resampled(const std::vector<float>& in, double ratio, const std::string& fileName)
{
    if (ratio == 1.0 || in.empty())
        return in;
    std::vector<float> out(static_cast<size_t>(std::ceil(static_cast<double>(in.size()) * ratio)) + 16);
    SRC_DATA data{};
    data.data_in = in.data();
    data.input_frames = static_cast<long>(in.size());
    data.data_out = out.data();
    data.output_frames = static_cast<long>(out.size());
    data.src_ratio = ratio;
    if (const int error = src_simple(&data, SRC_SINC_MEDIUM_QUALITY, 1))
        throw ETargetError("Cannot resample \"" + fileName + "\": " + src_strerror(error));
    out.resize(static_cast<size_t>(data.output_frames_gen));
    return out;
}

} // namespace

void TrimSound(std::vector<float>& samples, size_t maxFrames)
{
    const auto first = std::find_if(samples.begin(), samples.end(), [](float s) { return std::fabs(s) > kAudible; });
    samples.erase(samples.begin(), first);
    if (samples.size() > maxFrames)
        samples.resize(maxFrames);
}

TTarget ReadTarget(const std::string& fileName, double sampleRate)
{
    SF_INFO info{};
    std::unique_ptr<SNDFILE, TSndfileClose> file(sf_open(fileName.c_str(), SFM_READ, &info));
    if (!file)
        throw ETargetError("Cannot read the sound \"" + fileName + "\": " + sf_strerror(nullptr));
    if (info.channels < 1 || info.samplerate < 1000 || info.frames < 1)
        throw ETargetError("The sound \"" + fileName + "\" holds no sound");
    // Leading silence may be long: read at most what trimming could keep, plus a minute.
    const auto maxRead = static_cast<sf_count_t>(info.samplerate) * (60 + 5);
    const sf_count_t frames = std::min(info.frames, maxRead);
    std::vector<float> interleaved(static_cast<size_t>(frames) * static_cast<size_t>(info.channels));
    const sf_count_t read = sf_readf_float(file.get(), interleaved.data(), frames);
    if (read <= 0)
        throw ETargetError("Cannot read the sound \"" + fileName + "\": " + sf_strerror(file.get()));
    std::vector<float> mono(static_cast<size_t>(read));
    for (size_t i = 0; i < mono.size(); ++i) {
        float sum = 0;
        for (int c = 0; c < info.channels; ++c)
            sum += interleaved[i * static_cast<size_t>(info.channels) + static_cast<size_t>(c)];
        mono[i] = std::isfinite(sum) ? sum / static_cast<float>(info.channels) : 0.0f;
    }
    TTarget target;
    target.SampleRate = sampleRate;
    target.Samples = Resampled(mono, sampleRate / info.samplerate, fileName);
    TrimSound(target.Samples, static_cast<size_t>(TTarget::kMaxSeconds * sampleRate));
    if (target.Samples.empty())
        throw ETargetError("The sound \"" + fileName + "\" is silent");
    if (target.Seconds() < TTarget::kMinSeconds)
        throw ETargetError("The sound \"" + fileName + "\" is shorter than 50 ms once its leading silence is cut");
    return target;
}

} // namespace zw
