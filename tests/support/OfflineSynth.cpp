#include "support/OfflineSynth.h"

#include "app/GeneTranslation.h"
#include "audio/SynthInstrument.h"
#include "midi/MidiSplitter.h"
#include "rules/Substitution.h"

#include <sndfile.h>

#include <cmath>

namespace zw {

TOfflineSynth::TOfflineSynth(const TSynthSettings& settings)
{
    FEngine.SetInstrument(0, std::make_unique<TSynthInstrument>(settings));
}

void TOfflineSynth::Send(const std::vector<uint8_t>& bytes)
{
    SplitMidiMessages(bytes.data(), bytes.size(),
                      [this](const uint8_t* message, size_t length) {
                          // A full queue is played through, as a period would.
                          if (!FEngine.Send(0, message, length) && length <= TMidiEvent::kMaxBytes) {
                              FEngine.Render(nullptr, nullptr, 0);
                              FEngine.Send(0, message, length);
                          }
                      });
}

void TOfflineSynth::SendGenome(const TSubstitution& rules, int channel, const TGene& genome)
{
    TranslateGenome([&rules]() -> const TSubstitution& { return rules; }, channel, genome,
                    [this](int32_t, const TRuleBytes& bytes) { Send(bytes); });
}

void TOfflineSynth::StartNote(const TSubstitution& rules, int channel, int program, const TGene& genome, int note)
{
    const auto status = static_cast<uint8_t>(channel & 0x0F);
    Send({static_cast<uint8_t>(0xC0 | status), static_cast<uint8_t>(program)});
    SendGenome(rules, channel, genome);
    Send({static_cast<uint8_t>(0x90 | status), static_cast<uint8_t>(note), 100});
}

std::vector<float> TOfflineSynth::Render(int frames)
{
    FLeft.resize(static_cast<size_t>(frames));
    FRight.resize(static_cast<size_t>(frames));
    FEngine.Render(FLeft.data(), FRight.data(), static_cast<uint32_t>(frames));
    std::vector<float> stereo(2 * static_cast<size_t>(frames));
    for (size_t i = 0; i < FLeft.size(); ++i) {
        stereo[2 * i] = FLeft[i];
        stereo[2 * i + 1] = FRight[i];
    }
    return stereo;
}

std::vector<float> ReadWavFile(const std::string& fileName)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(fileName.c_str(), SFM_READ, &info);
    std::vector<float> samples;
    if (file && info.samplerate == TSynthesizer::kSampleRate && info.channels == 2) {
        samples.resize(2 * static_cast<size_t>(info.frames));
        sf_readf_float(file, samples.data(), info.frames);
    }
    if (file)
        sf_close(file);
    return samples;
}

double Rms(const float* samples, size_t count)
{
    double sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum += static_cast<double>(samples[i]) * samples[i];
    return count ? std::sqrt(sum / static_cast<double>(count)) : 0.0;
}

} // namespace zw
