#pragma once

#include "app/IniFile.h"
#include "midi/MidiScheduler.h"

#include <string>
#include <vector>

namespace zw {

// The [Audition] section of the settings file: the phrase every active
// channel plays while audition is on, and whether it was on at the last close.
// Reading keeps the current value for a missing or unreadable key and
// confines numbers to what can be played.
struct TAuditionSettings {
    static constexpr int kMinPeriod = 50;
    static constexpr int kMaxPeriod = 60000;
    static constexpr std::size_t kMaxNotes = 64;

    std::vector<int> Notes{60};
    int Velocity = 100;
    int Period = 1000; // ms from one note to the next
    int Length = 800;  // ms a note sounds, at most Period
    bool Retrigger = true;
    bool Playing = false;

    void Read(const TIniFile& ini);
    void Write(TIniFile& ini) const;

    // The notes 0..127 of a comma list, at most kMaxNotes; other entries are
    // skipped. Empty when none is usable.
    static std::vector<int> ParseNotes(const std::string& text);
    std::string NotesText() const;
    // The phrase as the scheduler plays it.
    TAuditionPhrase Phrase() const;

    bool operator==(const TAuditionSettings&) const = default;
};

} // namespace zw
