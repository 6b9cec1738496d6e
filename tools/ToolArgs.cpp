#include "ToolArgs.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace zw {

std::optional<double> ParseNumber(const std::string& text)
{
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno == ERANGE || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<int> ParseInteger(const std::string& text, int low, int high)
{
    const std::optional<double> value = ParseNumber(text);
    if (!value || *value != std::floor(*value) || *value < low || *value > high)
        return std::nullopt;
    return static_cast<int>(*value);
}

} // namespace zw
