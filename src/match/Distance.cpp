#include "match/Distance.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <numbers>

namespace zw {
namespace {

// FFTW's planner is shared by the whole process and is not thread-safe.
std::mutex& PlannerLock()
{
    static std::mutex lock;
    return lock;
}

double Mel(double hz) { return 2595.0 * std::log10(1.0 + hz / 700.0); }
double Hz(double mel) { return 700.0 * (std::pow(10.0, mel / 2595.0) - 1.0); }

float Db(float power, float floorDb) { return std::max(10.0f * std::log10(power + 1e-30f), floorDb); }

} // namespace

// One resolution: its plan, window, buffers and triangular mel filters.
struct TSpectralDistance::TBank {
    TResolution Res;
    std::vector<float> Window;
    float* In = nullptr;
    fftwf_complex* Out = nullptr;
    fftwf_plan Plan = nullptr;
    // A band's triangle: the weights of the bins from First on.
    struct TFilter {
        int First = 0;
        std::vector<float> Weights;
    };
    std::vector<TFilter> Filters;
    std::vector<float> Power; // of each bin, of the frame under way

    TBank(const TResolution& res, double sampleRate, double lowHz, double highHz)
        : Res(res), Window(res.Size), Power(static_cast<size_t>(res.Size / 2 + 1))
    {
        for (int i = 0; i < res.Size; ++i)
            Window[i] = static_cast<float>(0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / res.Size));
        In = fftwf_alloc_real(static_cast<size_t>(res.Size));
        Out = fftwf_alloc_complex(static_cast<size_t>(res.Size / 2 + 1));
        {
            const std::lock_guard guard(PlannerLock());
            Plan = fftwf_plan_dft_r2c_1d(res.Size, In, Out, FFTW_ESTIMATE);
        }
        const int bins = res.Size / 2 + 1;
        const double binHz = sampleRate / res.Size;
        const double low = Mel(lowHz);
        const double high = Mel(std::min(highHz, sampleRate / 2));
        Filters.resize(static_cast<size_t>(res.Bands));
        for (int b = 0; b < res.Bands; ++b) {
            const double f0 = Hz(low + (high - low) * b / (res.Bands + 1));
            const double f1 = Hz(low + (high - low) * (b + 1) / (res.Bands + 1));
            const double f2 = Hz(low + (high - low) * (b + 2) / (res.Bands + 1));
            TFilter& filter = Filters[static_cast<size_t>(b)];
            for (int k = 0; k < bins; ++k) {
                const double f = k * binHz;
                const double w = f < f1 ? (f - f0) / (f1 - f0) : (f2 - f) / (f2 - f1);
                if (w > 0) {
                    if (filter.Weights.empty())
                        filter.First = k;
                    filter.Weights.resize(static_cast<size_t>(k - filter.First + 1)); // a triangle has no gaps
                    filter.Weights.back() = static_cast<float>(w);
                }
            }
            if (filter.Weights.empty()) { // narrower than a bin: the nearest bin
                filter.First = std::clamp(static_cast<int>(std::lround(f1 / binHz)), 0, bins - 1);
                filter.Weights = {1.0f};
            }
        }
    }
    ~TBank()
    {
        const std::lock_guard guard(PlannerLock());
        fftwf_destroy_plan(Plan);
        fftwf_free(In);
        fftwf_free(Out);
    }

    int Frames(size_t samples) const { return static_cast<int>((samples + static_cast<size_t>(Res.Hop) - 1) / static_cast<size_t>(Res.Hop)); }
};

TSpectralDistance::TSpectralDistance(const TDistanceSettings& settings, double sampleRate) : FSettings(settings)
{
    for (const TResolution& res : settings.Resolutions)
        FBanks.push_back(std::make_unique<TBank>(res, sampleRate, settings.LowHz, settings.HighHz));
}

TSpectralDistance::~TSpectralDistance() = default;

