#include "common/Exceptions.h"
#include "common/FileErrors.h"
#include "common/SafeFile.h"
#include "common/TextLines.h"
#include "rules/Substitution.h"

#include "support/TempPath.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace zw;

namespace {

const char* const kDefaultRule = "4(CC) 4(%1) 1(0) 7(%2) 1(0) 7(%3)";

std::string WriteTemp(const std::string& name, const std::string& contents)
{
    const std::string path = TempPath(name);
    std::ofstream(path, std::ios::binary) << contents;
    return path;
}

std::string BoundsMessage(const TSubstitution& table, int index)
{
    try {
        table.CheckIndex(index);
    } catch (const EBounds& e) {
        return e.Message();
    }
    return {};
}

TSubstitution Table120()
{
    TSubstitution table;
    table.SetCount(120);
    for (int i = 0; i < 120; ++i) {
        table.SetRule(i, i % 3 == 0 ? std::string() : " " + std::to_string(i) + "(" + kDefaultRule + ") ");
        table.SetActive(i, i % 7 == 1);
    }
    return table;
}

void ExpectEqualTables(const TSubstitution& a, const TSubstitution& b)
{
    ASSERT_EQ(a.Count(), b.Count());
    for (int i = 0; i < a.Count(); ++i) {
        EXPECT_EQ(a.Active(i), b.Active(i)) << i;
        EXPECT_EQ(a.Rule(i), b.Rule(i)) << i;
    }
}

} // namespace

TEST(Substitution, IndexesAreCheckedAgainstCount)
{
    TSubstitution table;
    EXPECT_EQ(table.Count(), 0);
    EXPECT_EQ(BoundsMessage(table, 0), "TSubstitution : Index ( 0) out of bounds [ 0, -1]");

    table.SetCount(120);
    EXPECT_EQ(BoundsMessage(table, 119), "");
    EXPECT_EQ(BoundsMessage(table, 120), "TSubstitution : Index ( 120) out of bounds [ 0, 119]");
    EXPECT_EQ(BoundsMessage(table, -1), "TSubstitution : Index ( -1) out of bounds [ 0, 119]");
    EXPECT_THROW(table.Rule(120), EBounds);
    EXPECT_THROW(table.Active(-1), EBounds);
    EXPECT_THROW(table.SetActive(120, true), EBounds);
    EXPECT_THROW(table.SetRule(120, "x"), EBounds);
    EXPECT_FALSE(table.Active(119));
    EXPECT_EQ(table.Rule(119), "");
}

TEST(Substitution, ResizingKeepsWhatFitsAndNeverDropsTexts)
{
    TSubstitution table = Table120();
    table.SetCount(130);
    for (int i = 0; i < 120; ++i) {
        EXPECT_EQ(table.Active(i), i % 7 == 1);
        EXPECT_EQ(table.Rule(i), Table120().Rule(i));
    }
    for (int i = 120; i < 130; ++i) {
        EXPECT_FALSE(table.Active(i));
        EXPECT_EQ(table.Rule(i), "");
    }

    table.SetCount(100);
    EXPECT_EQ(table.Count(), 100);
    EXPECT_TRUE(table.Active(99));
    EXPECT_THROW(table.Rule(100), EBounds);
    // The texts beyond the end stay in the list; the flags do not.
    table.SetCount(120);
    EXPECT_EQ(table.Rule(101), Table120().Rule(101));
    EXPECT_FALSE(table.Active(106));

    table.SetCount(-4);
    EXPECT_EQ(table.Count(), 0);
    table.SetCount(TSubstitution::kMaxCount);
    EXPECT_EQ(table.Count(), TSubstitution::kMaxCount);
    try {
        table.SetCount(TSubstitution::kMaxCount + 1);
        FAIL();
    } catch (const EBounds& e) {
        EXPECT_EQ(e.Message(), "TSubstitution : Count ( 65537) out of bounds [ 0, 65536]");
    }
    EXPECT_EQ(table.Count(), TSubstitution::kMaxCount);
}

TEST(SubstitutionFile, WritesOneCountLineThenTextsThenFlags)
{
    TSubstitution table;
    table.SetCount(3);
    table.SetRule(1, kDefaultRule);
    table.SetRule(2, "  8(1)\t");
    table.SetActive(1, true);
    EXPECT_EQ(table.SaveToText(), std::string("3\r\n\r\n") + kDefaultRule + "\r\n  8(1)\t\r\nFalse\r\nTrue\r\nFalse\r\n");

    TSubstitution empty;
    EXPECT_EQ(empty.SaveToText(), "0\r\n");

    // A line break inside a text would shift every later line.
    table.SetRule(0, "4(1)\n4(2)\r");
    EXPECT_EQ(SplitLines(table.SaveToText()).size(), 7U);
    EXPECT_EQ(SplitLines(table.SaveToText())[1], "4(1) 4(2) ");
}

