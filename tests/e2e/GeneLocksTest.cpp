// The real program with locked genes in its settings and its audible worm not
// the frozen one: each breeding key keeps the locked genes of every worm it
// breeds at the audible worm's values, as the breeders kept after each step show.
#include "common/SafeFile.h"
#include "support/ProgramRun.h"
#include "worms/BreederFile.h"
#include "worms/GeneFile.h"

#include <gtest/gtest.h>

#include <iostream>
#include <thread>

namespace zw {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kLocked = 60; // genes 0..59
constexpr int kAudible = 5;
constexpr int kFrozen = 0;

// Every worm of every breeder different, the frozen worm of A far from the
// audible one in every gene, so that a morph moves each unlocked gene.
TBreederGenomes StartBreeders()
{
    TBreederGenomes breeders(4, std::vector<TGene>(16));
    for (int b = 0; b < 4; ++b)
        for (int w = 0; w < 16; ++w) {
            std::vector<uint8_t> genes(120);
            for (int i = 0; i < 120; ++i)
                genes[static_cast<size_t>(i)] = static_cast<uint8_t>(w == kFrozen ? 240 : 16 * w + (i * 7 + b) % 16);
            breeders[static_cast<size_t>(b)][static_cast<size_t>(w)] = TGene(genes.data(), 120);
        }
    return breeders;
}

TEST(ProgramGeneLocks, RandomizeMutateMorphAndMateKeepTheLockedGenesAtTheAudibleWormsValues)
{
    TProgramFolder folder(ZW_E2E_WORK_DIR, ZW_PROGRAM, fs::path(ZW_PROGRAM).parent_path());
    TVirtualDisplay display((folder.Path() / "xvfb.log").string());
    // No output device: the genes are checked, not the sound.
    folder.WriteSettings("[Midi]\r\nMidiOut=\r\n[Genes]\r\nLockedA=0-59\r\n[Breeders]\r\nAudibleA=5\r\nFrozenA=0\r\n");
    const std::string keptFile = (folder.Path() / "zwirbels.breeders").string();
    const TBreederGenomes start = StartBreeders();
    WriteFileAtomically(keptFile, BreederFileText(start));
    const TGene& audible = start[0][kAudible];
    std::string kept = ReadRegularFile(keptFile, kMaxGeneFileSize);
    {
        TRunningProgram program(folder, display, (folder.Path() / "zwirbels.log").string());
        ASSERT_TRUE(program.WaitForWindow("Zwirbels", 60s)) << program.Log();
        std::vector<TGene> before = start[0];
        for (const char* key : {"KP_Subtract", "KP_Divide", "Delete", "KP_Add"}) {
            ASSERT_TRUE(program.PressKeys(key)) << key;
            // Kept about 2 s after the step.
            const auto deadline = std::chrono::steady_clock::now() + 10s;
            std::string text = kept;
            while (text == kept && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(100ms);
                text = ReadRegularFile(keptFile, kMaxGeneFileSize);
            }
            ASSERT_NE(text, kept) << key << " was not kept\n" << program.Log();
            kept = text;
            const std::vector<TGene> after = ReadBreederFile(kept, 4, 16)[0];
            EXPECT_EQ(after[kFrozen], start[0][kFrozen]) << key;
            int unlockedChanged = 0;
            for (int w = 0; w < 16; ++w) {
                if (w == kFrozen)
                    continue;
                const TGene& worm = after[static_cast<size_t>(w)];
                for (int i = 0; i < kLocked; ++i)
                    ASSERT_EQ(worm.Genes(i), audible.Genes(i)) << key << ": worm " << w << " gene " << i;
                for (int i = kLocked; i < 120; ++i)
                    unlockedChanged += worm.Genes(i) != before[static_cast<size_t>(w)].Genes(i);
            }
            // Morph moves the audible worm alone; the others breed most worms.
            EXPECT_GT(unlockedChanged, std::string(key) == "Delete" ? 30 : 200) << key << ": the unlocked genes did not breed";
            before = after;
        }
        ASSERT_TRUE(program.PressKeys("alt+x"));
        const auto exit = program.Process().Wait(30s);
        ASSERT_TRUE(exit.has_value()) << program.Log();
        EXPECT_EQ(exit->Code, 0) << exit->Describe() << "\n" << program.Log();
    }
    const TWrittenSettings written(folder.SettingsFile());
    EXPECT_EQ(written.Value("Genes", "LockedA"), "0-59") << written.Text();
    if (HasFailure()) {
        folder.Keep();
        std::cerr << "The run's files are kept in " << folder.Path() << "\n";
    }
}

} // namespace
} // namespace zw
