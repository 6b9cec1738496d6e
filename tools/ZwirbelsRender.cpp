// zwirbels-render: renders every entry of a gene file through an instrument,
// offline, into one WAV file each: for people who make sample sets, and for
// tests that listen to genomes.
//
//   zwirbels-render [--rules FILE.sub | --instrument URI] [--seconds S] [--release R] [--note N] [--velocity V]
//                   GENEFILE OUTDIR
//   zwirbels-render --help | --version

#include "ToolArgs.h"
#include "app/EntryPlayer.h"
#include "audio/AudioEngine.h"
#include "audio/Lv2RenderHost.h"
#include "audio/SynthInstrument.h"
#include "common/FileNotes.h"
#include "common/ProgramFiles.h"
#include "common/SafeFile.h"
#include "rules/Substitution.h"
#include "worms/GeneFile.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using namespace zw;
namespace fs = std::filesystem;

constexpr int kOk = 0;
constexpr int kError = 2; // bad arguments, unreadable input, an entry not rendered, a file not written

const char* const kUsage =
    "Usage:\n"
    "  zwirbels-render [--rules FILE.sub | --instrument URI] [--seconds S] [--release R]\n"
    "                  [--note N] [--velocity V] GENEFILE OUTDIR\n"
    "      Renders every entry of the gene file GENEFILE through the built-in\n"
    "      synthesizer into OUTDIR/<entry name>.wav (48 kHz, stereo, 24 bit);\n"
    "      OUTDIR is made when missing. Each entry plays on MIDI channel 1: the\n"
    "      program of breeder A, its genome as the rules translate it, then\n"
    "      note N (0..127, default 60) at velocity V (1..127, default 100),\n"
    "      in a file of S seconds (default 2, at most 600), held until R seconds\n"
    "      before the end (default 0.5, at most half the file) so that its\n"
    "      release is heard; the last 20 ms fade out.\n"
    "      --rules  the substitution file (default: synth.sub of the program's data).\n"
    "      --instrument  plays each entry on the installed LV2 instrument URI\n"
    "               instead (`lv2ls` lists them), in a process of its own that\n"
    "               serves every entry: gene k sets its k-th breedable control\n"
    "               input, with no rules. An entry that makes the instrument\n"
    "               crash, hang or put out NaN is named and left out; the others\n"
    "               are written.\n"
    "      Exit status: 0 every entry written, 2 an error (message on stderr),\n"
    "      also when the gene file is not read whole as written (each line\n"
    "      that is not is named; what could be read is still rendered).\n"
    "  zwirbels-render --help\n"
    "      Prints this text.\n"
    "  zwirbels-render --version\n"
    "      Prints the version.\n";

struct TOptions {
    std::string Rules = DataFileName("synth.sub");
    std::string Instrument; // an LV2 plug-in URI; empty: the built-in synthesizer
    double Seconds = 2;
    double Release = TWormTake::kDefaultReleaseSeconds;
    int Note = 60;
    int Velocity = 100;
    std::string GeneFile;
    std::string OutDir;
};

struct TEntry {
    std::string Name;
    TGene Genome;
};

int Fail(const std::string& message)
{
    std::fprintf(stderr, "zwirbels-render: %s\n", message.c_str());
    return kError;
}

int UsageError(const std::string& message)
{
    Fail(message);
    std::fprintf(stderr, "%s", kUsage);
    return kError;
}

