// zwirbels-match: breeds toward a recording: searches an instrument's genes
// for the sound of a target file and writes the best distinct genomes found
// as a gene file.
//
//   zwirbels-match [--instrument URI | --rules FILE.sub] [--note N] [--velocity V] [--budget SECONDS]
//                  [--count K] [--seed N] [--renders N] [--workers N] TARGET OUT.gen
//   zwirbels-match --help | --version

#include "ToolArgs.h"
#include "app/MatchRenderers.h"
#include "common/FileNotes.h"
#include "common/ProgramFiles.h"
#include "common/SafeFile.h"
#include "match/Pitch.h"
#include "rules/Substitution.h"
#include "worms/Gene.h"
#include "worms/GeneFile.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

using namespace zw;
namespace fs = std::filesystem;

constexpr int kOk = 0;
constexpr int kError = 2; // bad arguments, an unusable target or instrument, nothing found, the file not written
constexpr int kGenomeSize = 120; // as a new worm has
constexpr double kSampleRate = 48000;

const char* const kUsage =
    "Usage:\n"
    "  zwirbels-match [--instrument URI | --rules FILE.sub] [--note N] [--velocity V]\n"
    "                 [--budget SECONDS] [--count K] [--seed N] [--renders N]\n"
    "                 [--workers N] TARGET OUT.gen\n"
    "      Searches for genomes that sound like the sound file TARGET (WAV, FLAC,\n"
    "      OGG; its leading silence cut, at most 4 s heard) and writes the K best\n"
    "      distinct ones (default 16), best first, to the gene file OUT.gen.\n"
    "      Each candidate plays note N (default: the target's pitch, else 60) at\n"
    "      velocity V (default 100) for the target's length, exactly as\n"
    "      zwirbels-render plays an entry with the same --note, --velocity and\n"
    "      --seconds (the values are printed on stderr).\n"
    "      --instrument  an installed LV2 instrument: its breedable controls are\n"
    "               searched; --rules  the built-in synthesizer: the genes with\n"
    "               an active rule are searched (default: synth.sub).\n"
    "      --budget  seconds of search (default 60); --renders  at most N renders.\n"
    "      --seed  makes a search with --workers 1 and --renders repeatable.\n"
    "      --workers  render threads (default: one per core).\n"
    "      Progress goes to stderr; the last line on stdout gives the best\n"
    "      distance. Exit status: 0 written; 2 an error (message on stderr),\n"
    "      nothing written.\n"
    "  zwirbels-match --help\n"
    "      Prints this text.\n"
    "  zwirbels-match --version\n"
    "      Prints the version.\n";

struct TOptions {
    std::string Rules = DataFileName("synth.sub");
    bool RulesGiven = false;
    std::string Instrument;
    std::optional<int> Note;
    int Velocity = 100;
    double Budget = 60;
    int Count = 16;
    std::optional<uint64_t> Seed;
    long Renders = 0;
    int Workers = 0;
    std::string Target;
    std::string Out;
};

int Fail(const std::string& message)
{
    std::fprintf(stderr, "zwirbels-match: %s\n", message.c_str());
    return kError;
}

int UsageError(const std::string& message)
{
    Fail(message);
    std::fprintf(stderr, "%s", kUsage);
    return kError;
}

// Whether OUT can be written, told before the search spends its budget.
std::string OutputProblem(const std::string& out)
{
    const fs::path path(out);
    std::error_code error;
    if (fs::is_directory(path, error))
        return "\"" + out + "\" is a folder";
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    if (!fs::is_directory(folder, error))
        return "Cannot write \"" + out + "\": no folder \"" + folder.string() + "\"";
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return "Cannot write \"" + out + "\": " + std::strerror(errno);
    return {};
}

std::string GeneFileText(const std::vector<TMatch>& results)
{
    std::string text;
    WriteGeneFileCount(text, results.size());
    for (size_t i = 0; i < results.size(); ++i) {
        // No blank in a name: the format would cut it there.
        const TMatch& match = results[i];
        WriteGeneFileEntry(text, "Match" + std::to_string(i + 1),
                           TGene(match.Genes.data(), static_cast<int32_t>(match.Genes.size())));
    }
    return text;
}

