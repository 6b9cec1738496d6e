// The real program with locked genes in its settings: breeding by the keypad
// keeps them at the audible worm's values in every worm it keeps at close.
#include "common/SafeFile.h"
#include "support/ProgramRun.h"
#include "worms/BreederFile.h"
#include "worms/GeneFile.h"

#include <gtest/gtest.h>

#include <iostream>

namespace zw {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(ProgramGeneLocks, BreedingByTheKeypadKeepsTheLockedGenesOfEveryWormAtTheAudibleWormsValues)
{
    TProgramFolder folder(ZW_E2E_WORK_DIR, ZW_PROGRAM, fs::path(ZW_PROGRAM).parent_path());
    TVirtualDisplay display((folder.Path() / "xvfb.log").string());
    // No output device: the genes are checked, not the sound.
    folder.WriteSettings("[Midi]\r\nMidiOut=\r\n[Genes]\r\nLockedA=0-59\r\n");
    {
        TRunningProgram program(folder, display, (folder.Path() / "zwirbels.log").string());
        ASSERT_TRUE(program.WaitForWindow("Zwirbels", 60s)) << program.Log();
        for (const char* key : {"KP_Subtract", "KP_Divide", "KP_Add", "Delete"})
            ASSERT_TRUE(program.PressKeys(key)) << key;
        ASSERT_TRUE(program.PressKeys("alt+x"));
        const auto exit = program.Process().Wait(30s);
        ASSERT_TRUE(exit.has_value()) << program.Log();
        EXPECT_EQ(exit->Code, 0) << exit->Describe() << "\n" << program.Log();
    }
    const TBreederGenomes breeders =
        ReadBreederFile(ReadRegularFile((folder.Path() / "zwirbels.breeders").string(), kMaxGeneFileSize), 4, 16);
    const std::vector<TGene>& a = breeders[0];
    const TGene& audible = a[0]; // no [Breeders] yet: worm 0 is audible and frozen
    int unlockedDiffer = 0;
    for (int w = 1; w < 16; ++w) {
        const TGene& worm = a[static_cast<size_t>(w)];
        for (int i = 0; i < 60; ++i)
            ASSERT_EQ(worm.Genes(i), audible.Genes(i)) << "worm " << w << " gene " << i;
        for (int i = 60; i < 120; ++i)
            unlockedDiffer += worm.Genes(i) != audible.Genes(i);
    }
    // The last mate leaves mutated copies of the audible worm: about 9 genes in 20 differ.
    EXPECT_GT(unlockedDiffer, 15 * 60 / 4) << "the keys bred the unlocked genes";
    const TWrittenSettings written(folder.SettingsFile());
    EXPECT_EQ(written.Value("Genes", "LockedA"), "0-59") << written.Text();
    if (HasFailure()) {
        folder.Keep();
        std::cerr << "The run's files are kept in " << folder.Path() << "\n";
    }
}

} // namespace
} // namespace zw
