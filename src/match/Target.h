#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace zw {

// A target that cannot be matched: unreadable, silent or too short. The
// message is for the user and names the file.
class ETargetError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The sound to match: mono, at the render rate, from its first audible sample.
struct TTarget {
    static constexpr double kMaxSeconds = 4;
    static constexpr double kMinSeconds = 0.05;

    std::vector<float> Samples;
    double SampleRate = 48000;

    double Seconds() const { return static_cast<double>(Samples.size()) / SampleRate; }
};

// Drops everything before the first sample above -60 dBFS, and cuts the rest
// to `maxFrames`; targets and candidates alike, so their onsets align.
void TrimSound(std::vector<float>& samples, size_t maxFrames);

// Reads any file libsndfile reads, mixes it to mono, resamples it to
// `sampleRate` and trims it. ETargetError when the file is unreadable, silent,
// or shorter than kMinSeconds once trimmed.
TTarget ReadTarget(const std::string& fileName, double sampleRate);

} // namespace zw
