#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Token reading shared by the gene-file and substitution-file readers (and
// the rule language's digits).
namespace zw {

// The separators of both text formats: tab, space, comma, full stop, colon,
// semicolon and equals sign.
inline constexpr std::string_view kTokenSeparators = "\t ,.:;=";

// Skips separators from `pos`, returns the run up to the next separator or the
// line end (empty when none is left) and leaves `pos` after it.
std::string ReadToken(std::string_view line, std::size_t& pos,
                      std::string_view separators = kTokenSeparators);

// A signed decimal integer; a token that is no such number (or a missing one) reads as 0.
long long ReadIntToken(std::string_view line, std::size_t& pos,
                       std::string_view separators = kTokenSeparators);

// True exactly when the token's upper-case form is "TRUE".
bool ReadBoolToken(std::string_view line, std::size_t& pos,
                   std::string_view separators = kTokenSeparators);

// The decimal integer held by `token` (an optional sign, digits), none when
// it is no such number or beyond 64 bits.
std::optional<long long> TokenNumber(std::string_view token);

// The decimal integer held by `token`, 0 when it is no number.
long long TokenToInt(std::string_view token);

// The value of the hexadecimal digit `c` (either case), -1 for any other
// character or for -1 (no character).
int HexDigitValue(int c);

} // namespace zw
