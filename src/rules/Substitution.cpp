#include "rules/Substitution.h"

#include "common/Exceptions.h"
#include "common/FileErrors.h"
#include "common/SafeFile.h"
#include "common/TextLines.h"
#include "common/Tokens.h"

#include <algorithm>
#include <climits>

namespace zw {

namespace {

// The file's own separators: only blanks delimit the count and the flags.
constexpr std::string_view kBlanks = " \t";

// A decimal number with an optional sign, or a hexadecimal one after "$".
// Anything else, or a number beyond 32 bits, reads as 0.
long long CountFromToken(std::string_view token)
{
    if (token.empty() || token.front() != '$') {
        const long long value = TokenToInt(token);
        return value >= INT_MIN && value <= INT_MAX ? value : 0;
    }
    token.remove_prefix(1);
    if (token.empty() || token.size() > 8)
        return 0;
    unsigned long long value = 0;
    for (char c : token) {
        const int digit = HexDigitValue(c);
        if (digit < 0)
            return 0;
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

void TSubstitution::LoadFromFile(const std::string& fileName)
{
    LoadFromText(ReadRegularFile(fileName, kMaxFileSize), fileName);
}

void TSubstitution::LoadFromText(const std::string& contents, const std::string& fileName)
{
    const std::vector<std::string> lines = SplitLines(contents);
    auto line = [&](std::size_t i) -> std::string_view {
        return i < lines.size() ? std::string_view(lines[i]) : std::string_view();
    };

    std::size_t pos = 0;
    const long long count = CountFromToken(ReadToken(line(0), pos, kBlanks));
    if (count > kMaxCount)
        throw EInvalidFile(Format("Invalid substitution file '%s': %lld entries, at most %d are allowed",
                                  fileName.c_str(), count, kMaxCount));

    SetCount(static_cast<int>(count));
    FRules.clear();
    std::fill(FNames.begin(), FNames.end(), std::string());
    std::fill(FDefaultLocked.begin(), FDefaultLocked.end(), 0);
    for (int i = 0; i < FCount; ++i)
        FRules.emplace_back(line(1 + static_cast<std::size_t>(i)));
    for (int i = 0; i < FCount; ++i) {
        pos = 0;
        const std::size_t flagLine = 1 + static_cast<std::size_t>(FCount) + static_cast<std::size_t>(i);
        FActive[static_cast<std::size_t>(i)] = ReadBoolToken(line(flagLine), pos, kBlanks) ? 1 : 0;
        SetNameText(i, BlanksTrimmed(line(flagLine), pos));
    }
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
