#include "app/WormTake.h"

#include "app/GeneTranslation.h"
#include "audio/OfflineRender.h"
#include "audio/WavFile.h"
#include "common/SafeFile.h"
#include "midi/MidiFile.h"
#include "midi/MidiSplitter.h"
#include "rules/Substitution.h"

#include <algorithm>
#include <cmath>

namespace zw {

TWormTake::TWormTake(const TSubstitution& rules, int channel, int program, const TGene& genome)
    : FChannel(static_cast<uint8_t>(channel & 0x0F))
{
    if (program >= 0)
        FGenome.push_back({0, {static_cast<uint8_t>(0xC0 | FChannel), static_cast<uint8_t>(program & 0x7F)}});
    // Each result is a stream of its own, as the output port splits it.
    TranslateGenome([&rules]() -> const TSubstitution& { return rules; }, channel, genome,
                    [this](int32_t, const TRuleBytes& bytes) {
                        SplitMidiMessages(bytes.data(), bytes.size(), [this](const uint8_t* message, size_t length) {
                            FGenome.push_back({0, std::vector<uint8_t>(message, message + length)});
                        });
                    });
}

int64_t TWormTake::PhraseMs(const TAuditionPhrase& phrase)
{
    if (phrase.Notes.empty())
        return 0;
    return static_cast<int64_t>(phrase.Notes.size() - 1) * phrase.Period.count() + phrase.Length.count();
}

std::vector<TTimedMidi> TWormTake::Messages(const TAuditionPhrase& phrase, int64_t endMs, int64_t releaseMs) const
{
    std::vector<TTimedMidi> messages = FGenome;
    endMs -= std::max<int64_t>(0, releaseMs);
    const int64_t period = std::max<int64_t>(1, phrase.Period.count());
    const uint8_t on = 0x90 | FChannel;
    const uint8_t off = 0x80 | FChannel;
    size_t index = 0;
    for (int64_t start = 0; !phrase.Notes.empty() && start < endMs; start += period) {
        const uint8_t note = phrase.Notes[index];
        index = (index + 1) % phrase.Notes.size();
        messages.push_back({start, {on, note, phrase.Velocity}});
        messages.push_back({std::min(start + phrase.Length.count(), endMs), {off, note, 0}});
    }
    // A note longer than the period ends after the next one starts.
    std::stable_sort(messages.begin(), messages.end(),
                     [](const TTimedMidi& a, const TTimedMidi& b) { return a.Ms < b.Ms; });
    return messages;
}

void TWormTake::SaveSound(std::unique_ptr<TAudioInstrument> instrument, const TAuditionPhrase& phrase,
                          double seconds, const std::string& fileName, double releaseSeconds) const
{
    TWavWriter wav(static_cast<int>(TAudioEngine::kDefaultSampleRate));
    Render(
        std::move(instrument), phrase, seconds,
        [&wav](const float* left, const float* right, uint32_t frames) { wav.Append(left, right, frames); },
        releaseSeconds);
    wav.Save(fileName);
}

void TWormTake::Render(std::unique_ptr<TAudioInstrument> instrument, const TAuditionPhrase& phrase, double seconds,
                       const TOfflineRenderSink& sink, double releaseSeconds) const
{
    seconds = std::clamp(seconds, 0.0, kMaxSeconds);
    releaseSeconds = std::clamp(releaseSeconds, 0.0, seconds / 2);
    const auto endMs = static_cast<int64_t>(std::llround(seconds * 1000));
    const auto releaseMs = static_cast<int64_t>(std::llround(releaseSeconds * 1000));
    const TAudioInstrument& played = *instrument;
    TOfflineRender render(std::move(instrument));
    render.Render(Messages(phrase, endMs, releaseMs), render.FrameAt(endMs), sink);
    played.CheckRender();
}

void TWormTake::SaveMidi(const TAuditionPhrase& phrase, const std::string& fileName) const
{
    WriteFileAtomically(fileName, StandardMidiFile(Messages(phrase, PhraseMs(phrase))));
}

std::optional<double> ExportSeconds(const QString& text)
{
    bool number = false;
    const double seconds = text.trimmed().toDouble(&number);
    if (!number || !(seconds > 0) || seconds > kMaxExportSeconds)
        return std::nullopt;
    return seconds;
}

} // namespace zw