TEST(SubstitutionFile, SaveAndLoadRoundTrip)
{
    const std::string path = TempPath("round-trip.sub");
    const TSubstitution saved = Table120();
    saved.SaveToFile(path);
    const std::string contents = ReadWholeFile(path);
    EXPECT_EQ(SplitLines(contents).size(), 241U);
    EXPECT_EQ(contents.substr(0, 5), "120\r\n");

    TSubstitution loaded;
    loaded.SetCount(5);
    loaded.SetRule(4, "old");
    loaded.LoadFromFile(path);
    ExpectEqualTables(saved, loaded);

    // Saving again over the file replaces it and leaves no temporary file behind.
    TSubstitution small;
    small.SetCount(1);
    small.SaveToFile(path);
    EXPECT_EQ(ReadWholeFile(path), "1\r\n\r\nFalse\r\n");
    int files = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(path).parent_path()))
        if (entry.path().filename().string().rfind("round-trip.sub", 0) == 0)
            ++files;
    EXPECT_EQ(files, 1);
}

TEST(SubstitutionFile, ReaderIsTolerant)
{
    TSubstitution table;
    table.LoadFromText("  5  extra\n");
    EXPECT_EQ(table.Count(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(table.Rule(i), "");
        EXPECT_FALSE(table.Active(i));
    }

    table.LoadFromText("$A\r\n");
    EXPECT_EQ(table.Count(), 10);
    table.LoadFromText("\t+2");
    EXPECT_EQ(table.Count(), 2);
    // Read as empty, and each but the empty line said to be no count (line 1).
    for (const char* notANumber : {"abc", "", "12abc", "$", "$G", "99999999999", "-3"}) {
        const TFileNotes notes = table.LoadFromText(std::string(notANumber) + "\n8(1)\nTrue\n");
        EXPECT_EQ(table.Count(), 0) << notANumber;
        EXPECT_EQ(notes.size(), *notANumber ? 1u : 0u) << notANumber;
        EXPECT_TRUE(notes.empty() || notes[0].Line == 1) << notANumber;
    }

    // Flags: the first word, upper-cased, must be "TRUE".
    const char* flags[] = {"true", "TRUE", "  True  ", "\tTrUe x", "Yes", "1", "", "truee", "True,"};
    const bool expected[] = {true, true, true, true, false, false, false, false, false};
    std::string file = "9\n";
    for (int i = 0; i < 9; ++i)
        file += " rule " + std::to_string(i) + " \n";
    for (const char* flag : flags)
        file += std::string(flag) + "\n";
    // Every flag neither True nor False is named by its line.
    TFileNotes notes = table.LoadFromText(file);
    ASSERT_EQ(notes.size(), 5u);
    EXPECT_EQ(notes[0].Line, 15u);
    EXPECT_EQ(notes[0].Text, "the flag \"Yes\" is neither True nor False; it reads as False");
    EXPECT_EQ(notes[4].Line, 19u);
    ASSERT_EQ(table.Count(), 9);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(table.Active(i), expected[i]) << flags[i];
        EXPECT_EQ(table.Rule(i), " rule " + std::to_string(i) + " ");
    }

    // A short file leaves the remaining texts empty and flags false, and
    // says where it ends.
    notes = table.LoadFromText("3\r\nfirst\r\nsecond");
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].Line, 4u);
    EXPECT_EQ(notes[0].Text, "the file ends; its 3 entries need 7 lines, it holds 3");
    EXPECT_EQ(table.Rule(0), "first");
    EXPECT_EQ(table.Rule(1), "second");
    EXPECT_EQ(table.Rule(2), "");
    EXPECT_FALSE(table.Active(0));

    // Lines past the 2N + 1 are ignored; texts from an earlier table are gone.
    EXPECT_TRUE(table.LoadFromText("1\nonly\nTRUE\nTrue\nextra\n").empty());
    EXPECT_EQ(table.Count(), 1);
    EXPECT_TRUE(table.Active(0));
    table.SetCount(3);
    EXPECT_EQ(table.Rule(1), "");
}

TEST(SubstitutionFile, BadFilesChangeNothing)
{
    TSubstitution table = Table120();
    EXPECT_THROW(table.LoadFromFile(TempPath("missing.sub")), EInOutError);
    ExpectEqualTables(table, Table120());

    const std::string huge = WriteTemp("huge.sub", "2000000000\r\nx\r\n");
    try {
        table.LoadFromFile(huge);
        FAIL() << "a count of two billion was accepted";
    } catch (const EInvalidFile& e) {
        EXPECT_EQ(e.Message(), "Invalid substitution file '" + huge + "': 2000000000 entries, at most 65536 are allowed");
    }
    ExpectEqualTables(table, Table120());

    // Endless or oversized files are not read into memory.
    try {
        table.LoadFromFile("/dev/zero");
        FAIL() << "an endless file was accepted";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.Message(), "Cannot read \"/dev/zero\": not a regular file");
    }
    ExpectEqualTables(table, Table120());
    EXPECT_THROW(table.LoadFromFile(testing::TempDir()), EInOutError);  // a folder

    table.LoadFromText("65536\n");
    EXPECT_EQ(table.Count(), 65536);

    EXPECT_THROW(Table120().SaveToFile(TempPath("no-such-folder/x.sub")), EInOutError);
}