int Match(const TOptions& options)
{
    if (const std::string problem = OutputProblem(options.Out); !problem.empty())
        return Fail(problem);
    TTarget target;
    TMatchInstrument instrument;
    TMatchSpace space;
    try {
        target = ReadTarget(options.Target, kSampleRate);
        if (options.Instrument.empty()) {
            auto rules = std::make_shared<TSubstitution>();
            const TFileNotes notes = rules->LoadFromFile(options.Rules);
            if (!notes.empty())
                return Fail(FileNotesMessage(options.Rules, notes));
            space = RulesMatchSpace(*rules, kGenomeSize);
            if (space.Free.empty())
                return Fail("No gene has an active rule in \"" + options.Rules + "\"");
            instrument.Rules = std::move(rules);
        } else {
            instrument.Lv2Uri = options.Instrument;
            space = Lv2MatchSpace(options.Instrument, kGenomeSize);
        }
    } catch (const std::exception& e) {
        return Fail(e.what()); // a target names its file, an instrument its URI
    }

    TMatchNote note;
    note.Velocity = options.Velocity;
    note.Seconds = std::llround(target.Seconds() * 1000) / 1000.0; // as --seconds is given back
    if (options.Note)
        note.Note = *options.Note;
    else if (const std::optional<int> heard = EstimateNote(target.Samples, target.SampleRate))
        note.Note = *heard;
    else
        std::fprintf(stderr, "zwirbels-match: no pitch heard in the target; playing note 60 (--note sets one)\n");
    std::fprintf(stderr, "zwirbels-match: %zu genes free; each candidate as zwirbels-render --note %d --velocity %d "
                         "--seconds %.3f plays it\n",
                 space.Free.size(), note.Note, note.Velocity, note.Seconds);

    TRendererFactory renderers;
    try {
        renderers = MakeRenderers(instrument, note);
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
    TMatchOptions matchOptions;
    matchOptions.Count = options.Count;
    matchOptions.BudgetSeconds = options.Budget;
    matchOptions.MaxRenders = options.Renders;
    matchOptions.Seed = options.Seed ? *options.Seed : std::random_device()();
    matchOptions.Workers = options.Workers;
    TMatchJob job(std::move(target), std::move(space), std::move(renderers), matchOptions);
    job.Start();
    auto told = std::chrono::steady_clock::now();
    for (TMatchProgress progress = job.Progress(); !progress.Finished; progress = job.Progress()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (std::chrono::steady_clock::now() - told >= std::chrono::seconds(1) && progress.Renders > 0) {
            told = std::chrono::steady_clock::now();
            std::fprintf(stderr, "%ld renders, best %.3f dB\n", progress.Renders, progress.BestDistance);
        }
    }
    job.Wait();
    const TMatchProgress progress = job.Progress();
    const std::vector<TMatch> results = job.Results();
    std::fprintf(stderr, "%ld renders (%ld failed) in %.1f s, %.0f a second\n", progress.Renders,
                 progress.FailedRenders, progress.Elapsed, progress.Renders / std::max(progress.Elapsed, 1e-3));
    if (!job.Error().empty())
        return Fail(job.Error());
    if (results.empty())
        return Fail("no candidate could be rendered");
    try {
        WriteFileAtomically(options.Out, GeneFileText(results));
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
    std::printf("best distance: %.4f dB\n", results.front().Distance);
    return kOk;
}

int Run(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (const std::optional<int> status = AnswerHelpOrVersion(args, kUsage, "zwirbels-match", ZW_VERSION))
        return *status;
    TOptions options;
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool takesValue = arg == "--rules" || arg == "--instrument" || arg == "--note" || arg == "--velocity" ||
                                arg == "--budget" || arg == "--count" || arg == "--seed" || arg == "--renders" ||
                                arg == "--workers";
        if (takesValue && i + 1 >= args.size())
            return UsageError(arg + " needs a value");
        if (arg == "--rules") {
            options.Rules = args[++i];
            options.RulesGiven = true;
        } else if (arg == "--instrument") {
            options.Instrument = args[++i];
            if (options.Instrument.empty())
                return UsageError("--instrument takes the URI of an installed LV2 instrument");
        } else if (arg == "--note") {
            options.Note = ParseInteger(args[++i], 0, 127);
            if (!options.Note)
                return UsageError("--note takes a note number 0..127, not '" + args[i] + "'");
        } else if (arg == "--velocity") {
            const std::optional<int> velocity = ParseInteger(args[++i], 1, 127);
            if (!velocity)
                return UsageError("--velocity takes 1..127, not '" + args[i] + "'");
            options.Velocity = *velocity;
        } else if (arg == "--budget") {
            const std::optional<double> budget = ParseNumber(args[++i]);
            if (!budget || *budget <= 0 || *budget > 86400)
                return UsageError("--budget takes seconds above 0 and at most 86400, not '" + args[i] + "'");
            options.Budget = *budget;
        } else if (arg == "--count") {
            const std::optional<int> count = ParseInteger(args[++i], 1, 1000);
            if (!count)
                return UsageError("--count takes 1..1000, not '" + args[i] + "'");
            options.Count = *count;
        } else if (arg == "--seed") {
            const std::optional<int> seed = ParseInteger(args[++i], 0, 2147483647);
            if (!seed)
                return UsageError("--seed takes a whole number 0..2147483647, not '" + args[i] + "'");
            options.Seed = static_cast<uint64_t>(*seed);
        } else if (arg == "--renders") {
            const std::optional<int> renders = ParseInteger(args[++i], 1, 2147483647);
            if (!renders)
                return UsageError("--renders takes a number of renders above 0, not '" + args[i] + "'");
            options.Renders = *renders;
        } else if (arg == "--workers") {
            const std::optional<int> workers = ParseInteger(args[++i], 1, 64);
            if (!workers)
                return UsageError("--workers takes 1..64, not '" + args[i] + "'");
            options.Workers = *workers;
        } else if (arg == "--") {
            files.insert(files.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
            break;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("unknown option '" + arg + "'");
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != 2)
        return UsageError("a target sound file and an output gene file are needed");
    if (options.RulesGiven && !options.Instrument.empty())
        return UsageError("--rules and --instrument exclude each other: an LV2 instrument needs no rules");
    options.Target = files[0];
    options.Out = files[1];
    return Match(options);
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
