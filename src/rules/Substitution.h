#pragma once

#include "common/FileNotes.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The translation rules: per gene number an active flag and a rule text,
// loaded from and saved to a substitution file (".sub"):
//   line 1            the count N
//   lines 2..N+1      the rule texts of entries 0..N-1
//   lines N+2..2N+1   "True" or "False" per entry, optionally followed by a
//                     blank and the gene's name ("True Filter cutoff"); a
//                     name ending in " [locked]" locks the gene by default
namespace zw {

class TSubstitution {
public:
    // No genome comes near this; a larger count is refused so that a damaged
    // file cannot make the program allocate without bound.
    static constexpr int kMaxCount = 65536;
    // Likewise for the file: far above 65536 entries of long rules.
    static constexpr std::size_t kMaxFileSize = 64U << 20;

    TSubstitution() = default;

    int Count() const { return FCount; }
    // Resizes, keeping the first min(old, new) flags; new entries are inactive
    // and empty. Texts are never dropped: shrinking only hides them. A negative
    // count gives an empty table; one above kMaxCount raises EBounds and
    // changes nothing.
    void SetCount(int count);

    // Index checks raise EBounds
    // "TSubstitution : Index ( i) out of bounds [ 0, Count-1]".
    bool Active(int index) const;
    void SetActive(int index, bool active);
    const std::string& Rule(int index) const;
    void SetRule(int index, std::string text);
    // The gene's name, "" for none, and whether breeders lock it unless told
    // otherwise (the marker " [locked]" after the name in the file).
    const std::string& Name(int index) const;
    void SetName(int index, std::string name);
    bool DefaultLocked(int index) const;
    void SetDefaultLocked(int index, bool locked);
    // Name and marker as the file holds them after the flag word, e.g.
    // "Volume [locked]"; setting it from such a text sets both.
    std::string NameText(int index) const;
    void SetNameText(int index, std::string_view text);
    void CheckIndex(int index) const;

    // Replaces count, texts and flags. An unreadable file, one that is not
    // regular or one above kMaxFileSize bytes raises EInOutError; a count
    // above kMaxCount raises EInvalidFile. Either way the table stays as it
    // was. Missing lines read as empty texts and inactive flags, a count that
    // is no number or below 0 as no entries, a flag other than True as
    // inactive; each of these is a note of the result.
    TFileNotes LoadFromFile(const std::string& fileName);
    // Writes the file through a temporary file, so a failed save leaves the
    // previous file intact (EInOutError).
    void SaveToFile(const std::string& fileName) const;

    // The file contents, as LoadFromFile reads and SaveToFile writes them.
    TFileNotes LoadFromText(const std::string& contents, const std::string& fileName = {});
    std::string SaveToText() const;

private:
    int FCount = 0;
    std::vector<std::uint8_t> FActive;  // exactly FCount flags
    std::vector<std::string> FRules;    // at least FCount texts
    std::vector<std::string> FNames;    // exactly FCount names
    std::vector<std::uint8_t> FDefaultLocked; // exactly FCount flags
};

} // namespace zw
