#include "match/Pitch.h"

#include <algorithm>
#include <cmath>

namespace zw {

std::optional<int> EstimateNote(const std::vector<float>& samples, double sampleRate)
{
    constexpr double kThreshold = 0.15;
    const auto minLag = static_cast<size_t>(sampleRate / 4200); // about note 120
    const auto maxLag = static_cast<size_t>(sampleRate / 27.5); // note 21
    const size_t window = std::min(samples.size() / 2, static_cast<size_t>(sampleRate * 0.1));
    if (window <= maxLag)
        return std::nullopt;
    // The cumulative mean normalized difference of each lag; the first dip below the threshold wins.
    std::vector<double> d(maxLag + 2, 1.0);
    double running = 0;
    for (size_t lag = 1; lag <= maxLag + 1; ++lag) {
        double sum = 0;
        for (size_t i = 0; i < window; ++i) {
            const double diff = static_cast<double>(samples[i]) - samples[i + lag];
            sum += diff * diff;
        }
        running += sum;
        d[lag] = running > 0 ? sum * static_cast<double>(lag) / running : 1.0;
    }
    for (size_t lag = minLag; lag <= maxLag; ++lag) {
        if (d[lag] < kThreshold) {
            while (lag + 1 <= maxLag && d[lag + 1] < d[lag])
                ++lag;
            // A parabola through the dip places it between samples.
            const double a = d[lag - 1], b = d[lag], c = d[lag + 1];
            const double shift = (a - 2 * b + c) != 0 ? 0.5 * (a - c) / (a - 2 * b + c) : 0.0;
            const double hz = sampleRate / (static_cast<double>(lag) + shift);
            return std::clamp(static_cast<int>(std::lround(69 + 12 * std::log2(hz / 440))), 0, 127);
        }
    }
    return std::nullopt;
}

} // namespace zw
