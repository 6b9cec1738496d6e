#include "audio/SynthInstrument.h"

namespace zw {

TSynthInstrument::TSynthInstrument(const TSynthSettings& settings) : FSynth(settings) {}

void TSynthInstrument::Prepare(double sampleRate, uint32_t) { FSynth.SetSampleRate(sampleRate); }

void TSynthInstrument::Process(const TMidiEvent* events, size_t count, float* left, float* right,
                               uint32_t frames) noexcept
{
    uint32_t done = 0;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t at = events[i].Frame < frames ? events[i].Frame : frames;
        if (at > done) {
            FSynth.Render(left + done, right + done, static_cast<int>(at - done));
            done = at;
        }
        FSynth.Play(events[i].Bytes, events[i].Length);
    }
    if (frames > done)
        FSynth.Render(left + done, right + done, static_cast<int>(frames - done));
}

void TSynthInstrument::Silence() noexcept { FSynth.Silence(); }

} // namespace zw
