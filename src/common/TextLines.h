#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zw {

// Splits text into lines, accepting CR LF, LF or CR line ends.
std::vector<std::string> SplitLines(std::string_view text);

// The line end of every file the program writes.
inline constexpr std::string_view kLineEnd = "\r\n";

// printf-style formatting into a std::string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace zw
