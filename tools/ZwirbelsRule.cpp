// zwirbels-rule: checks translation rules outside the program, for people who
// write rules in a text editor or script them.
//
//   zwirbels-rule [-v A,B,C,...] [-t TRACEFILE] RULE
//   zwirbels-rule --check FILE.sub
//   zwirbels-rule --help | --version

#include "common/Exceptions.h"
#include "common/FileNotes.h"
#include "rules/Parser.h"
#include "rules/Substitution.h"
#include "ToolArgs.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace zw;

// Exit codes.
constexpr int kOk = 0;
constexpr int kNotMatched = 1;  // a rule that is not fully consumed; failing entries
constexpr int kError = 2;       // an evaluation that raised, bad arguments, unreadable or malformed files

const char* const kUsage =
    "Usage:\n"
    "  zwirbels-rule [-v A,B,C,...] [-t TRACEFILE] RULE\n"
    "      Evaluates RULE with the variables %1, %2, %3, ... = A, B, C, ...\n"
    "      (each 0..255; none without -v) as the rules editor's syntax check does.\n"
    "      -t TRACEFILE  writes the evaluation trace to TRACEFILE.\n"
    "      Exit status: 0 syntax ok, 1 text not fully consumed, 2 error.\n"
    "  zwirbels-rule --check FILE.sub\n"
    "      Evaluates every active rule of a substitution file with the variables\n"
    "      (0, gene number, 0) and (15, gene number, 255) and prints one line per\n"
    "      failing gene. A file that is not what it claims (a count that is no\n"
    "      number or below 0, fewer lines than its count needs, a flag neither\n"
    "      True nor False) is reported line by line; what it holds is still checked.\n"
    "      Exit status: 0 all pass, 1 some failed, 2 unreadable or malformed file.\n"
    "  zwirbels-rule --help\n"
    "      Prints this text.\n"
    "  zwirbels-rule --version\n"
    "      Prints the version.\n";

int UsageError(const char* message)
{
    std::fprintf(stderr, "zwirbels-rule: %s\n%s", message, kUsage);
    return kError;
}

// "A,B,C" as integers; std::nullopt when an item is no integer. Values too big
// for any integer are kept as out of range, so they fail the range check.
std::optional<std::vector<long long>> ParseVariables(const std::string& list)
{
    std::vector<long long> values;
    if (list.empty())
        return values;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = list.find(',', start);
        const std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        char* end = nullptr;
        errno = 0;
        const long long value = std::strtoll(item.c_str(), &end, 10);
        if (item.empty() || *end != '\0')
            return std::nullopt;
        values.push_back(errno == ERANGE ? LLONG_MAX : value);
        if (comma == std::string::npos)
            return values;
        start = comma + 1;
    }
}

int EvaluateOne(const std::vector<long long>& variables, const std::string& traceFile, const std::string& rule)
{
    try {
        ClearVariables();
        AddVariables(std::span<const long long>(variables));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return kError;
    }
    TRuleBytes result;
    try {
        const bool ok = traceFile.empty() ? EvaluateRules(rule, result)
                                          : EvaluateRulesTraced(traceFile, rule, result);
        if (!ok) {
            std::printf("Syntax error.\n");
            return kNotMatched;
        }
        std::printf("Syntax Ok. output( %s) = '%s' [%s]\n", VariablesText().c_str(), ResultBitsText().c_str(),
                    ResultHexText().c_str());
        return kOk;
    } catch (const std::exception& e) {
        std::printf("Syntax error.\n");
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", e.what());
        return kError;
    }
}

// The message of the first failing evaluation of one entry; empty when both pass.
std::string CheckEntry(int gene, const std::string& rule)
{
    const long long variableSets[2][3] = {{0, gene, 0}, {15, gene, 255}};
    for (const auto& variables : variableSets) {
        try {
            ClearVariables();
            AddVariables(std::span<const long long>(variables));
            TRuleBytes result;
            if (!EvaluateRules(rule, result))
                return "Syntax error.";
        } catch (const std::exception& e) {
            return e.what();
        }
    }
    return {};
}

int CheckFile(const std::string& fileName)
{
    TSubstitution substitution;
    TFileNotes notes;
    try {
        notes = substitution.LoadFromFile(fileName);
    } catch (const std::exception& e) {
        // Every reading error names the file already.
        std::fprintf(stderr, "zwirbels-rule: %s\n", e.what());
        return kError;
    }
    bool failed = false;
    for (int gene = 0; gene < substitution.Count(); ++gene) {
        if (!substitution.Active(gene))
            continue;
        const std::string message = CheckEntry(gene, substitution.Rule(gene));
        if (!message.empty()) {
            std::printf("gene %d: %s\n", gene, message.c_str());
            failed = true;
        }
    }
    if (!notes.empty()) {
        std::fprintf(stderr, "zwirbels-rule: %s\n", FileNotesMessage(fileName, notes).c_str());
        return kError;
    }
    return failed ? kNotMatched : kOk;
}

int Run(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (const std::optional<int> status = AnswerHelpOrVersion(args, kUsage, "zwirbels-rule", ZW_VERSION))
        return *status;
    if (!args.empty() && args[0] == "--check") {
        if (args.size() != 2)
            return UsageError("--check takes one substitution file");
        return CheckFile(args[1]);
    }

    std::vector<long long> variables;
    std::string traceFile;
    std::optional<std::string> rule;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if ((arg == "-v" || arg == "-t") && i + 1 >= args.size())
            return UsageError((arg + " needs a value").c_str());
        if (arg == "-v") {
            const auto parsed = ParseVariables(args[++i]);
            if (!parsed)
                return UsageError(("-v takes integers separated by commas, not '" + args[i] + "'").c_str());
            variables = *parsed;
        } else if (arg == "-t") {
            traceFile = args[++i];
            if (traceFile.empty())
                return UsageError("-t needs a file name");
        } else if (arg == "--" && i + 1 < args.size() && !rule) {
            rule = args[++i];
        } else if (!rule && (arg.empty() || arg[0] != '-' || arg.size() == 1)) {
            rule = arg;
        } else if (rule) {
            return UsageError("only one rule may be given; quote a rule that holds blanks");
        } else {
            return UsageError(("unknown option '" + arg + "'").c_str());
        }
    }
    if (!rule)
        return UsageError("no rule given");
    return EvaluateOne(variables, traceFile, *rule);
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zwirbels-rule: %s\n", e.what());
        return kError;
    }
}
