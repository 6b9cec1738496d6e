#include "support/OfflineSynth.h"

#include "app/GeneTranslation.h"
#include "midi/MidiSplitter.h"
#include "rules/Substitution.h"

#include <cmath>

namespace zw {

TOfflineSynth::TOfflineSynth(const TSynthSettings& settings) : FSynth(settings, TSynthOutput::Offline) {}

void TOfflineSynth::Send(const std::vector<uint8_t>& bytes)
{
    SplitMidiMessages(bytes.data(), bytes.size(),
                      [this](const uint8_t* message, size_t length) { FSynth.Play(message, length); });
}

void TOfflineSynth::SendGenome(const TSubstitution& rules, int channel, const TGene& genome)
{
    TranslateGenome([&rules]() -> const TSubstitution& { return rules; }, channel, genome,
                    [this](const TRuleBytes& bytes) { Send(bytes); });
}

std::vector<float> TOfflineSynth::Render(int frames)
{
    FLeft.resize(static_cast<size_t>(frames));
    FRight.resize(static_cast<size_t>(frames));
    FSynth.Render(FLeft.data(), FRight.data(), frames);
    std::vector<float> stereo(2 * static_cast<size_t>(frames));
    for (size_t i = 0; i < FLeft.size(); ++i) {
        stereo[2 * i] = FLeft[i];
        stereo[2 * i + 1] = FRight[i];
    }
    return stereo;
}

std::vector<float> Mono(const std::vector<float>& stereo)
{
    std::vector<float> mixed(stereo.size() / 2);
    for (size_t i = 0; i < mixed.size(); ++i)
        mixed[i] = (stereo[2 * i] + stereo[2 * i + 1]) / 2;
    return mixed;
}

double Rms(const float* samples, size_t count)
{
    double sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum += static_cast<double>(samples[i]) * samples[i];
    return count ? std::sqrt(sum / static_cast<double>(count)) : 0.0;
}

} // namespace zw
