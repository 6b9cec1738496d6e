#include "TextLines.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace zw {

std::vector<std::string> SplitLines(std::string_view text)
{
    std::vector<std::string> lines;
    TLineReader reader(text);
    while (!reader.AtEnd())
        lines.emplace_back(reader.Next());
    return lines;
}

std::string_view TLineReader::Next()
{
    if (AtEnd())
        return {};
    const std::size_t start = FPos;
    const std::size_t end = std::min(FText.find_first_of("\r\n", start), FText.size());
    FPos = end + 1;
    if (end + 1 < FText.size() && FText[end] == '\r' && FText[end + 1] == '\n')
        ++FPos;
    return FText.substr(start, end - start);
}

std::string Escaped(std::string_view text)
{
    std::string shown;
    shown.reserve(text.size());
    for (const char c : text) {
        const auto code = static_cast<unsigned char>(c);
        if (code >= 0x20 && code != 0x7F)
            shown += c;
        else if (c == '\n')
            shown += "\\n";
        else if (c == '\r')
            shown += "\\r";
        else if (c == '\t')
            shown += "\\t";
        else
            shown += Format("\\x%02X", code);
    }
    return shown;
}

std::string Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string result;
    if (length > 0) {
        result.resize(static_cast<std::size_t>(length));
        std::vsnprintf(result.data(), result.size() + 1, format, args);
    }
    va_end(args);
    return result;
}

} // namespace zw
