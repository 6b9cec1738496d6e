#include "app/IniFile.h"

#include <algorithm>

#include "common/Globals.h"
#include "common/ProgramFiles.h"
#include "common/SafeFile.h"
#include "common/TextLines.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace zw {
namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view TrimLeft(std::string_view text)
{
    const std::size_t start = text.find_first_not_of(kBlanks);
    return start == std::string_view::npos ? std::string_view() : text.substr(start);
}

std::string_view Trim(std::string_view text)
{
    text = TrimLeft(text);
    return text.substr(0, text.find_last_not_of(kBlanks) + 1);
}

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (UpperAscii(a[i]) != UpperAscii(b[i]))
            return false;
    return true;
}

// The name of a section header line "[Name]", blanks around it removed.
std::optional<std::string_view> SectionName(std::string_view line)
{
    line = TrimLeft(line);
    if (line.empty() || line.front() != '[')
        return std::nullopt;
    line.remove_prefix(1);
    return Trim(line.substr(0, line.find(']')));
}

struct TEntry {
    std::string_view Key;
    std::string_view Value;
};

// A "Key=Value" line; comments (";") and section headers are none.
std::optional<TEntry> Entry(std::string_view line)
{
    line = TrimLeft(line);
    if (line.empty() || line.front() == ';' || line.front() == '[')
        return std::nullopt;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos)
        return std::nullopt;
    return TEntry{Trim(line.substr(0, equals)), Trim(line.substr(equals + 1))};
}

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

// Names are the program's own; one that cannot be found again after writing is a bug.
void CheckName(std::string_view name, std::string_view forbidden)
{
    if (name.empty() || Trim(name) != name || HasLineBreak(name) ||
        name.find_first_of(forbidden) != std::string_view::npos || name.front() == ';' ||
        name.front() == '[')
        throw Exception(Format("Invalid settings name '%.*s'", static_cast<int>(name.size()), name.data()));
}

int DigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = UpperAscii(c);
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 99;
}

std::string ProgramFileName()
{
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string("zwirbels") : program.filename().string();
}

} // namespace

EIniWriteError::EIniWriteError(const std::string& fileName, const std::string& reason)
    : Exception("Unable to write to " + Escaped(fileName) + ": " + reason)
{
}

TIniFile TIniFile::Load(const std::string& fileName)
{
    TIniFile ini;
    try {
        ini.LoadFromText(ReadRegularFile(fileName, kMaxFileSize));
    } catch (const EInOutError& e) {
        if (e.ErrorNumber() != ENOENT)
            throw;
    }
    // Counted as written (each line ending in CR LF), so that what was read
    // can always be written back.
    if (ini.SaveToText().size() > kMaxFileSize)
        throw EInOutError(TFileAccess::Read, fileName,
                          Format("written with CR LF line ends it would be larger than %zu bytes", kMaxFileSize));
    return ini;
}

void TIniFile::Save(const std::string& fileName) const
{
    const std::string text = SaveToText();
    // Load would refuse it: the file would be lost to every later start.
    if (text.size() > kMaxFileSize)
        throw EIniWriteError(fileName, Format("the settings would be larger than %zu bytes", kMaxFileSize));
    try {
        const std::filesystem::path folder = std::filesystem::path(fileName).parent_path();
        std::error_code error;
        if (!folder.empty() && !std::filesystem::exists(folder, error))
            std::filesystem::create_directories(folder, error); // a failure shows in the write
        WriteFileAtomically(fileName, text);
    } catch (const EInOutError& e) {
        throw EIniWriteError(fileName, e.Reason());
    }
}

void TIniFile::LoadFromText(std::string_view text)
{
    // Editors may put a UTF-8 byte order mark before the first section, and
    // some add another to a file that had one. None is written back, so all
    // go: the file then reads the same after the program saved it.
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    while (text.starts_with(kByteOrderMark))
        text.remove_prefix(kByteOrderMark.size());
    FLines.clear();
    for (std::string& line : SplitLines(text))
        FLines.push_back(MakeLine(std::move(line)));
    IndexHeaders();
}

void TIniFile::IndexHeaders()
{
    FHeaders.clear();
    for (std::size_t i = 0; i < FLines.size(); ++i)
        if (FLines[i].Header)
            FHeaders.push_back(i);
}

