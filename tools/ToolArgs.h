#pragma once

#include <optional>
#include <string>

namespace zw {

// Command-line values of the tools: a finite number, the whole text of it.
std::optional<double> ParseNumber(const std::string& text);
// A whole number from `low` to `high`.
std::optional<int> ParseInteger(const std::string& text, int low, int high);

} // namespace zw
