#pragma once

#include <memory>
#include <vector>

namespace zw {

// One spectrogram resolution: frames of `Size` samples (Hann), `Hop` apart,
// summed into `Bands` mel bands.
struct TResolution {
    int Size = 2048;
    int Hop = 512;
    int Bands = 64;
    double Weight = 1; // against the other resolutions
};

struct TDistanceSettings {
    // The long frames carry the spectrum; the short ones, weighed less, the
    // attack. Finer frames than these hear the phase of low partials and cost
    // renders a second without making matches nearer.
    std::vector<TResolution> Resolutions{{2048, 512, 64, 1}, {512, 256, 32, 0.25}};
    double LowHz = 30;
    double HighHz = 16000;
    double FloorDb = -80;          // band power below this counts as this
    double LoudnessWeight = 0.25;  // 0: spectra only

    // The plain log-mel distance the benchmark reports beside ours: one
    // resolution, no loudness term.
    static TDistanceSettings Plain() { return {{{2048, 512, 64}}, 30, 16000, -80, 0}; }
};

// The frame-by-frame log-mel features of a sound, at every resolution.
struct TFeatures {
    std::vector<std::vector<float>> Spectra; // per resolution: frames × bands, in dB
    std::vector<float> Loudness;             // per frame of the first resolution, in dB
};

// How far two sounds lie apart, in dB: at each resolution the RMS over the
// bands of the log-mel difference, averaged over the frames (a sound shorter
// than the other counts as silence there), the weighted mean of the
// resolutions; plus, weighted, the mean absolute difference of the frame
// loudness. Attack and decay count as well as the spectrum. One per thread:
// it holds FFT buffers.
class TSpectralDistance {
public:
    TSpectralDistance(const TDistanceSettings& settings, double sampleRate);
    ~TSpectralDistance();
    TSpectralDistance(const TSpectralDistance&) = delete;
    TSpectralDistance& operator=(const TSpectralDistance&) = delete;

    TFeatures Features(const std::vector<float>& samples);
    double Between(const TFeatures& a, const TFeatures& b) const;
    double Between(const std::vector<float>& a, const std::vector<float>& b) { return Between(Features(a), Features(b)); }

private:
    struct TBank;
    TDistanceSettings FSettings;
    std::vector<std::unique_ptr<TBank>> FBanks;
};

} // namespace zw
