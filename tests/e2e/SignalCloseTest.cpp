// The real program ended by a signal while its settings cannot be written:
// no box waits for an answer nobody gives; the failure goes to stderr, the
// breeders are still written, and the program is gone within 2 s.
#include "support/ProgramRun.h"

#include <gtest/gtest.h>

#include <csignal>
#include <iostream>

using namespace std::chrono_literals;
namespace fs = std::filesystem;

TEST(ProgramSignalClose, ASigtermWithUnwritableSettingsTellsStderrWritesTheBreedersAndEndsWithin2s)
{
    zw::TProgramFolder folder(ZW_E2E_WORK_DIR, ZW_PROGRAM, fs::path(ZW_PROGRAM).parent_path());
    // The settings live behind a link into a folder that goes away while the
    // program runs: read at start, they cannot be written at the end.
    const fs::path kept = folder.Path() / "kept";
    fs::create_directory(kept);
    folder.WriteSettings("[Midi]\r\nMidiOut=\r\n");
    fs::rename(folder.SettingsFile(), kept / "zwirbels.INI");
    fs::create_symlink(kept / "zwirbels.INI", folder.SettingsFile());
    {
        const zw::TVirtualDisplay display((folder.Path() / "xvfb.log").string());
        zw::TRunningProgram program(folder, display, (folder.Path() / "zwirbels.log").string());
        ASSERT_TRUE(program.WaitForWindow("Zwirbels", 60s)) << program.Log();
        fs::remove_all(kept);
        ASSERT_EQ(kill(program.Process().Pid(), SIGTERM), 0);
        const auto exit = program.Process().Wait(2s);
        ASSERT_TRUE(exit.has_value()) << "the program did not end within 2 s of SIGTERM:\n" << program.Log();
        EXPECT_EQ(exit->Code, 0) << exit->Describe() << "\n" << program.Log();
        EXPECT_NE(program.Log().find("zwirbels: Unable to write to"), std::string::npos) << program.Log();
    }
    EXPECT_TRUE(fs::exists(folder.Path() / "zwirbels.breeders")) << "the breeders were not written";
    if (HasFailure()) {
        folder.Keep();
        std::cerr << "The run's files are kept in " << folder.Path() << "\n";
    }
}
