#pragma once

#include "audio/AudioInstrument.h"
#include "audio/OfflineRender.h"
#include "audio/TimedMidi.h"
#include "midi/MidiScheduler.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <memory>
#include <string>
#include <vector>

namespace zw {

class TGene;
class TSubstitution;

// What a worm plays, as timed messages, for rendering and exporting it: on
// one MIDI channel its program and its genome as the rules translate it, all
// at the start, then the notes of a phrase as audition plays them.
// The length of an export as the user typed it: seconds above 0 and at most
// kMaxExportSeconds (longer takes would keep the window busy for seconds);
// none for anything else.
inline constexpr double kMaxExportSeconds = 60;
std::optional<double> ExportSeconds(const QString& text);

class TWormTake {
public:
    // The longest take rendered: about 170 MB of sound in memory.
    static constexpr double kMaxSeconds = 600;
    // How long before its end a rendered take lets its last note go, so that
    // the note's release is in the file: long enough for most instruments'
    // release, short enough to leave a sample's sustain most of the file.
    static constexpr double kDefaultReleaseSeconds = 0.5;

    // Translates `genome` now; raises as TranslateGenome does (a rule that
    // fails). A program below 0 is not sent.
    TWormTake(const TSubstitution& rules, int channel, int program, const TGene& genome);
    // No genome messages: for an instrument that takes the genes as its
    // parameters (an LV2 instrument), with no rules between.
    explicit TWormTake(int channel) : FChannel(static_cast<uint8_t>(channel & 0x0F)) {}

    // The program and the genome's messages, all at 0 ms.
    const std::vector<TTimedMidi>& GenomeMessages() const { return FGenome; }
    // The genome's messages, then `phrase` from 0 ms, over and over, until
    // `endMs` - `releaseMs`; every note has ended by then, and none starts after.
    std::vector<TTimedMidi> Messages(const TAuditionPhrase& phrase, int64_t endMs, int64_t releaseMs = 0) const;
    // Once through `phrase`: until its last note ends.
    static int64_t PhraseMs(const TAuditionPhrase& phrase);

    // The take through `instrument` for `seconds` (0 < seconds <= kMaxSeconds)
    // as a WAV file (48 kHz, stereo): the notes end `releaseSeconds` before
    // the end (at most half the take), and the sound fades out over the last
    // few milliseconds. Raises EInOutError naming the file when it cannot be
    // written, and what the instrument's CheckRender raises (a hosted plug-in
    // that crashed); then no file is left there.
    void SaveSound(std::unique_ptr<TAudioInstrument> instrument, const TAuditionPhrase& phrase, double seconds,
                   const std::string& fileName, double releaseSeconds = kDefaultReleaseSeconds) const;
    // The same sound handed to `sink` block by block instead (48 kHz): what
    // SaveSound writes, for the sound matcher to hear.
    void Render(std::unique_ptr<TAudioInstrument> instrument, const TAuditionPhrase& phrase, double seconds,
                const TOfflineRenderSink& sink, double releaseSeconds = kDefaultReleaseSeconds) const;
    // The genome's messages and the phrase once through, as a Standard MIDI
    // File; raises as SaveSound does.
    void SaveMidi(const TAuditionPhrase& phrase, const std::string& fileName) const;

private:
    uint8_t FChannel;
    std::vector<TTimedMidi> FGenome;
};

} // namespace zw
