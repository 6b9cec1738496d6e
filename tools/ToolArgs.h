#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zw {

// Command-line values of the tools: a finite number, the whole text of it.
std::optional<double> ParseNumber(const std::string& text);
// A whole number from `low` to `high`.
std::optional<int> ParseInteger(const std::string& text, int low, int high);
// `--help` (or `-h`) or `--version` as the only argument: prints the usage, or
// the tool's name and version, and gives the exit status; none otherwise.
std::optional<int> AnswerHelpOrVersion(const std::vector<std::string>& args, const char* usage, const char* name,
                                       const char* version);

} // namespace zw
