// The matcher's parts on sounds and functions made here: the distance and
// the optimizer.
#include "match/CmaEs.h"
#include "match/Distance.h"
#include "match/Pitch.h"
#include "match/Target.h"

#include <sndfile.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

namespace zw {
namespace {

constexpr double kRate = 48000;

// A plucked tone: `harmonics` partials of `hz` whose level falls by `tilt` per
// partial, decaying at `decay` per second.
std::vector<float> Pluck(double hz, int harmonics, double tilt, double decay)
{
    std::vector<float> out(static_cast<size_t>(kRate));
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        double s = 0;
        for (int h = 1; h <= harmonics; ++h)
            s += std::pow(tilt, h - 1) * std::sin(2 * std::numbers::pi * hz * h * t);
        out[i] = static_cast<float>(0.3 * s * std::exp(-decay * t));
    }
    return out;
}

TEST(Distance, IsZeroForTheSameSoundSymmetricAndNearerForASmallChange)
{
    TSpectralDistance distance(TDistanceSettings{}, kRate);
    const std::vector<float> patch = Pluck(220, 8, 0.7, 3);
    const std::vector<float> mutated = Pluck(220, 8, 0.65, 3.5);
    std::vector<float> unrelated(patch.size() / 3);
    std::mt19937 random(1);
    std::uniform_real_distribution<float> noise(-0.2f, 0.2f);
    for (float& s : unrelated)
        s = noise(random);

    EXPECT_EQ(distance.Between(patch, patch), 0.0);
    const double near = distance.Between(patch, mutated);
    const double far = distance.Between(patch, unrelated);
    EXPECT_DOUBLE_EQ(near, distance.Between(mutated, patch));
    EXPECT_DOUBLE_EQ(far, distance.Between(unrelated, patch));
    EXPECT_GT(near, 0.0);
    EXPECT_LT(near * 3, far);
    // A later onset is heard too: the same spectrum, but not at the same time.
    std::vector<float> late(2400, 0.0f);
    late.insert(late.end(), patch.begin(), patch.end() - 2400);
    EXPECT_GT(distance.Between(patch, late), near);
    // A sound cut short is far, in the spectra alone as well.
    const std::vector<float> cut(patch.begin(), patch.begin() + static_cast<long>(patch.size() / 3));
    TSpectralDistance plain(TDistanceSettings::Plain(), kRate);
    EXPECT_GT(plain.Between(patch, cut), 3 * plain.Between(patch, mutated));
}

// A stereo 44.1 kHz WAV file: `silence` seconds of nothing, then a tone.
std::string WriteSound(const std::string& name, double silence, double seconds, float level)
{
    const std::string fileName = ::testing::TempDir() + name;
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(fileName.c_str(), SFM_WRITE, &info);
    const auto start = static_cast<size_t>(silence * 44100);
    std::vector<float> frames(2 * (start + static_cast<size_t>(seconds * 44100)), 0.0f);
    for (size_t i = 2 * start; i < frames.size(); ++i)
        frames[i] = level * static_cast<float>(std::sin(0.05 * static_cast<double>(i / 2)));
    sf_writef_float(file, frames.data(), static_cast<sf_count_t>(frames.size() / 2));
    sf_close(file);
    return fileName;
}

TEST(Target, IsMonoAtTheRenderRateFromItsOnsetAndRefusesWhatCannotBeMatched)
{
    const TTarget target = ReadTarget(WriteSound("tone.wav", 0.5, 0.3, 0.5f), kRate);
    EXPECT_NEAR(target.Seconds(), 0.3, 0.002);
    EXPECT_GT(std::fabs(target.Samples.front()), 0.001f);
    const TTarget capped = ReadTarget(WriteSound("long.wav", 0, 6, 0.5f), kRate);
    EXPECT_DOUBLE_EQ(capped.Seconds(), TTarget::kMaxSeconds);

    const auto refused = [](const std::string& fileName, const std::string& reason) {
        try {
            ReadTarget(fileName, kRate);
            ADD_FAILURE() << fileName << " was read";
        } catch (const ETargetError& e) {
            EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
        }
    };
    refused(WriteSound("silent.wav", 1, 0, 0), "is silent");
    refused(WriteSound("short.wav", 0.2, 0.03, 0.5f), "shorter than 50 ms");
    refused(::testing::TempDir() + "missing.wav", "Cannot read the sound");
}

TEST(Pitch, NamesTheNoteOfATonePlayedAndNoneForNoise)
{
    EXPECT_EQ(EstimateNote(Pluck(220, 8, 0.7, 3), kRate), 57);
    EXPECT_EQ(EstimateNote(Pluck(466.16, 3, 0.5, 1), kRate), 70);
    std::vector<float> noise(24000);
    std::mt19937 random(3);
    std::uniform_real_distribution<float> draw(-0.5f, 0.5f);
    for (float& s : noise)
        s = draw(random);
    EXPECT_EQ(EstimateNote(noise, kRate), std::nullopt);
}

template <typename F>
double Minimize(int n, F f, int evaluations)
{
    TCmaEs cma(n, 7, 0.3, 1e-9);
    double best = std::numeric_limits<double>::infinity();
    for (int done = 0; done < evaluations;) {
        const std::vector<Eigen::VectorXd>& points = cma.Ask();
        std::vector<double> scores;
        for (const Eigen::VectorXd& x : points) {
            scores.push_back(f(x));
            best = std::min(best, scores.back());
        }
        done += static_cast<int>(points.size());
        cma.Tell(scores);
    }
    return best;
}

TEST(CmaEs, SolvesSphereAndRosenbrockInTheBox)
{
    // Both shifted so their minimum lies inside [0, 1]^n, away from the centre.
    const auto sphere = [](const Eigen::VectorXd& x) { return (x.array() - 0.71).square().sum(); };
    const auto rosenbrock = [](const Eigen::VectorXd& x) {
        const Eigen::ArrayXd y = 4 * x.array() - 3; // y = 1 at x = 1, the box reaches y = -3
        double sum = 0;
        for (Eigen::Index i = 0; i + 1 < y.size(); ++i)
            sum += 100 * std::pow(y[i + 1] - y[i] * y[i], 2) + std::pow(1 - y[i], 2);
        return sum;
    };
    EXPECT_LT(Minimize(10, sphere, 6000), 1e-8);
    EXPECT_LT(Minimize(6, rosenbrock, 20000), 1e-6);
}

} // namespace
} // namespace zw
