// Runs the built zwirbels-match as users run it, and zwirbels-render on what
// it wrote.
#include "match/Distance.h"
#include "match/Target.h"
#include "support/ChildProcess.h"
#include "support/TempPath.h"
#include "common/FileNotes.h"
#include "common/SafeFile.h"
#include "worms/GeneFile.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace zw {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const char* const kJx10 = "http://drobilla.net/plugins/mda/JX10";

struct TToolRun {
    int Code = -1;
    std::string Log;
};

TToolRun RunTool(const char* tool, const std::vector<std::string>& args, const std::string& log)
{
    std::vector<std::string> argv = {tool};
    argv.insert(argv.end(), args.begin(), args.end());
    TChildProcess child(argv, TEnvironment(), log);
    const std::optional<TExit> exit = child.Wait(300s);
    return {exit && !exit->Signalled ? exit->Code : -1, ReadWholeFile(log)};
}

fs::path WorkFolder(const std::string& name)
{
    const fs::path work = TempPath(name);
    fs::remove_all(work);
    fs::create_directories(work);
    return work;
}

// `genome` as a JX10 note 48 of one second, at `folder`/Target.wav.
std::string RenderJx10(const std::string& genome, const fs::path& folder)
{
    const std::string genes = (folder / "target.gen").string();
    WriteFileAtomically(genes, "1\r\nTarget = " + genome + ";\r\n");
    const TToolRun run = RunTool(ZW_RENDER_TOOL, {"--instrument", kJx10, "--note", "48", "--seconds", "1", genes,
                                              folder.string()}, (folder / "render.log").string());
    EXPECT_EQ(run.Code, 0) << run.Log;
    return (folder / "Target.wav").string();
}

TEST(MatchTool, RefusesBadInputWithExitTwoAndWritesNothing)
{
    const fs::path work = WorkFolder("match-tool-bad");
    const std::string target = RenderJx10("22, 90, 128, 128, 0, 0, 0, 150, 60, 160, 0, 0, 10, 110, 90, 60, 5, 120, 150, "
                                          "60, 0, 0, 0", work);
    const std::string noSound = (work / "text.wav").string();
    WriteFileAtomically(noSound, "no sound at all");
    const std::string out = (work / "out.gen").string();
    const std::vector<std::vector<std::string>> bad = {
        {"--instrument", kJx10, noSound, out},
        {"--instrument", kJx10, (work / "missing.wav").string(), out},
        {"--instrument", "urn:not:installed", target, out},
        {"--instrument", kJx10, "--count", "0", target, out},
        {"--instrument", kJx10, target, (work / "no folder" / "out.gen").string()},
    };
    for (const std::vector<std::string>& args : bad) {
        const TToolRun run = RunTool(ZW_MATCH_TOOL, args, (work / "match.log").string());
        EXPECT_EQ(run.Code, 2) << run.Log;
        EXPECT_NE(run.Log.find("zwirbels-match: "), std::string::npos) << run.Log;
        EXPECT_FALSE(fs::exists(out)) << run.Log;
    }
}

// The first entry, rendered by zwirbels-render with the note, velocity and
// length the matcher names, lies from the target where the matcher said.
TEST(MatchTool, ItsBestEntryRendersToWhatItHeard)
{
    const fs::path work = WorkFolder("match-tool");
    // A slow attack: the sound begins below -60 dB, and each render is trimmed as the target is.
    const std::string target = RenderJx10("22, 200, 40, 128, 0, 0, 0, 90, 150, 100, 0, 0, 200, 60, 30, 60, 150, 90, 80, "
                                          "60, 0, 0, 0", work);
    const std::string out = (work / "out.gen").string();
    const TToolRun run = RunTool(ZW_MATCH_TOOL, {"--instrument", kJx10, "--note", "48", "--renders", "24", "--workers", "1", "--seed", "5",
                                             "--count", "3", target, out}, (work / "match.log").string());
    ASSERT_EQ(run.Code, 0) << run.Log;
    const size_t at = run.Log.rfind("best distance: ");
    ASSERT_NE(at, std::string::npos) << run.Log;
    const double reported = std::stod(run.Log.substr(at + 15));
    // The target's length without its leading silence, to the millisecond.
    const size_t named = run.Log.find("--note 48 --velocity 100 --seconds ");
    ASSERT_NE(named, std::string::npos) << run.Log;
    const std::string seconds = run.Log.substr(named + 35, run.Log.find(' ', named + 35) - named - 35);

    std::string best;
    int entries = 0;
    const TFileNotes notes = ReadGeneFile(ReadWholeFile(out), [&](std::string name, TGene genome) {
        EXPECT_EQ(name, "Match" + std::to_string(entries + 1));
        EXPECT_EQ(genome.Size(), 120);
        if (entries++ == 0) {
            std::string text;
            WriteGeneFileEntry(text, "Best", genome);
            best = text;
        }
    });
    EXPECT_TRUE(notes.empty());
    ASSERT_EQ(entries, 3);
    const fs::path heard = work / "heard";
    fs::create_directories(heard);
    WriteFileAtomically((heard / "best.gen").string(), "1\r\n" + best);
    const TToolRun render = RunTool(ZW_RENDER_TOOL, {"--instrument", kJx10, "--note", "48", "--velocity", "100",
                                                 "--seconds", seconds, (heard / "best.gen").string(), heard.string()},
                                (heard / "render.log").string());
    ASSERT_EQ(render.Code, 0) << render.Log;
    TSpectralDistance distance(TDistanceSettings{}, 48000);
    const double measured = distance.Between(ReadTarget((heard / "Best.wav").string(), 48000).Samples,
                                             ReadTarget(target, 48000).Samples);
    EXPECT_GT(reported, 0.01); // 24 renders do not find the target itself
    EXPECT_NEAR(measured, reported, 0.005); // the file holds 24-bit samples
}

} // namespace
} // namespace zw
