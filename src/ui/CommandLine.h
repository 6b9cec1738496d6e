#pragma once

#include <optional>
#include <string>

// The options answered on the terminal, before any window or display is needed.
namespace zw {

// The text for `--help` or `--version` (or `-h`, `-v`) among the arguments;
// nothing for any other command line, which the toolkit then reads.
std::optional<std::string> CommandLineAnswer(int argc, const char* const* argv);

} // namespace zw