TFeatures TSpectralDistance::Features(const std::vector<float>& samples)
{
    TFeatures features;
    for (size_t r = 0; r < FBanks.size(); ++r) {
        TBank& bank = *FBanks[r];
        const int size = bank.Res.Size;
        const int frames = bank.Frames(samples.size());
        std::vector<float>& spectra = features.Spectra.emplace_back();
        spectra.reserve(static_cast<size_t>(frames * bank.Res.Bands));
        const float norm = 1.0f / (static_cast<float>(size) * static_cast<float>(size) / 4); // a full-scale sine near 0 dB
        const auto floorDb = static_cast<float>(FSettings.FloorDb);
        const auto count = static_cast<long>(samples.size());
        const auto bins = static_cast<int>(bank.Power.size());
        for (int f = 0; f < frames; ++f) {
            // Frames centred on their hop, so the first one sees the onset.
            const long start = static_cast<long>(f) * bank.Res.Hop - size / 2;
            const int inFirst = static_cast<int>(std::clamp(-start, 0L, static_cast<long>(size)));
            const int inEnd = static_cast<int>(std::clamp(count - start, static_cast<long>(inFirst), static_cast<long>(size)));
            std::fill(bank.In, bank.In + inFirst, 0.0f);
            for (int i = inFirst; i < inEnd; ++i)
                bank.In[i] = samples[static_cast<size_t>(start + i)] * bank.Window[static_cast<size_t>(i)];
            std::fill(bank.In + inEnd, bank.In + size, 0.0f);
            fftwf_execute(bank.Plan);
            for (int k = 0; k < bins; ++k)
                bank.Power[static_cast<size_t>(k)] = bank.Out[k][0] * bank.Out[k][0] + bank.Out[k][1] * bank.Out[k][1];
            for (const TBank::TFilter& filter : bank.Filters) {
                const float* power = bank.Power.data() + filter.First;
                float sum = 0;
                for (size_t k = 0; k < filter.Weights.size(); ++k)
                    sum += filter.Weights[k] * power[k];
                spectra.push_back(Db(sum * norm, floorDb));
            }
            if (r == 0) {
                // The frame's windowed energy, from its spectrum (Parseval).
                double energy = 0;
                for (int k = 0; k < bins; ++k)
                    energy += (k == 0 || k == bins - 1 ? 1.0 : 2.0) * bank.Power[static_cast<size_t>(k)];
                energy /= size;
                features.Loudness.push_back(Db(static_cast<float>(energy / (size * 0.375)), floorDb));
            }
        }
    }
    return features;
}

double TSpectralDistance::Between(const TFeatures& a, const TFeatures& b) const
{
    const auto floor = static_cast<float>(FSettings.FloorDb);
    double total = 0, weights = 0;
    for (size_t r = 0; r < FBanks.size(); ++r) {
        const auto bands = static_cast<size_t>(FBanks[r]->Res.Bands);
        const std::vector<float>& x = a.Spectra[r];
        const std::vector<float>& y = b.Spectra[r];
        const size_t frames = std::max(x.size(), y.size()) / bands;
        double sum = 0;
        for (size_t f = 0; f < frames; ++f) {
            double square = 0;
            for (size_t k = 0; k < bands; ++k) {
                const size_t i = f * bands + k;
                const double d = (i < x.size() ? x[i] : floor) - (i < y.size() ? y[i] : floor);
                square += d * d;
            }
            sum += std::sqrt(square / static_cast<double>(bands));
        }
        const double weight = FBanks[r]->Res.Weight;
        total += frames ? weight * sum / static_cast<double>(frames) : 0;
        weights += weight;
    }
    double distance = weights > 0 ? total / weights : 0;
    if (FSettings.LoudnessWeight > 0) {
        const size_t frames = std::max(a.Loudness.size(), b.Loudness.size());
        double sum = 0;
        for (size_t f = 0; f < frames; ++f)
            sum += std::fabs((f < a.Loudness.size() ? a.Loudness[f] : floor) - (f < b.Loudness.size() ? b.Loudness[f] : floor));
        distance += frames ? FSettings.LoudnessWeight * sum / static_cast<double>(frames) : 0;
    }
    return distance;
}

} // namespace zw
