#include "common/Checked.h"
#include "common/Exceptions.h"
#include "common/Globals.h"
#include "common/ProgramFiles.h"
#include "common/Random.h"
#include "common/SafeFile.h"
#include "common/SpscQueue.h"
#include "common/TextLines.h"
#include "common/Tokens.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace zw;

TEST(Random, FixedSeedGivesTheSameDrawsAndStaysInRange)
{
    RandSeed(0);
    std::array<int, 64> first{};
    for (int& v : first)
        v = Random(256);
    RandSeed(0);
    for (int v : first)
        EXPECT_EQ(v, Random(256));

    std::array<int, 7> counts{};
    for (int i = 0; i < 70000; ++i) {
        const int v = Random(7);
        ASSERT_GE(v, 0);
        ASSERT_LT(v, 7);
        ++counts[static_cast<std::size_t>(v)];
    }
    for (int c : counts)
        EXPECT_NEAR(c, 10000, 600);
    EXPECT_EQ(Random(0), 0);
    EXPECT_EQ(Random(-3), 0);
    EXPECT_EQ(Random(1), 0);
}

TEST(Random, OtherSeedsGiveOtherDraws)
{
    RandSeed(1);
    const int a = Random(1 << 30);
    RandSeed(2);
    EXPECT_NE(a, Random(1 << 30));
}

TEST(Checked, ArithmeticRaisesTheThreeErrors)
{
    EXPECT_EQ(CheckedAdd(2, 3), 5);
    EXPECT_THROW(CheckedAdd(INT_MAX, 1), EIntOverflow);
    EXPECT_THROW(CheckedSub(INT_MIN, 1), EIntOverflow);
    EXPECT_THROW(CheckedMul(65536, 65536), EIntOverflow);
    EXPECT_THROW(CheckedNeg(INT_MIN), EIntOverflow);
    EXPECT_THROW(CheckedDiv(INT_MIN, -1), EIntOverflow);
    EXPECT_EQ(CheckedDiv(-7, 2), -3);
    EXPECT_EQ(CheckedMod(-7, 2), -1);
    EXPECT_EQ(CheckedMod(INT_MIN, -1), 0);
    EXPECT_THROW(CheckedDiv(1, 0), EZeroDivide);
    EXPECT_THROW(CheckedMod(1, 0), EZeroDivide);
    EXPECT_EQ(CheckedByte(255), 255);
    EXPECT_THROW(CheckedByte(256), ERangeError);
    EXPECT_THROW(CheckedByte(-1), ERangeError);
    EXPECT_THROW(CheckedWord(65536), ERangeError);
    try {
        CheckedByte(300);
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Range check error");
    }
}

TEST(Tokens, SkipSeparatorsAndReadNumbersTolerantly)
{
    const std::string line = "my gene = 3, 12, x7;";
    std::size_t pos = 0;
    EXPECT_EQ(ReadToken(line, pos), "my");
    EXPECT_EQ(ReadIntToken(line, pos), 0); // "gene" is no number
    EXPECT_EQ(ReadIntToken(line, pos), 3);
    EXPECT_EQ(ReadIntToken(line, pos), 12);
    EXPECT_EQ(ReadIntToken(line, pos), 0); // "x7"
    EXPECT_EQ(ReadToken(line, pos), "");   // nothing left
    EXPECT_EQ(pos, line.size());

    EXPECT_EQ(TokenToInt("-42"), -42);
    EXPECT_EQ(TokenToInt("+5"), 5);
    EXPECT_EQ(TokenToInt("5a"), 0);
    EXPECT_EQ(TokenToInt("99999999999999999999"), 0);

    std::size_t p = 0;
    EXPECT_TRUE(ReadBoolToken("true", p));
    p = 0;
    EXPECT_TRUE(ReadBoolToken("TrUe", p));
    p = 0;
    EXPECT_FALSE(ReadBoolToken("1", p));

    EXPECT_EQ(HexDigitValue('0'), 0);
    EXPECT_EQ(HexDigitValue('9'), 9);
    EXPECT_EQ(HexDigitValue('a'), 10);
    EXPECT_EQ(HexDigitValue('F'), 15);
    EXPECT_EQ(HexDigitValue('g'), -1);
    EXPECT_EQ(HexDigitValue('@'), -1);
    EXPECT_EQ(HexDigitValue('\xC1'), -1); // a negative char is no digit either
    EXPECT_EQ(HexDigitValue(-1), -1);
}

TEST(TextLines, SplitsEveryLineEnd)
{
    const auto lines = SplitLines("a\r\nb\nc\rd");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "a");
    EXPECT_EQ(lines[3], "d");
    EXPECT_EQ(SplitLines("a\r\n\r\n").size(), 2u);
    EXPECT_TRUE(SplitLines("").empty());
    EXPECT_EQ(Format("%s = %d", "x", 3), "x = 3");
}

