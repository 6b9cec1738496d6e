#include "app/IniFile.h"

#include "common/Globals.h"
#include "common/ProgramFiles.h"
#include "common/SafeFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

using namespace zw;
namespace fs = std::filesystem;

namespace {

// A fresh folder per test, removed afterwards.
class TTempFolder {
public:
    TTempFolder()
    {
        char pattern[] = "/tmp/zw_ini_XXXXXX";
        FPath = ::mkdtemp(pattern);
        FPath += '/';
    }
    ~TTempFolder() { fs::remove_all(FPath); }
    const std::string& Path() const { return FPath; }

private:
    std::string FPath;
};

TIniFile FromText(std::string_view text)
{
    TIniFile ini;
    ini.LoadFromText(text);
    return ini;
}

} // namespace

TEST(IniFile, IntegersTakeBlanksSignsAndThreeHexPrefixes)
{
    const std::pair<const char*, std::optional<int>> cases[] = {
        {"42", 42},           {"   42", 42},        {"+7", 7},
        {"-7", -7},           {"0", 0},             {"$3E8", 1000},
        {"0x3E8", 1000},      {"0X3e8", 1000},      {"x10", 16},
        {"X1f", 31},          {"-$10", -16},        {"+0x10", 16},
        {"2147483647", INT32_MAX}, {"-2147483648", INT32_MIN}, {"$7FFFFFFF", INT32_MAX},
        {"2147483648", std::nullopt}, {"$80000000", std::nullopt}, {"99999999999999999999", std::nullopt},
        {"", std::nullopt},   {"   ", std::nullopt}, {"-", std::nullopt},
        {"$", std::nullopt},  {"0x", std::nullopt},  {"12abc", std::nullopt},
        {"1 2", std::nullopt}, {"- 5", std::nullopt}, {"0x-5", std::nullopt},
        {"$G", std::nullopt}, {"1.5", std::nullopt}, {"--1", std::nullopt},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(TIniFile::ParseInteger(text), expected) << "'" << text << "'";
}

TEST(IniFile, IntegersAndBooleansFallBackOnlyWhenMissingOrUnreadable)
{
    const TIniFile ini = FromText("[Settings]\r\n"
                                  "AutoInterval=0x3E8\r\n"
                                  "Bad=twelve\r\n"
                                  "Five=5\r\n"
                                  "Zero=0\r\n"
                                  "Minus=-1\r\n"
                                  "Empty=\r\n");
    EXPECT_EQ(ini.ReadInteger("Settings", "AutoInterval", 700), 1000);
    EXPECT_EQ(ini.ReadInteger("Settings", "Bad", 33), 33);
    EXPECT_EQ(ini.ReadInteger("Settings", "Missing", -4), -4);
    EXPECT_EQ(ini.ReadInteger("Nowhere", "Five", 9), 9);
    EXPECT_TRUE(ini.ReadBool("Settings", "Five", false));
    EXPECT_TRUE(ini.ReadBool("Settings", "Minus", false));
    EXPECT_FALSE(ini.ReadBool("Settings", "Zero", true));
    EXPECT_TRUE(ini.ReadBool("Settings", "Bad", true));
    EXPECT_FALSE(ini.ReadBool("Settings", "Bad", false));
    EXPECT_TRUE(ini.ReadBool("Settings", "Empty", true));
    EXPECT_EQ(ini.ReadString("Settings", "Empty", "x"), "");
}

TEST(IniFile, SectionsAndKeysMatchWithoutCaseAndTheFirstWins)
{
    const TIniFile ini = FromText("Stray=before any section\n"
                                  "  [ settings ]  \n"
                                  "; AutoInterval=1\n"
                                  "  autointerval =  900  \n"
                                  "AUTOINTERVAL=800\n"
                                  "NoEquals\n"
                                  "[Midi]\n"
                                  "MidiOut=  Synth: Port 1  \n"
                                  "[SETTINGS]\n"
                                  "MutationRange=7\n");
    EXPECT_TRUE(ini.SectionExists("Settings"));
    EXPECT_TRUE(ini.SectionExists("MIDI"));
    EXPECT_FALSE(ini.SectionExists("Position"));
    EXPECT_EQ(ini.ReadInteger("Settings", "AutoInterval", 0), 900);
    EXPECT_EQ(ini.ReadInteger("sEtTiNgS", "autoINTERVAL", 0), 900);
    EXPECT_EQ(ini.ReadString("midi", "midiout", ""), "Synth: Port 1");
    // Only the first of two equal sections counts; keys never leak across sections.
    EXPECT_FALSE(ini.ValueExists("Settings", "MutationRange"));
    EXPECT_FALSE(ini.ValueExists("Midi", "AutoInterval"));
    EXPECT_FALSE(ini.ValueExists("Settings", "NoEquals"));
    EXPECT_FALSE(ini.ValueExists("Settings", "Stray"));

    const TIniFile marked = FromText("\xEF\xBB\xBF[Position]\r\nLeft=3\r\n");
    EXPECT_EQ(marked.ReadInteger("Position", "Left", 1), 3);
}

TEST(IniFile, StringsAreCutAt2047Characters)
{
    const std::string exact(2047, 'a');
    const std::string longer = std::string(2047, 'b') + "cdef";
    const TIniFile ini = FromText("[Midi]\nExact=" + exact + "\nLonger=" + longer + "\n");
    EXPECT_EQ(ini.ReadString("Midi", "Exact", ""), exact);
    EXPECT_EQ(ini.ReadString("Midi", "Longer", ""), std::string(2047, 'b'));
}

TEST(IniFile, WhatIsWrittenReadsBackTheSameAtEveryLimit)
{
    TTempFolder folder;
    const std::string name = folder.Path() + "Limit.INI";
    TIniFile ini;
    // A value holding "=" (a path, a device name) stays whole: lines split at their first "=".
    ini.WriteString("Synth", "SoundFont", "/sf/a=b.sf2");
    ini.WriteString("Midi", "MidiOut", std::string(TIniFile::kMaxStringLength, 'x'));
    EXPECT_THROW(ini.WriteString("Midi", "MidiIn", std::string(TIniFile::kMaxStringLength + 1, 'x')), Exception);
    // Up to the size a load takes, and not a byte more.
    const std::string head = ini.SaveToText() + ";";
    ini.LoadFromText(head + std::string(TIniFile::kMaxFileSize - head.size() - 2, 'p'));
    ASSERT_EQ(ini.SaveToText().size(), TIniFile::kMaxFileSize);
    ini.Save(name);
    const TIniFile read = TIniFile::Load(name);
    EXPECT_EQ(read.ReadString("Synth", "SoundFont", ""), "/sf/a=b.sf2");
    EXPECT_EQ(read.ReadString("Midi", "MidiOut", ""), std::string(TIniFile::kMaxStringLength, 'x'));
    ini.WriteInteger("Settings", "Left", 1);
    EXPECT_THROW(ini.Save(name), EIniWriteError);
    EXPECT_EQ(ReadWholeFile(name), read.SaveToText()) << "the previous file stays";
}

TEST(IniFile, RewritingKeepsUnknownLinesInPlaceAndAddsKeysInOrder)
{
    TIniFile ini = FromText("; my settings\n"
                            "[Position]\n"
                            "Custom=keep me\n"
                            "left=5\n"
                            "\n"
                            "; about the next section\n"
                            "[Other]\n"
                            "Anything=goes\n");
    ini.WriteInteger("POSITION", "Left", 10);
    ini.WriteInteger("Position", "Top", 20);
    ini.WriteInteger("Position", "Width", 541);
    ini.WriteString("Midi", "MidiIn", "");
    ini.WriteBool("Midi", "Flag", true);
    EXPECT_EQ(ini.SaveToText(), "; my settings\r\n"
                                "[Position]\r\n"
                                "Custom=keep me\r\n"
                                "Left=10\r\n"
                                "Top=20\r\n"
                                "Width=541\r\n"
                                "\r\n"
                                "; about the next section\r\n"
                                "[Other]\r\n"
                                "Anything=goes\r\n"
                                "[Midi]\r\n"
                                "MidiIn=\r\n"
                                "Flag=1\r\n");
    // An empty section gets its keys right below the header.
    TIniFile empty = FromText("[Translations]\n[Next]\n");
    empty.WriteString("Translations", "FileName", "/a/b.sub");
    EXPECT_EQ(empty.SaveToText(), "[Translations]\r\nFileName=/a/b.sub\r\n[Next]\r\n");
}

TEST(IniFile, ValuesAndNamesThatWouldBreakTheFileAreRefused)
{
    TIniFile ini = FromText("[Translations]\nFileName=/old.sub\n");
    EXPECT_THROW(ini.WriteString("Translations", "FileName", "/tmp/a\nInjected=1"), Exception);
    EXPECT_THROW(ini.WriteString("Translations", "FileName", "/tmp/a\r"), Exception);
    EXPECT_THROW(ini.WriteString("Trans]lations", "FileName", "x"), Exception);
    EXPECT_THROW(ini.WriteString("Translations", "File=Name", "x"), Exception);
    EXPECT_THROW(ini.WriteString("Translations", "", "x"), Exception);
    EXPECT_EQ(ini.SaveToText(), "[Translations]\r\nFileName=/old.sub\r\n");
}

TEST(IniFile, FilesRoundTripAndAMissingFileIsEmpty)
{
    TTempFolder folder;
    const std::string name = folder.Path() + "sub/dir/Zwirbels.INI";
    const TIniFile missing = TIniFile::Load(name);
    EXPECT_EQ(missing.SaveToText(), "");

    TIniFile ini;
    ini.WriteInteger("Settings", "AutoInterval", 1000);
    ini.Save(name); // creates the missing folders
    EXPECT_EQ(ReadWholeFile(name), "[Settings]\r\nAutoInterval=1000\r\n");
    EXPECT_EQ(TIniFile::Load(name).ReadInteger("Settings", "AutoInterval", 0), 1000);
}

TEST(IniFile, AFileThatCannotBeWrittenOrReadFailsClearly)
{
    TTempFolder folder;
    // A regular file where a folder should be: nobody can write below it.
    const std::string blocker = folder.Path() + "blocker";
    WriteFileAtomically(blocker, "x");
    const std::string name = blocker + "/Zwirbels.INI";
    TIniFile ini;
    ini.WriteBool("Settings", "ChannelActiveA", true);
    try {
        ini.Save(name);
        FAIL() << "saved below a regular file";
    } catch (const EIniWriteError& e) {
        EXPECT_EQ(e.Message(), "Unable to write to " + name + ": Not a directory");
    }

    // A folder in the place of the file cannot be read; that is no empty file.
    fs::create_directory(folder.Path() + "Dir.INI");
    EXPECT_THROW(TIniFile::Load(folder.Path() + "Dir.INI"), EInOutError);

    const std::string huge = folder.Path() + "Huge.INI";
    WriteFileAtomically(huge, std::string(TIniFile::kMaxFileSize + 1, ';'));
    EXPECT_THROW(TIniFile::Load(huge), Exception);
}

TEST(IniFile, WhatIsReadCanBeWrittenBackEvenJustBelowTheLimit)
{
    TTempFolder folder;
    const std::string name = folder.Path() + "Zwirbels.INI";
    for (const std::string end : {"\n", "\r\n"}) {
        // Lines of 9 bytes and their end, up to just below the limit.
        std::string text = "[Extra]" + end;
        while (text.size() + 10 + end.size() < TIniFile::kMaxFileSize)
            text += "K=1234567" + end;
        WriteFileAtomically(name, text);
        std::optional<TIniFile> ini;
        try {
            ini = TIniFile::Load(name);
        } catch (const EInOutError& e) {
            // Refused as read only when its written form is too large; the file stays.
            EXPECT_EQ(end, "\n");
            EXPECT_NE(e.Reason().find("larger than"), std::string::npos) << e.Reason();
            EXPECT_EQ(ReadWholeFile(name), text);
            continue;
        }
        EXPECT_NO_THROW(ini->Save(name)) << "line end of " << end.size() << " bytes";
    }
}

TEST(IniFile, TheFileIsNamedAfterTheProgramBesideItOrInTheConfigFolder)
{
    EXPECT_EQ(IniFileNameFor("/opt/zw/", "Zwirbels.exe", true, "/home/u/.config/zwirbels/"),
              "/opt/zw/Zwirbels.INI");
    EXPECT_EQ(IniFileNameFor("/opt/zw/", "zwirbels", true, "/c/"), "/opt/zw/zwirbels.INI");
    EXPECT_EQ(IniFileNameFor("/opt/zw/", "zw.tar.gz", true, "/c/"), "/opt/zw/zw.INI");
    EXPECT_EQ(IniFileNameFor("/usr/bin/", "zwirbels", false, "/home/u/.config/zwirbels/"),
              "/home/u/.config/zwirbels/zwirbels.INI");

    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    const char* savedConfig = std::getenv("XDG_CONFIG_HOME");
    const std::string savedConfigText = savedConfig ? savedConfig : "";
    ::setenv("XDG_CONFIG_HOME", "/xdg/config", 1);
    EXPECT_EQ(UserConfigFolder(), "/xdg/config/zwirbels/");
    ::setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    ::setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(UserConfigFolder(), "/home/someone/.config/zwirbels/");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(UserConfigFolder(), "/home/someone/.config/zwirbels/");
    ::setenv("HOME", savedHome.c_str(), 1);
    if (savedConfig)
        ::setenv("XDG_CONFIG_HOME", savedConfigText.c_str(), 1);

    // The running program: its own name, in its (writable) folder.
    const std::string savedPath = ProgramPath();
    TTempFolder folder;
    SetProgramPath(folder.Path());
    EXPECT_EQ(IniFileName(), folder.Path() + "test_app_settings.INI");
    SetProgramPath(savedPath);
    EXPECT_EQ(IniFileName(), savedPath + "test_app_settings.INI");
}
