#include "support/SoundMeasure.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <utility>

namespace zw {

void Fft(std::vector<std::complex<double>>& data)
{
    const size_t n = data.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(data[i], data[j]);
    }
    for (size_t length = 2; length <= n; length <<= 1) {
        const std::complex<double> step = std::polar(1.0, -2 * std::numbers::pi / static_cast<double>(length));
        for (size_t start = 0; start < n; start += length) {
            std::complex<double> w = 1;
            for (size_t k = 0; k < length / 2; ++k, w *= step) {
                const std::complex<double> even = data[start + k];
                const std::complex<double> odd = data[start + k + length / 2] * w;
                data[start + k] = even + odd;
                data[start + k + length / 2] = even - odd;
            }
        }
    }
}

namespace {

constexpr size_t kWindow = 4096;
constexpr double kFirstBand = 50;
constexpr int kBandCount = 25; // third octaves: 50 Hz .. 16 kHz
constexpr double kFloorDb = 60;


// Left and right of frame `i` of interleaved sound with one or two channels.
struct TFrames {
    const std::vector<float>& Sound;
    unsigned Channels;
    double Left(size_t i) const { return Sound[Channels * i]; }
    double Right(size_t i) const { return Sound[Channels * i + Channels - 1]; }
};

// Mean power per frequency bin of the mono sum, over Hann windows half overlapping.
std::vector<double> PowerSpectrum(const TFrames& sound, size_t from, size_t to)
{
    std::vector<double> power(kWindow / 2, 0.0);
    std::vector<std::complex<double>> frame(kWindow);
    std::vector<double> hann(kWindow);
    for (size_t i = 0; i < kWindow; ++i)
        hann[i] = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(i) / kWindow);
    int frames = 0;
    for (size_t start = from; start + kWindow <= to; start += kWindow / 2, ++frames) {
        for (size_t i = 0; i < kWindow; ++i)
            frame[i] = hann[i] * (sound.Left(start + i) + sound.Right(start + i)) / 2;
        Fft(frame);
        for (size_t bin = 0; bin < power.size(); ++bin)
            power[bin] += std::norm(frame[bin]);
    }
    for (double& p : power)
        p /= std::max(frames, 1);
    return power;
}

} // namespace

TSoundFigures MeasureSound(const std::vector<float>& sound, size_t from, size_t to, unsigned rate,
                           unsigned channels)
{
    TSoundFigures m;
    const TFrames frames{sound, channels};
    to = std::min(to, sound.size() / channels);
    from = std::min(from, to);
    const std::vector<double> power = PowerSpectrum(frames, from, to);
    const double binHz = static_cast<double>(rate) / kWindow;
    double total = 0;
    double weighted = 0;
    m.Bands.assign(kBandCount, 0.0);
    for (size_t bin = 1; bin < power.size(); ++bin) {
        const double hz = static_cast<double>(bin) * binHz;
        total += power[bin];
        weighted += power[bin] * hz;
        const int band = static_cast<int>(std::floor(3 * std::log2(hz / kFirstBand) + 0.5));
        if (band >= 0 && band < kBandCount)
            m.Bands[static_cast<size_t>(band)] += power[bin];
    }
    for (double& band : m.Bands)
        band = 10 * std::log10(band + 1e-20);
    m.Centroid = total > 0 ? weighted / total : 0;

    double sumL = 0, sumR = 0, sumLR = 0, sumMono = 0;
    for (size_t i = from; i < to; ++i) {
        const double left = frames.Left(i);
        const double right = frames.Right(i);
        sumL += left * left;
        sumR += right * right;
        sumLR += left * right;
        sumMono += (left + right) * (left + right) / 4;
        m.Peak = std::max({m.Peak, std::abs(left), std::abs(right)});
    }
    const double count = static_cast<double>(std::max<size_t>(to - from, 1));
    m.Rms = std::sqrt(sumMono / count);
    m.Correlation = sumL > 0 && sumR > 0 ? sumLR / std::sqrt(sumL * sumR) : 0;
    return m;
}

namespace {

// The band levels of `a` and `b` with the floor below the loudest of both.
std::pair<std::vector<double>, std::vector<double>> Floored(const TSoundFigures& a, const TSoundFigures& b)
{
    const double loudest = std::max(*std::max_element(a.Bands.begin(), a.Bands.end()),
                                    *std::max_element(b.Bands.begin(), b.Bands.end()));
    const auto floored = [floor = loudest - kFloorDb](std::vector<double> bands) {
        for (double& band : bands)
            band = std::max(band, floor);
        return bands;
    };
    return {floored(a.Bands), floored(b.Bands)};
}

double MeanDistance(const std::vector<double>& a, const std::vector<double>& b, double offset)
{
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i)
        sum += std::abs(a[i] - b[i] - offset);
    return sum / static_cast<double>(a.size());
}

double Mean(const std::vector<double>& values)
{
    double sum = 0;
    for (double value : values)
        sum += value;
    return sum / static_cast<double>(values.size());
}

} // namespace

double SpectralChange(const TSoundFigures& a, const TSoundFigures& b)
{
    const auto [levelsA, levelsB] = Floored(a, b);
    return MeanDistance(levelsA, levelsB, 0);
}

double SpectralShapeChange(const TSoundFigures& a, const TSoundFigures& b)
{
    const auto [levelsA, levelsB] = Floored(a, b);
    return MeanDistance(levelsA, levelsB, Mean(levelsA) - Mean(levelsB));
}

} // namespace zw
