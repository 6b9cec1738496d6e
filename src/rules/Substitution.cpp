#include "rules/Substitution.h"

#include "common/Exceptions.h"
#include "common/FileErrors.h"
#include "common/SafeFile.h"
#include "common/TextLines.h"
#include "common/Tokens.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <optional>

namespace zw {

namespace {

// The file's own separators: only blanks delimit the count and the flags.
constexpr std::string_view kBlanks = " \t";

// A decimal number with an optional sign, or a hexadecimal one after "$".
// Anything else, or a number beyond 32 bits, is none.
std::optional<long long> CountFromToken(std::string_view token)
{
    if (token.empty() || token.front() != '$') {
        const std::optional<long long> value = TokenNumber(token);
        if (!value || *value < INT_MIN || *value > INT_MAX)
            return std::nullopt;
        return value;
    }
    token.remove_prefix(1);
    if (token.empty() || token.size() > 8)
        return std::nullopt;
    unsigned long long value = 0;
    for (char c : token) {
        const int digit = HexDigitValue(c);
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return static_cast<int>(static_cast<unsigned>(value));
}

constexpr std::string_view kLockedMark = " [locked]";

// `line` from `pos` on, blanks around it removed (the name after a flag word).
std::string_view BlanksTrimmed(std::string_view line, std::size_t pos)
{
    line.remove_prefix(std::min(pos, line.size()));
    const std::size_t first = line.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    const std::size_t last = line.find_last_not_of(kBlanks);
    return line.substr(first, last - first + 1);
}

// The first word of a flag line; what follows it is no part of the flag.
std::string_view FlagWord(std::string_view line)
{
    const std::size_t start = line.find_first_not_of(kBlanks);
    if (start == std::string_view::npos)
        return {};
    line.remove_prefix(start);
    return line.substr(0, line.find_first_of(kBlanks));
}

bool IsWord(std::string_view word, std::string_view upper)
{
    return std::equal(word.begin(), word.end(), upper.begin(), upper.end(), [](char a, char b) {
        return std::toupper(static_cast<unsigned char>(a)) == b;
    });
}

} // namespace

void TSubstitution::SetCount(int count)
{
    count = std::max(count, 0);
    if (count > kMaxCount)
        throw EBounds(Format("TSubstitution : Count ( %d) out of bounds [ %d, %d]", count, 0, kMaxCount));
    if (count == FCount)
        return;
    FActive.resize(static_cast<std::size_t>(count), 0);
    FNames.resize(static_cast<std::size_t>(count));
    FDefaultLocked.resize(static_cast<std::size_t>(count), 0);
    if (FRules.size() < static_cast<std::size_t>(count))
        FRules.resize(static_cast<std::size_t>(count));
    FCount = count;
}

void TSubstitution::CheckIndex(int index) const
{
    if (index < 0 || index >= FCount)
        throw EBounds(Format("TSubstitution : Index ( %d) out of bounds [ %d, %d]", index, 0, FCount - 1));
}

bool TSubstitution::Active(int index) const
{
    CheckIndex(index);
    return FActive[static_cast<std::size_t>(index)] != 0;
}

void TSubstitution::SetActive(int index, bool active)
{
    CheckIndex(index);
    FActive[static_cast<std::size_t>(index)] = active ? 1 : 0;
}

const std::string& TSubstitution::Rule(int index) const
{
    CheckIndex(index);
    return FRules[static_cast<std::size_t>(index)];
}

void TSubstitution::SetRule(int index, std::string text)
{
    CheckIndex(index);
    FRules[static_cast<std::size_t>(index)] = std::move(text);
}

const std::string& TSubstitution::Name(int index) const
{
    CheckIndex(index);
    return FNames[static_cast<std::size_t>(index)];
}

void TSubstitution::SetName(int index, std::string name)
{
    CheckIndex(index);
    // One line holds the flag and the name.
    std::replace(name.begin(), name.end(), '\r', ' ');
    std::replace(name.begin(), name.end(), '\n', ' ');
    FNames[static_cast<std::size_t>(index)] = std::move(name);
}

bool TSubstitution::DefaultLocked(int index) const
{
    CheckIndex(index);
    return FDefaultLocked[static_cast<std::size_t>(index)] != 0;
}

void TSubstitution::SetDefaultLocked(int index, bool locked)
{
    CheckIndex(index);
    FDefaultLocked[static_cast<std::size_t>(index)] = locked ? 1 : 0;
}

std::string TSubstitution::NameText(int index) const
{
    std::string text = Name(index);
    if (DefaultLocked(index))
        text += text.empty() ? kLockedMark.substr(1) : kLockedMark;
    return text;
}

void TSubstitution::SetNameText(int index, std::string_view text)
{
    text = BlanksTrimmed(text, 0);
    const bool locked = text == kLockedMark.substr(1) || text.ends_with(kLockedMark);
    if (locked)
        text.remove_suffix(std::min(text.size(), kLockedMark.size()));
    SetName(index, std::string(text));
    SetDefaultLocked(index, locked);
}

TFileNotes TSubstitution::LoadFromFile(const std::string& fileName)
{
    return LoadFromText(ReadRegularFile(fileName, kMaxFileSize), fileName);
}

TFileNotes TSubstitution::LoadFromText(const std::string& contents, const std::string& fileName)
{
    // Views into `contents`: a table of 65536 entries is read often (by the
    // fuzzer above all), and copying every line doubled its cost.
    std::vector<std::string_view> lines;
    for (TLineReader reader(contents); !reader.AtEnd();)
        lines.push_back(reader.Next());

    TFileNotes notes;
    std::size_t pos = 0;
    const std::string countToken = ReadToken(lines.empty() ? std::string_view() : lines[0], pos, kBlanks);
    // No count at all (an empty file) is an empty table, as it always was.
    const std::optional<long long> declared = countToken.empty() ? 0 : CountFromToken(countToken);
    if (!declared)
        notes.push_back({1, "the count \"" + Escaped(countToken) + "\" is no number; the file reads as empty"});
    else if (*declared < 0)
        notes.push_back({1, Format("the count %lld is below 0; the file reads as empty", *declared)});
    if (declared.value_or(0) > kMaxCount)
        throw EInvalidFile(Format("Invalid substitution file '%s': %lld entries, at most %d are allowed",
                                  Escaped(fileName).c_str(), *declared, kMaxCount));

    SetCount(static_cast<int>(declared.value_or(0)));
    const std::size_t count = static_cast<std::size_t>(FCount);
    const std::size_t flagsStart = 1 + count;
    if (lines.size() < flagsStart + count)
        notes.push_back({lines.size() + 1, Format("the file ends; its %zu entries need %zu lines, it holds %zu",
                                                  count, flagsStart + count, lines.size())});
    // Lines the file lacks read as empty texts and inactive flags; only the
    // lines it holds are read one by one.
    FRules.clear();
    std::fill(FNames.begin(), FNames.end(), std::string());
    std::fill(FDefaultLocked.begin(), FDefaultLocked.end(), 0);
    for (std::size_t i = 0; i < count && 1 + i < lines.size(); ++i)
        FRules.emplace_back(lines[1 + i]);
    FRules.resize(count);
    std::fill(FActive.begin(), FActive.end(), 0);
    for (std::size_t i = 0; i < count && flagsStart + i < lines.size(); ++i) {
        const std::string_view flag = FlagWord(lines[flagsStart + i]);
        FActive[i] = IsWord(flag, "TRUE") ? 1 : 0;
        // The rest of the line is the gene's name.
        const std::string_view line = lines[flagsStart + i];
        if (!flag.empty())
            SetNameText(static_cast<int>(i),
                        BlanksTrimmed(line, static_cast<std::size_t>(flag.data() - line.data()) + flag.size()));
        if (!FActive[i] && !IsWord(flag, "FALSE"))
            notes.push_back({flagsStart + i + 1,
                             "the flag \"" + Escaped(flag) + "\" is neither True nor False; it reads as False"});
    }
    return notes;
}

void TSubstitution::SaveToFile(const std::string& fileName) const
{
    WriteFileAtomically(fileName, SaveToText());
}

std::string TSubstitution::SaveToText() const
{
    std::string text = std::to_string(FCount);
    text += kLineEnd;
    for (int i = 0; i < FCount; ++i) {
        // One text per line: a line break inside a text would shift every
        // following line of the file.
        std::string rule = FRules[static_cast<std::size_t>(i)];
        std::replace(rule.begin(), rule.end(), '\r', ' ');
        std::replace(rule.begin(), rule.end(), '\n', ' ');
        text += rule;
        text += kLineEnd;
    }
    for (int i = 0; i < FCount; ++i) {
        text += FActive[static_cast<std::size_t>(i)] ? "True" : "False";
        const std::string name = NameText(i);
        if (!name.empty())
            text += ' ' + name;
        text += kLineEnd;
    }
    return text;
}

} // namespace zw
