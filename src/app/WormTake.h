#pragma once

#include "audio/AudioInstrument.h"
#include "audio/OfflineRender.h"
#include "audio/TimedMidi.h"
#include "midi/MidiScheduler.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zw {

class TGene;
class TSubstitution;

// What a worm plays, as timed messages, for rendering and exporting it: on
// one MIDI channel its program and its genome as the rules translate it, all
// at the start, then the notes of a phrase as audition plays them.
class TWormTake {
public:
    // The longest take rendered: about 170 MB of sound in memory.
    static constexpr double kMaxSeconds = 600;

    // Translates `genome` now; raises as TranslateGenome does (a rule that
    // fails). A program below 0 is not sent.
    TWormTake(const TSubstitution& rules, int channel, int program, const TGene& genome);
    // No genome messages: for an instrument that takes the genes as its
    // parameters (an LV2 instrument), with no rules between.
    explicit TWormTake(int channel) : FChannel(static_cast<uint8_t>(channel & 0x0F)) {}

    // The program and the genome's messages, all at 0 ms.
    const std::vector<TTimedMidi>& GenomeMessages() const { return FGenome; }
    // The genome's messages, then `phrase` from 0 ms, over and over, until
    // `endMs`; every note has ended by then.
    std::vector<TTimedMidi> Messages(const TAuditionPhrase& phrase, int64_t endMs) const;
    // Once through `phrase`: until its last note ends.
    static int64_t PhraseMs(const TAuditionPhrase& phrase);

    // The take through `instrument` for `seconds` (0 < seconds <= kMaxSeconds)
    // as a WAV file (48 kHz, stereo). Raises EInOutError naming the file when
    // it cannot be written; then no file is left there.
    void SaveSound(std::unique_ptr<TAudioInstrument> instrument, const TAuditionPhrase& phrase, double seconds,
                   const std::string& fileName) const;
    // The same sound handed to `sink` block by block instead (48 kHz): what
    // SaveSound writes, for the sound matcher to hear.
    void Render(std::unique_ptr<TAudioInstrument> instrument, const TAuditionPhrase& phrase, double seconds,
                const TOfflineRenderSink& sink) const;
    // The genome's messages and the phrase once through, as a Standard MIDI
    // File; raises as SaveSound does.
    void SaveMidi(const TAuditionPhrase& phrase, const std::string& fileName) const;

private:
    uint8_t FChannel;
    std::vector<TTimedMidi> FGenome;
};

} // namespace zw