void TIniFile::InsertLine(std::size_t at, std::string text)
{
    TLine line = MakeLine(std::move(text));
    for (std::size_t& header : FHeaders)
        if (header >= at)
            ++header;
    if (line.Header)
        FHeaders.insert(std::upper_bound(FHeaders.begin(), FHeaders.end(), at), at);
    FLines.insert(FLines.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
}

TIniFile::TLine TIniFile::MakeLine(std::string text)
{
    TLine line{std::move(text)};
    const std::string_view view = line.Text;
    std::optional<std::string_view> name = SectionName(view);
    line.Header = name.has_value();
    if (!name) {
        const auto entry = Entry(view);
        line.Entry = entry.has_value();
        if (entry)
            name = entry->Key;
    }
    if (name && !name->empty()) { // an empty one may point nowhere
        line.NameBegin = static_cast<std::size_t>(name->data() - view.data());
        line.NameLength = name->size();
    }
    return line;
}

std::string TIniFile::SaveToText() const
{
    std::string text;
    for (const TLine& line : FLines) {
        text += line.Text;
        text += kLineEnd;
    }
    return text;
}

std::optional<std::size_t> TIniFile::FindSection(std::string_view section) const
{
    for (const std::size_t header : FHeaders)
        if (SameText(FLines[header].Name(), section))
            return header;
    return std::nullopt;
}

std::optional<std::size_t> TIniFile::FindKey(std::string_view section, std::string_view key) const
{
    const auto header = FindSection(section);
    if (!header)
        return std::nullopt;
    for (std::size_t i = *header + 1; i < FLines.size() && !FLines[i].Header; ++i)
        if (FLines[i].Entry && SameText(FLines[i].Name(), key))
            return i;
    return std::nullopt;
}

void TIniFile::MoveSectionLast(std::string_view section)
{
    const auto header = FindSection(section);
    if (!header)
        return;
    auto end = FLines.begin() + static_cast<std::ptrdiff_t>(*header) + 1;
    while (end != FLines.end() && !end->Header)
        ++end;
    std::rotate(FLines.begin() + static_cast<std::ptrdiff_t>(*header), end, FLines.end());
    IndexHeaders();
}

bool TIniFile::SectionExists(std::string_view section) const { return FindSection(section).has_value(); }

bool TIniFile::ValueExists(std::string_view section, std::string_view key) const
{
    return FindKey(section, key).has_value();
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 const std::string& fallback) const
{
    const auto line = FindKey(section, key);
    if (!line)
        return fallback;
    // Blanks are removed after the cut too: a value written back with a blank
    // at its end would read differently next time.
    const std::string_view value = Entry(FLines[*line].Text)->Value;
    return std::string(Trim(value.substr(0, kMaxStringLength)));
}

int TIniFile::ReadInteger(std::string_view section, std::string_view key, int fallback) const
{
    const auto line = FindKey(section, key);
    if (!line)
        return fallback;
    return ParseInteger(Entry(FLines[*line].Text)->Value).value_or(fallback);
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool fallback) const
{
    return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value)
{
    CheckName(section, "]");
    CheckName(key, "=");
    if (HasLineBreak(value))
        throw Exception(Format("The setting %.*s cannot hold a line break",
                               static_cast<int>(key.size()), key.data()));
    if (value.size() > kMaxStringLength)
        throw Exception(Format("The setting %.*s is longer than %zu characters",
                               static_cast<int>(key.size()), key.data(), kMaxStringLength));

    std::string line(key);
    line += '=';
    line += value;
    if (const auto existing = FindKey(section, key)) {
        FLines[*existing] = MakeLine(std::move(line));
        return;
    }
    const auto header = FindSection(section);
    if (!header) {
        std::string sectionLine = "[";
        sectionLine += section;
        sectionLine += ']';
        InsertLine(FLines.size(), std::move(sectionLine));
        InsertLine(FLines.size(), std::move(line));
        return;
    }
    // After the section's last entry, so comments and blank lines that lead
    // into the next section stay with it.
    std::size_t insertAt = *header + 1;
    for (std::size_t i = *header + 1; i < FLines.size() && !FLines[i].Header; ++i)
        if (FLines[i].Entry)
            insertAt = i + 1;
    InsertLine(insertAt, std::move(line));
}

void TIniFile::AddSectionBefore(std::string_view section, std::string_view before)
{
    CheckName(section, "]");
    const auto next = FindSection(before);
    if (FindSection(section) || !next)
        return;
    std::string header = "[";
    header += section;
    header += ']';
    InsertLine(*next, std::move(header));
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, int value)
{
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(std::string_view section, std::string_view key, bool value)
{
    WriteString(section, key, value ? "1" : "0");
}

std::optional<int> TIniFile::ParseInteger(std::string_view text)
{
    text = Trim(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (!text.empty() && text.front() == '$') {
        base = 16;
        text.remove_prefix(1);
    } else if (text.size() >= 2 && text[0] == '0' && UpperAscii(text[1]) == 'X') {
        base = 16;
        text.remove_prefix(2);
    } else if (!text.empty() && UpperAscii(text.front()) == 'X') {
        base = 16;
        text.remove_prefix(1);
    }
    if (text.empty())
        return std::nullopt;

    // One beyond the largest magnitude, so "-2147483648" still fits.
    constexpr long long kLimit = 2147483648LL;
    long long magnitude = 0;
    for (char c : text) {
        const int digit = DigitValue(c);
        if (digit >= base)
            return std::nullopt;
        magnitude = magnitude * base + digit;
        if (magnitude > kLimit)
            return std::nullopt;
    }
    if (!negative && magnitude == kLimit)
        return std::nullopt;
    return static_cast<int>(negative ? -magnitude : magnitude);
}

std::string IniFileNameFor(const std::string& programFolder, const std::string& programFileName,
                           bool programFolderWritable, const std::string& configFolder)
{
    const std::string baseName = programFileName.substr(0, programFileName.find('.'));
    return (programFolderWritable ? programFolder : configFolder) + baseName + ".INI";
}

std::string IniFileName()
{
    return IniFileNameFor(ProgramPath(), ProgramFileName(), WriteFolder() == ProgramPath(), UserConfigFolder());
}

} // namespace zw
