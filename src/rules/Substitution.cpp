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

} // namespace

void TSubstitution::SetCount(int count)
{
    count = std::max(count, 0);
    if (count > kMaxCount)
        throw EBounds(Format("TSubstitution : Count ( %d) out of bounds [ %d, %d]", count, 0, kMaxCount));
    if (count == FCount)
        return;
    FActive.resize(static_cast<std::size_t>(count), 0);
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
    for (int i = 0; i < FCount; ++i)
        FRules.emplace_back(line(1 + static_cast<std::size_t>(i)));
    for (int i = 0; i < FCount; ++i) {
        pos = 0;
        const std::size_t flagLine = 1 + static_cast<std::size_t>(FCount) + static_cast<std::size_t>(i);
        FActive[static_cast<std::size_t>(i)] = ReadBoolToken(line(flagLine), pos, kBlanks) ? 1 : 0;
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
        text += kLineEnd;
    }
    return text;
}

} // namespace zw
