#include "app/AuditionSettings.h"

#include <algorithm>

namespace zw {
namespace {

constexpr const char* kAudition = "Audition";

} // namespace

std::vector<int> TAuditionSettings::ParseNotes(const std::string& text)
{
    std::vector<int> notes;
    std::size_t start = 0;
    while (start <= text.size() && notes.size() < kMaxNotes) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::optional<int> note = TIniFile::ParseInteger(std::string_view(text).substr(start, comma - start));
        if (note && *note >= 0 && *note <= 127)
            notes.push_back(*note);
        start = comma + 1;
    }
    return notes;
}

std::string TAuditionSettings::NotesText() const
{
    std::string text;
    for (const int note : Notes) {
        if (!text.empty())
            text += ',';
        text += std::to_string(note);
    }
    return text;
}

TAuditionPhrase TAuditionSettings::Phrase() const
{
    TAuditionPhrase phrase;
    phrase.Notes.clear();
    for (const int note : Notes) // each 0..127, as Read confines them
        phrase.Notes.push_back(static_cast<uint8_t>(note));
    phrase.Velocity = static_cast<uint8_t>(Velocity);
    phrase.Period = std::chrono::milliseconds(Period);
    phrase.Length = std::chrono::milliseconds(Length);
    return phrase;
}

void TAuditionSettings::Read(const TIniFile& ini)
{
    const std::vector<int> notes = ParseNotes(ini.ReadString(kAudition, "Notes", NotesText()));
    if (!notes.empty())
        Notes = notes;
    Velocity = std::clamp(ini.ReadInteger(kAudition, "Velocity", Velocity), 1, 127);
    Period = std::clamp(ini.ReadInteger(kAudition, "Period", Period), kMinPeriod, kMaxPeriod);
    Length = std::clamp(ini.ReadInteger(kAudition, "Length", Length), 1, Period);
    Retrigger = ini.ReadBool(kAudition, "Retrigger", Retrigger);
    Playing = ini.ReadBool(kAudition, "Playing", Playing);
}

void TAuditionSettings::Write(TIniFile& ini) const
{
    ini.WriteString(kAudition, "Notes", NotesText());
    ini.WriteInteger(kAudition, "Velocity", Velocity);
    ini.WriteInteger(kAudition, "Period", Period);
    ini.WriteInteger(kAudition, "Length", Length);
    ini.WriteBool(kAudition, "Retrigger", Retrigger);
    ini.WriteBool(kAudition, "Playing", Playing);
}

} // namespace zw