// An entry name as a file name of its own in the output folder: names are
// single-byte (Latin-1) text, written here as UTF-8; no separator, no NUL,
// never "." or "..", within the file system's name length, and never the name
// of an earlier entry, so no entry overwrites another.
std::string OutputName(const std::string& entryName, std::set<std::string>& taken)
{
    std::string base;
    for (const char c : entryName.substr(0, 120)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '/' || byte < 0x20 || byte == 0x7F)
            base += '_';
        else if (byte < 0x80)
            base += c;
        else {
            base += static_cast<char>(0xC0 | (byte >> 6));
            base += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    if (base.empty() || base == "." || base == "..")
        base = "_" + base;
    std::string name = base + ".wav";
    for (int n = 2; !taken.insert(name).second; ++n)
        name = base + " (" + std::to_string(n) + ").wav";
    return name;
}

// The entries that could be read; `whole` tells whether that is the file as
// written.
std::vector<TEntry> ReadEntries(const std::string& fileName, bool& whole)
{
    std::vector<TEntry> entries;
    const TFileNotes notes = ReadGeneFile(ReadRegularFile(fileName, kMaxGeneFileSize),
                                          [&](std::string name, TGene genome) {
                                              entries.push_back({std::move(name), std::move(genome)});
                                          },
                                          fileName);
    // What could be read is rendered; the damage is told, and fails the run.
    whole = notes.empty();
    if (!whole)
        Fail(FileNotesMessage(fileName, notes));
    return entries;
}

int Render(const TOptions& options)
{
    std::vector<TEntry> entries;
    TSubstitution rules;
    std::unique_ptr<TLv2RenderHost> lv2;
    bool whole = true;
    try {
        entries = ReadEntries(options.GeneFile, whole);
        if (options.Instrument.empty()) {
            const TFileNotes notes = rules.LoadFromFile(options.Rules);
            if (!notes.empty())
                return Fail(FileNotesMessage(options.Rules, notes));
        } else {
            lv2 = std::make_unique<TLv2RenderHost>(options.Instrument); // one that cannot be hosted ends the run here
        }
    } catch (const std::exception& e) {
        return Fail(e.what()); // every reading error names its file, an instrument its URI
    }
    if (!whole && entries.empty())
        return kError; // not a gene file: no folder made for nothing

    std::error_code error;
    fs::create_directories(options.OutDir, error);
    if (error || !fs::is_directory(options.OutDir))
        return Fail("Cannot make the folder \"" + options.OutDir + "\": " +
                    (error ? error.message() : std::string("a file of that name is in the way")));
    if (::access(options.OutDir.c_str(), W_OK | X_OK) != 0)
        return Fail("Cannot write into the folder \"" + options.OutDir + "\": " + std::strerror(errno));

    const TEntryPlayer player(rules, TSynthSettings{}, 0, lv2.get(),
                              {options.Note, options.Velocity, options.Seconds, options.Release});

    int status = whole ? kOk : kError;
    std::set<std::string> taken;
    for (size_t i = 0; i < entries.size(); ++i) {
        const TEntry& entry = entries[i];
        const std::string fileName = (fs::path(options.OutDir) / OutputName(entry.Name, taken)).string();
        std::fprintf(stderr, "[%zu/%zu] %s\n", i + 1, entries.size(), fileName.c_str());
        try {
            player.Save(entry.Genome, fileName);
        } catch (const EInOutError& e) {
            return Fail(e.what()); // the folder fails every entry alike
        } catch (const ESynthError& e) {
            return Fail(e.what());
        } catch (const std::exception& e) {
            status = Fail("entry \"" + entry.Name + "\" is not rendered: " + e.what());
        }
    }
    return status;
}

int Run(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (const std::optional<int> status = AnswerHelpOrVersion(args, kUsage, "zwirbels-render", ZW_VERSION))
        return *status;
    TOptions options;
    bool rulesGiven = false;
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool takesValue = arg == "--rules" || arg == "--instrument" || arg == "--seconds" ||
                                arg == "--release" || arg == "--note" || arg == "--velocity";
        if (takesValue && i + 1 >= args.size())
            return UsageError(arg + " needs a value");
        if (arg == "--rules") {
            options.Rules = args[++i];
            rulesGiven = true;
        } else if (arg == "--instrument") {
            options.Instrument = args[++i];
            if (options.Instrument.empty())
                return UsageError("--instrument takes the URI of an installed LV2 instrument");
        } else if (arg == "--seconds") {
            const std::optional<double> seconds = ParseNumber(args[++i]);
            if (!seconds || *seconds <= 0 || *seconds > TWormTake::kMaxSeconds)
                return UsageError("--seconds takes a number above 0 and at most 600, not '" + args[i] + "'");
            options.Seconds = *seconds;
        } else if (arg == "--release") {
            const std::optional<double> release = ParseNumber(args[++i]);
            if (!release || *release < 0 || *release > TWormTake::kMaxSeconds)
                return UsageError("--release takes a number of seconds, 0 to 600, not '" + args[i] + "'");
            options.Release = *release;
        } else if (arg == "--note") {
            const std::optional<int> note = ParseInteger(args[++i], 0, 127);
            if (!note)
                return UsageError("--note takes a note number 0..127, not '" + args[i] + "'");
            options.Note = *note;
        } else if (arg == "--velocity") {
            const std::optional<int> velocity = ParseInteger(args[++i], 1, 127);
            if (!velocity)
                return UsageError("--velocity takes 1..127, not '" + args[i] + "'");
            options.Velocity = *velocity;
        } else if (arg == "--" ) {
            files.insert(files.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
            break;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("unknown option '" + arg + "'");
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != 2)
        return UsageError("a gene file and an output folder are needed");
    if (rulesGiven && !options.Instrument.empty())
        return UsageError("--rules and --instrument exclude each other: an LV2 instrument needs no rules");
    options.GeneFile = files[0];
    options.OutDir = files[1];
    return Render(options);
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
}
