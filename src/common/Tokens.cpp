#include "Tokens.h"

#include <cctype>
#include <charconv>

namespace zw {

std::string ReadToken(std::string_view line, std::size_t& pos, std::string_view separators)
{
    auto isSeparator = [&](char c) { return separators.find(c) != std::string_view::npos; };
    while (pos < line.size() && isSeparator(line[pos]))
        ++pos;
    const std::size_t start = pos;
    while (pos < line.size() && !isSeparator(line[pos]))
        ++pos;
    return std::string(line.substr(start, pos - start));
}

std::optional<long long> TokenNumber(std::string_view token)
{
    if (!token.empty() && token.front() == '+')
        token.remove_prefix(1);
    long long value = 0;
    const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
    if (token.empty() || error != std::errc() || end != token.data() + token.size())
        return std::nullopt;
    return value;
}

long long TokenToInt(std::string_view token) { return TokenNumber(token).value_or(0); }

int HexDigitValue(int c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

long long ReadIntToken(std::string_view line, std::size_t& pos, std::string_view separators)
{
    return TokenToInt(ReadToken(line, pos, separators));
}

bool ReadBoolToken(std::string_view line, std::size_t& pos, std::string_view separators)
{
    std::string token = ReadToken(line, pos, separators);
    for (char& c : token)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return token == "TRUE";
}

} // namespace zw
