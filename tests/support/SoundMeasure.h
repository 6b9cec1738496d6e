#pragma once

#include <complex>
#include <cstddef>
#include <vector>

// How a listener compares stretches of sound (stereo: left and right
// interleaved): their spectrum, brightness, level and stereo image.
namespace zw {

// In-place radix-2 transform; `data.size()` a power of two.
void Fft(std::vector<std::complex<double>>& data);

struct TSoundFigures {
    // Mean power of the mono sum in third-octave bands from 50 Hz to 16 kHz, dB.
    std::vector<double> Bands;
    // Spectral centroid of the mono sum, Hz.
    double Centroid = 0;
    // RMS of the mono sum, and the loudest sample of either side.
    double Rms = 0;
    double Peak = 0;
    // Correlation of left and right: 1 the same, 0 unrelated, -1 opposite.
    double Correlation = 0;
};

// Measures frames [from, to) of `sound`, recorded at `rate` with one
// (mono: left and right the same) or two channels.
TSoundFigures MeasureSound(const std::vector<float>& sound, size_t from, size_t to, unsigned rate,
                           unsigned channels = 2);

// Mean absolute difference of the band levels in dB: bands more than 60 dB
// below the loudest band of both count at that floor, so noise does not.
double SpectralChange(const TSoundFigures& a, const TSoundFigures& b);
// The same for the spectra's shapes: their mean levels set equal first, so
// that a stretch holding more silence between its notes than another does
// not count. For sound recorded in real time, whose notes fall as they may.
double SpectralShapeChange(const TSoundFigures& a, const TSoundFigures& b);

} // namespace zw
