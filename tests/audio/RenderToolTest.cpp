// Runs the built zwirbels-render on gene files and listens to what it wrote.
#include "support/ChildProcess.h"
#include "support/OfflineSynth.h"
#include "support/TempPath.h"
#include "common/SafeFile.h"
#include "worms/GeneFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <filesystem>
#include <set>

namespace zw {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const char* const kJx10 = "http://drobilla.net/plugins/mda/JX10";
const char* const kDx10 = "http://drobilla.net/plugins/mda/DX10";

struct TToolRun {
    int Code = -1;
    std::string Log;
};

TToolRun RunRender(const std::vector<std::string>& args, const std::string& log)
{
    std::vector<std::string> argv = {ZW_RENDER_TOOL};
    argv.insert(argv.end(), args.begin(), args.end());
    TChildProcess tool(argv, TEnvironment(), log);
    const std::optional<TExit> exit = tool.Wait(300s);
    return {exit && !exit->Signalled ? exit->Code : -1, ReadWholeFile(log)};
}

std::set<std::string> FolderEntries(const fs::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// Four genomes far apart; two entries share a name and two names are no file names as they stand.
std::string FourEntryGeneFile()
{
    const char* names[] = {"Pad", "Pad", "a/b", "/tmp"};
    std::string text;
    WriteGeneFileCount(text, 4);
    for (int entry = 0; entry < 4; ++entry) {
        TGene genome;
        genome.SetSize(120);
        for (int i = 0; i < 120; ++i)
            genome.SetGenes(i, static_cast<uint8_t>((i * 37 + entry * 89 + (i % (entry + 2)) * 61) % 256));
        WriteGeneFileEntry(text, names[entry], genome);
    }
    return text;
}

// Renders the four entries with `options` and listens to each file.
void ExpectOneAudibleDistinctWavFilePerEntry(std::vector<std::string> options, const std::string& folder)
{
    const fs::path work = TempPath(folder);
    fs::remove_all(work);
    fs::create_directories(work);
    const std::string geneFile = (work / "bank.gen").string();
    WriteFileAtomically(geneFile, FourEntryGeneFile());
    const fs::path out = work / "new" / "samples";

    options.insert(options.end(), {"--seconds", "1", "--note", "57", geneFile, out.string()});
    const TToolRun run = RunRender(options, (work / "render.log").string());
    ASSERT_EQ(run.Code, 0) << run.Log;
    EXPECT_NE(run.Log.find("[4/4]"), std::string::npos) << run.Log;
    const std::set<std::string> expected = {"Pad.wav", "Pad (2).wav", "a_b.wav", "_tmp.wav"};
    ASSERT_EQ(FolderEntries(out), expected);

    std::vector<std::vector<float>> sounds;
    for (const std::string& name : expected) {
        const std::string file = (out / name).string();
        // Rate, channels, frames.
        for (const auto& [option, value] : {std::pair{"-r", "48000\n"}, {"-c", "2\n"}, {"-s", "48000\n"}})
            EXPECT_EQ(RunTool({"soxi", option, file}, TEnvironment()), value) << "soxi " << option << " " << name;
        sounds.push_back(ReadWavFile(file));
        const std::vector<float>& sound = sounds.back();
        EXPECT_GT(Rms(sound.data(), sound.size()), 0.01) << name << " is silent";
        // No hard cut at the end: the last 2 ms (96 stereo frames) stay 40 dB below the peak.
        const auto peak = [](auto from, auto to) {
            return std::accumulate(from, to, 0.0f, [](float m, float s) { return std::max(m, std::fabs(s)); });
        };
        EXPECT_LT(peak(sound.end() - 192, sound.end()), 0.01f * peak(sound.begin(), sound.end())) << name;
    }
    for (size_t a = 0; a < sounds.size(); ++a)
        for (size_t b = a + 1; b < sounds.size(); ++b)
            EXPECT_NE(sounds[a], sounds[b]) << "sounds " << a << " and " << b << " are the same";
}

TEST(RenderTool, WritesOneAudibleDistinctWavFilePerEntry) { ExpectOneAudibleDistinctWavFilePerEntry({}, "render-tool"); }

// On an LV2 instrument the genes are its parameters: the entries differ without rules.
TEST(RenderTool, AnLv2InstrumentPlaysEachEntryWithItsGenesAsParameters)
{
    ExpectOneAudibleDistinctWavFilePerEntry({"--instrument", kJx10}, "render-tool-lv2");
}

// A DX10 genome whose sound sits far off zero (a DC offset of -0.36 of full
// scale without the engine's DC blocker): the file holds none.
TEST(RenderTool, ADx10SoundWithAnOffsetIsRenderedWithoutDc)
{
    const fs::path work = TempPath("render-tool-dc");
    fs::remove_all(work);
    fs::create_directories(work);
    const std::string geneFile = (work / "dc.gen").string();
    WriteFileAtomically(geneFile, "1\r\nDc = 16, 150, 201, 167, 16, 68, 58, 94, 43, 156, 36, 0, 169, 200, 153, 202, 118;\r\n");
    const fs::path out = work / "out";
    const TToolRun run = RunRender({"--instrument", kDx10, "--seconds", "2", geneFile, out.string()},
                                   (work / "render.log").string());
    ASSERT_EQ(run.Code, 0) << run.Log;
    const std::vector<float> sound = ReadWavFile((out / "Dc.wav").string());
    ASSERT_EQ(sound.size(), 2u * 96000);
    // From 0.5 s to 1.4 s: the note held (it is let go at 1.5 s), the filter settled.
    const auto from = sound.begin() + 2 * 24000, to = sound.begin() + 2 * 67200;
    const double mean = std::accumulate(from, to, 0.0) / static_cast<double>(to - from);
    EXPECT_LT(std::fabs(mean), 0.01) << "DC offset"; // -0.36 without the blocker
    EXPECT_GT(Rms(&*from, static_cast<size_t>(to - from)), 0.01) << "silent";
}

// A genome longer than the rules is rendered (its extra genes are not
// translated); a file that is no gene file, or a name the format splits, is
// told with its line and fails the run.
TEST(RenderTool, LongGenomesRenderAndWhatIsNoGeneFileIsTold)
{
    const fs::path work = TempPath("render-tool-genes");
    fs::remove_all(work);
    fs::create_directories(work);
    const std::string log = (work / "render.log").string();
    const fs::path out = work / "out";
    const std::string longer = (work / "long.gen").string();
    std::string text;
    WriteGeneFileCount(text, 1);
    TGene genome;
    genome.SetSize(121);
    WriteGeneFileEntry(text, "Long", genome);
    WriteFileAtomically(longer, text);
    TToolRun run = RunRender({"--seconds", "0.5", longer, out.string()}, log);
    EXPECT_EQ(run.Code, 0) << run.Log;
    EXPECT_TRUE(fs::exists(out / "Long.wav")) << run.Log;

    const std::string junk = (work / "junk.gen").string();
    std::string bytes;
    for (int i = 0; i < 4096; ++i)
        bytes += static_cast<char>((i * 151 + 7) % 256);
    WriteFileAtomically(junk, "\x7F" "ELF\x02\x01" + bytes);
    run = RunRender({junk, (work / "junk").string()}, log);
    EXPECT_EQ(run.Code, 2) << run.Log;
    EXPECT_NE(run.Log.find("line 1"), std::string::npos) << run.Log;
    EXPECT_FALSE(fs::exists(work / "junk"));

    const std::string split = (work / "split.gen").string();
    WriteFileAtomically(split, "2\r\nGood = 3, 1, 2, 3;\r\na/b/../../etc = 3, 1, 2, 3;\r\n");
    run = RunRender({"--seconds", "0.5", split, (work / "split").string()}, log);
    EXPECT_EQ(run.Code, 2) << run.Log;
    EXPECT_NE(run.Log.find("line 3: the name is cut at \".\""), std::string::npos) << run.Log;
    EXPECT_TRUE(fs::exists(work / "split" / "Good.wav")) << "what could be read is rendered";
}

// The tests' own instrument, its gene 0 setting the fault it plays with: an
// entry that makes it crash, hang, abort or put out NaN is named and left
// out; one host process serves the others, restarted after each failure.
TEST(RenderTool, AnInstrumentThatFailsOnOneEntryCostsThatEntryOnly)
{
    const fs::path work = TempPath("render-tool-faults");
    fs::remove_all(work);
    fs::create_directories(work);
    struct TEntry {
        const char* Name;
        uint8_t Fault;       // gene 0: 0 none, 1 crash, 2 hang, 3 abort, 4 NaN
        const char* Message; // what the failure says; null: written
    };
    const TEntry entries[] = {{"first", 0, nullptr},
                              {"crash", 1, "\"crash\" is not rendered: The LV2 instrument \"Zwirbels test instrument\" "
                                            "crashed (SIGSEGV)."},
                              {"second", 0, nullptr},
                              {"hang", 2, "\"hang\" is not rendered: The LV2 instrument \"Zwirbels test instrument\" "
                                            "stopped answering"},
                              {"abort", 3, "\"abort\" is not rendered: The LV2 instrument \"Zwirbels test instrument\" "
                                             "crashed (SIGABRT)."},
                              {"nan", 4, "\"nan\" is not rendered: The LV2 instrument \"Zwirbels test instrument\" "
                                           "put out NaN or infinity."},
                              {"last", 0, nullptr}};
    std::string text;
    WriteGeneFileCount(text, std::size(entries));
    for (const TEntry& entry : entries) {
        TGene genome;
        genome.SetSize(8);
        genome.SetGenes(0, entry.Fault);
        WriteGeneFileEntry(text, entry.Name, genome);
    }
    const std::string geneFile = (work / "faults.gen").string();
    WriteFileAtomically(geneFile, text);
    const fs::path out = work / "out";

    std::vector<std::string> argv = {ZW_RENDER_TOOL, "--instrument", "urn:zwirbels:test-instrument", "--seconds",
                                     "0.5", geneFile, out.string()};
    TEnvironment environment;
    environment.Set("LV2_PATH", std::string(ZW_TEST_LV2_DIR) + ":/usr/lib/lv2");
    const std::string log = (work / "render.log").string();
    TChildProcess tool(argv, environment, log);
    const std::optional<TExit> exit = tool.Wait(120s);
    const std::string output = ReadWholeFile(log);
    ASSERT_TRUE(exit && !exit->Signalled) << output;
    EXPECT_EQ(exit->Code, 2) << output;
    for (const TEntry& entry : entries) {
        if (entry.Message) {
            EXPECT_NE(output.find(entry.Message), std::string::npos) << entry.Name << ":\n" << output;
            continue;
        }
        const std::vector<float> sound = ReadWavFile((out / (std::string(entry.Name) + ".wav")).string());
        EXPECT_GT(Rms(sound.data(), sound.size()), 0.05) << entry.Name << " is silent:\n" << output;
    }
    EXPECT_EQ(FolderEntries(out), (std::set<std::string>{"first.wav", "second.wav", "last.wav"}));
}

TEST(RenderTool, BadInputEndsWithAMessageAndLeavesNothingBehind)
{
    const fs::path work = TempPath("render-tool-bad");
    fs::remove_all(work);
    fs::create_directories(work);
    const std::string geneFile = (work / "bank.gen").string();
    WriteFileAtomically(geneFile, FourEntryGeneFile());
    const std::string notRules = (work / "rules.sub").string();
    WriteFileAtomically(notRules, "RIFF....WAVE\r\nfmt \r\n");
    const std::string log = (work / "render.log").string();
    const fs::path out = work / "out";

    struct TCase {
        std::vector<std::string> Args;
        std::string Message;
    };
    const std::vector<TCase> cases = {
        {{(work / "missing.gen").string(), out.string()}, (work / "missing.gen").string()},
        {{"--rules", notRules, geneFile, out.string()}, notRules},
        {{geneFile, (work / "bank.gen" / "out").string()}, "Cannot make the folder"},
        {{"--seconds", "0", geneFile, out.string()}, "--seconds"},
        {{"--instrument", "urn:zw:none", geneFile, out.string()}, "urn:zw:none"},
        {{"--rules", notRules, "--instrument", kJx10, geneFile, out.string()}, "exclude each other"},
    };
    for (const TCase& bad : cases) {
        const TToolRun run = RunRender(bad.Args, log);
        EXPECT_EQ(run.Code, 2) << run.Log;
        EXPECT_NE(run.Log.find(bad.Message), std::string::npos) << run.Log;
        EXPECT_FALSE(fs::exists(out)) << "an output folder after: " << run.Log;
    }

    // A file that cannot be written (a folder in its place) ends the run and
    // leaves no temporary file.
    fs::create_directories(out / "Pad.wav");
    const TToolRun run = RunRender({geneFile, out.string()}, log);
    EXPECT_EQ(run.Code, 2) << run.Log;
    EXPECT_NE(run.Log.find((out / "Pad.wav").string()), std::string::npos) << run.Log;
    EXPECT_EQ(FolderEntries(out), std::set<std::string>{"Pad.wav"});
}

} // namespace
} // namespace zw
