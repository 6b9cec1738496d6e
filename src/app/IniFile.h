#pragma once

#include "common/Exceptions.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The settings file: INI text with the Windows profile rules. Sections and
// keys match without regard to letter case, the first of several equal
// sections or keys wins, and every line the program does not know (other
// keys, other sections, comments) stays where it was when the file is
// written back. Written lines end with CR LF.
namespace zw {

// A settings file that cannot be written: "Unable to write to <file name>: <reason>".
class EIniWriteError : public Exception {
public:
    EIniWriteError(const std::string& fileName, const std::string& reason);
};

class TIniFile {
public:
    // The longest string value handed out; longer values are cut when read
    // and refused when written, so that what is written reads back the same.
    static constexpr std::size_t kMaxStringLength = 2047;
    // A settings file is a few hundred bytes; a larger one is refused rather
    // than read into memory, and never written.
    static constexpr std::size_t kMaxFileSize = 1 << 20;

    TIniFile() = default;

    // A missing file reads as an empty one. A file that exists but cannot be
    // read, is no regular file or is above kMaxFileSize (as written) raises EInOutError,
    // so that a later save cannot replace what could not be seen.
    static TIniFile Load(const std::string& fileName);
    // Writes through a temporary file; any failure, a text above kMaxFileSize
    // included, raises EIniWriteError and leaves the previous file as it was.
    // A missing folder is created.
    void Save(const std::string& fileName) const;

    void LoadFromText(std::string_view text);
    std::string SaveToText() const;

    bool SectionExists(std::string_view section) const;
    bool ValueExists(std::string_view section, std::string_view key) const;

    // The value with its surrounding blanks removed, at most kMaxStringLength
    // characters; `fallback` when the key is missing.
    std::string ReadString(std::string_view section, std::string_view key,
                           const std::string& fallback) const;
    // A 32-bit integer: blanks, a sign, decimal digits or hexadecimal after
    // "$", "x" or "0x". Anything else, or a number out of range, gives `fallback`.
    int ReadInteger(std::string_view section, std::string_view key, int fallback) const;
    // An integer, true when not 0; `fallback` when unreadable.
    bool ReadBool(std::string_view section, std::string_view key, bool fallback) const;

    // Replaces the first matching key in place, or adds it at the end of its
    // section (the section at the end of the file when it is new). A value or
    // name that would break the line structure, or a value longer than
    // kMaxStringLength, raises an Exception.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    // Adds an empty `section` right before the header of `before` when
    // `section` is missing and `before` exists: new sections of an older file
    // stay ahead of one that comes last.
    void AddSectionBefore(std::string_view section, std::string_view before);
    void WriteInteger(std::string_view section, std::string_view key, int value);
    void WriteBool(std::string_view section, std::string_view key, bool value);

    // Moves the first section named `section`, with every line up to the next
    // section, to the end of the file; nothing when there is none.
    void MoveSectionLast(std::string_view section);

    // The integer reading rule on its own.
    static std::optional<int> ParseInteger(std::string_view text);

private:
    // Index of the header line of the first section named `section`.
    std::optional<std::size_t> FindSection(std::string_view section) const;
    // Index of the first line of `section` holding `key`.
    std::optional<std::size_t> FindKey(std::string_view section, std::string_view key) const;

    // A line and what it is, read once: a lookup then compares names only.
    struct TLine {
        std::string Text;
        bool Header = false; // "[Name]"
        bool Entry = false;  // "Key=Value"
        std::size_t NameBegin = 0; // the section's name or the entry's key
        std::size_t NameLength = 0;
        std::string_view Name() const { return std::string_view(Text).substr(NameBegin, NameLength); }
    };
    static TLine MakeLine(std::string text);
    // Lines are added only by InsertLine, and IndexHeaders follows any other
    // reordering, so FHeaders stays true (a replaced entry stays an entry).
    void IndexHeaders();
    void InsertLine(std::size_t at, std::string text);

    std::vector<TLine> FLines;
    std::vector<std::size_t> FHeaders; // the header lines, in order
};

// Where the settings are kept: the program file's name up to its first "."
// with ".INI" added, in WriteFolder() (beside the program, else in the user's
// configuration folder).
std::string IniFileName();

// The rule behind IniFileName, for a given folder (ending with '/'), program
// file name and writability.
std::string IniFileNameFor(const std::string& programFolder, const std::string& programFileName,
                           bool programFolderWritable, const std::string& configFolder);

} // namespace zw
