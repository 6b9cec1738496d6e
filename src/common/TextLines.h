#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zw {

// Splits text into lines, accepting CR LF, LF or CR line ends.
std::vector<std::string> SplitLines(std::string_view text);

// The same lines one at a time, for readers that need only the first few of
// a large text; past the end every line reads as empty.
class TLineReader {
public:
    explicit TLineReader(std::string_view text) : FText(text) {}
    bool AtEnd() const { return FPos >= FText.size(); }
    std::string_view Next();

private:
    std::string_view FText;
    std::size_t FPos = 0;
};

// The line end of every file the program writes.
inline constexpr std::string_view kLineEnd = "\r\n";

// `text` as a message shows it: every control character written as an escape
// ("\n", "\t", "\r", "\x00"), so that a name holding one is shown whole and
// on one line.
std::string Escaped(std::string_view text);

// printf-style formatting into a std::string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace zw
