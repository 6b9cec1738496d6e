#include "ui/CommandLine.h"

#include "app/IniFile.h"
#include "ui/Version.h"
#include "common/ProgramFiles.h"

#include <filesystem>
#include <string_view>

namespace zw {
namespace {

std::string VersionText() { return std::string("zwirbels ") + version::ProductVersion + "\n"; }

std::string HelpText()
{
    const std::string dataFolder = std::filesystem::path(DataFileName("RuleHelp.txt")).parent_path().string();
    return "Usage: zwirbels [--help] [--version] [Qt options, e.g. -platform xcb]\n"
           "Breeds worms whose genes a rule per gene translates into MIDI messages\n"
           "for a synthesizer.\n"
           "\n"
           "  -h, --help     prints this text\n"
           "  -v, --version  prints the version\n"
           "\n"
           "Settings file: " + IniFileName() + "\n"
           "Rule help and default rules: " + dataFolder + "/\n";
}

} // namespace

std::optional<std::string> CommandLineAnswer(int argc, const char* const* argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h")
            return HelpText();
        if (arg == "--version" || arg == "-v")
            return VersionText();
    }
    return std::nullopt;
}

} // namespace zw