TEST(SafeFile, ReplacesWholeFilesAndKeepsTheOldOneOnFailure)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("zw_safefile_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string target = (dir / "a.txt").string();

    WriteFileAtomically(target, "first");
    WriteFileAtomically(target, "second");
    EXPECT_EQ(ReadWholeFile(target), "second");
    // A file above the limit is refused.
    EXPECT_EQ(ReadRegularFile(target, 6), "second");
    EXPECT_THROW(ReadRegularFile(target, 5), EInOutError);
    EXPECT_THROW(ReadRegularFile((dir / "missing.txt").string(), 5), EInOutError);

    // A folder that does not exist cannot take the temporary file.
    EXPECT_THROW(WriteFileAtomically((dir / "missing" / "b.txt").string(), "x"), EInOutError);
    EXPECT_THROW(ReadWholeFile((dir / "missing.txt").string()), EInOutError);

    // The target folder is read-only: the save fails and the old file stays.
    if (::geteuid() != 0) {
        fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_THROW(WriteFileAtomically(target, "third"), EInOutError);
        fs::permissions(dir, fs::perms::owner_all);
        EXPECT_EQ(ReadWholeFile(target), "second");
    }
    std::size_t leftovers = 0;
    for (const auto& entry : fs::directory_iterator(dir))
        leftovers += entry.path().filename() != "a.txt";
    EXPECT_EQ(leftovers, 0u);
    fs::remove_all(dir);
}

TEST(SafeFile, FollowsLinksRefusesPipesAndFailsPlainlyUnderAFileSizeLimit)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("zw_safelink_" + std::to_string(::getpid()));
    fs::create_directories(dir / "real");
    const std::string target = (dir / "real" / "a.INI").string();
    WriteFileAtomically(target, "old");
    fs::create_symlink("real/a.INI", dir / "link"); // relative, as users make them
    WriteFileAtomically((dir / "link").string(), "new");
    EXPECT_TRUE(fs::is_symlink(dir / "link"));
    EXPECT_EQ(ReadWholeFile(target), "new");

    const std::string fifo = (dir / "pipe").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_THROW(ReadWholeFile(fifo), EInOutError); // refused, not waited on

    // Under a file-size limit (in a child, which keeps the limit) the write
    // fails like any other and the previous file stays.
    const pid_t child = ::fork();
    if (child == 0) {
        IgnoreFileSizeSignal();
        const struct rlimit small {100, 100};
        ::setrlimit(RLIMIT_FSIZE, &small);
        try {
            WriteFileAtomically(target, std::string(1000, 'x'));
        } catch (const EInOutError& e) {
            ::_exit(e.Message() == "Cannot write \"" + target + "\": File too large" ? 0 : 2);
        }
        ::_exit(3);
    }
    int status = -1;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ReadWholeFile(target), "new");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "real"), fs::directory_iterator()), 1);
    fs::remove_all(dir);
}

// Two threads, many wrap-arounds: every item arrives once, in order, and a
// full queue refuses instead of overwriting.
TEST(SpscQueue, CarriesEveryItemInOrderAcrossThreads)
{
    zw::TSpscQueue<uint32_t, 8> queue;
    for (uint32_t i = 0; i < 8; ++i)
        ASSERT_TRUE(queue.TryPush(i));
    EXPECT_FALSE(queue.TryPush(99));
    uint32_t item = 0;
    for (uint32_t i = 0; i < 8; ++i) {
        ASSERT_TRUE(queue.TryPop(item));
        EXPECT_EQ(item, i);
    }
    EXPECT_FALSE(queue.TryPop(item));

    constexpr uint32_t kCount = 200000;
    std::thread producer([&queue] {
        for (uint32_t i = 1; i <= kCount;)
            if (queue.TryPush(i))
                ++i;
    });
    uint32_t expected = 1;
    while (expected <= kCount) {
        if (queue.TryPop(item)) {
            ASSERT_EQ(item, expected);
            ++expected;
        }
    }
    producer.join();
    EXPECT_TRUE(queue.Empty());
}

// A program in <prefix>/bin with its data in <prefix>/share/zwirbels writes
// to the user's folder even where it could write beside itself (root and
// /usr/bin); a program with its data beside it writes there.
TEST(ProgramFiles, AnInstalledProgramWritesToTheUsersFolder)
{
    const std::filesystem::path prefix = std::filesystem::path(testing::TempDir()) / ("zw-prefix-" + std::to_string(getpid()));
    std::filesystem::create_directories(prefix / "bin");
    std::filesystem::create_directories(prefix / "share/zwirbels");
    std::ofstream(prefix / "share/zwirbels/RuleHelp.txt") << "help";
    setenv("XDG_CONFIG_HOME", (prefix / "config").c_str(), 1);

    zw::SetProgramPath((prefix / "bin").string() + "/");
    EXPECT_EQ(zw::DataFileName("RuleHelp.txt"), (prefix / "share/zwirbels/RuleHelp.txt").string());
    EXPECT_EQ(zw::WriteFolder(), (prefix / "config/zwirbels/").string());

    const std::filesystem::path beside = prefix / "portable";
    std::filesystem::create_directories(beside);
    std::ofstream(beside / "RuleHelp.txt") << "help";
    zw::SetProgramPath(beside.string() + "/");
    EXPECT_EQ(zw::WriteFolder(), beside.string() + "/");
    std::filesystem::remove_all(prefix);
}
