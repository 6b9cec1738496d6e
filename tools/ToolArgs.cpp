#include "ToolArgs.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
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

std::optional<int> AnswerHelpOrVersion(const std::vector<std::string>& args, const char* usage, const char* name,
                                       const char* version)
{
    if (args.size() != 1)
        return std::nullopt;
    if (args[0] == "--help" || args[0] == "-h") {
        std::printf("%s", usage);
        return 0;
    }
    if (args[0] == "--version") {
        std::printf("%s %s\n", name, version);
        return 0;
    }
    return std::nullopt;
}

} // namespace zw
