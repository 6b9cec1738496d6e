#pragma once

#include "audio/AudioEngine.h"
#include "synth/SynthSettings.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zw {

class TGene;
class TSubstitution;

// The built-in synthesizer in an audio engine of its own, rendered into
// buffers, fed with byte streams and with genomes translated through a rule
// table, as the program sends them. Raises ESynthError as the synthesizer does.
class TOfflineSynth {
public:
    explicit TOfflineSynth(const TSynthSettings& settings = {});

    // Split into complete messages and played.
    void Send(const std::vector<uint8_t>& bytes);
    // Every active rule's result for `genome` on output channel `channel`.
    void SendGenome(const TSubstitution& rules, int channel, const TGene& genome);
    // On `channel`: the program, the genome through `rules`, then `note` (velocity 100).
    void StartNote(const TSubstitution& rules, int channel, int program, const TGene& genome, int note);
    // The next `frames` frames, left and right interleaved.
    std::vector<float> Render(int frames);
    // For a caller that streams it itself (BeginStream, Process).
    TAudioEngine& Engine() { return FEngine; }

private:
    TAudioEngine FEngine;
    std::vector<float> FLeft;
    std::vector<float> FRight;
};

// The samples of a stereo WAV file at 48 kHz, left and right interleaved;
// empty when the file is none.
std::vector<float> ReadWavFile(const std::string& fileName);

// Root mean square of `count` samples.
double Rms(const float* samples, size_t count);

} // namespace zw
