#include "support/Lv2Render.h"
#include "support/SoundMeasure.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace zw {

namespace {

// Note 60 on at frame 0 and off at `held`, period by period: `play` gets
// each period's events and renders it into the two buffers.
template <typename Play>
std::vector<float> RenderNote(uint32_t held, uint32_t released, uint32_t period, Play play)
{
    const uint32_t total = held + released;
    std::vector<float> left(period), right(period), stereo;
    stereo.reserve(2 * size_t(total));
    for (uint32_t done = 0; done < total; done += period) {
        const uint32_t frames = std::min(period, total - done);
        std::vector<TMidiEvent> events;
        if (done == 0)
            events.push_back({0, 3, {0x90, 60, 100}});
        if (done <= held && held < done + frames)
            events.push_back({held - done, 3, {0x80, 60, 0}});
        play(events, frames, left.data(), right.data());
        for (uint32_t i = 0; i < frames; ++i) {
            stereo.push_back(left[i]);
            stereo.push_back(right[i]);
        }
    }
    return stereo;
}

} // namespace

std::vector<float> RenderLv2Note(TLv2Instance& instance, const std::vector<uint8_t>& genome, uint32_t held,
                                 uint32_t released, uint32_t period)
{
    instance.SetGenome(genome.data(), genome.size());
    return RenderNote(held, released, period, [&](const std::vector<TMidiEvent>& events, uint32_t frames, float* left, float* right) {
        instance.Run(events.data(), events.size(), frames, left, right);
    });
}

std::vector<float> RenderLv2Note(TAudioEngine& engine, int slot, TLv2Instance& instance,
                                 const std::vector<uint8_t>& genome, uint32_t held, uint32_t released,
                                 uint32_t period)
{
    instance.SetGenome(genome.data(), genome.size());
    return RenderNote(held, released, period, [&](std::vector<TMidiEvent> events, uint32_t frames, float* left, float* right) {
        for (TMidiEvent& event : events) // the engine plays what it is sent at the start of the next period
            event.Frame = 0;
        engine.Send(slot, events.data(), events.size());
        engine.Render(left, right, frames);
    });
}

double SpectralCentroid(const std::vector<float>& stereo, size_t start, size_t frames, double rate)
{
    std::vector<std::complex<double>> x(frames);
    for (size_t i = 0; i < frames; ++i)
        x[i] = stereo[2 * (start + i)] * (0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(i) / double(frames)));
    Fft(x);
    double weighted = 0, total = 0;
    for (size_t bin = 1; bin < frames / 2; ++bin) {
        const double magnitude = std::abs(x[bin]);
        weighted += magnitude * double(bin) * rate / double(frames);
        total += magnitude;
    }
    return total > 0 ? weighted / total : 0;
}

float Peak(const std::vector<float>& samples)
{
    float peak = 0;
    for (float s : samples)
        peak = std::max(peak, std::fabs(s));
    return peak;
}

} // namespace zw
