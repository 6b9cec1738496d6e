#include "app/MainSettings.h"

#include "common/Globals.h"
#include "common/SafeFile.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace zw;

namespace {

TIniFile FromText(std::string_view text)
{
    TIniFile ini;
    ini.LoadFromText(text);
    return ini;
}

// The file a first start writes when its rule file is /opt/zw/default.sub: the
// output is the built-in synthesizer, channel A is active and the breeders
// play on MIDI channels 1-4.
const char* const kFirstStartFile =
    "[Position]\r\n"
    "Left=1\r\n"
    "Top=103\r\n"
    "Width=541\r\n"
    "Height=553\r\n"
    "[Settings]\r\n"
    "CrossoverProbability=33\r\n"
    "MutationProbability=50\r\n"
    "MutationRange=5\r\n"
    "AutoInterval=700\r\n"
    "ChannelActiveA=1\r\nChannelActiveB=0\r\nChannelActiveC=0\r\nChannelActiveD=0\r\n"
    "AutoRandomizeA=0\r\nAutoRandomizeB=0\r\nAutoRandomizeC=0\r\nAutoRandomizeD=0\r\n"
    "AutoMateA=0\r\nAutoMateB=0\r\nAutoMateC=0\r\nAutoMateD=0\r\n"
    "AutoMutateA=0\r\nAutoMutateB=0\r\nAutoMutateC=0\r\nAutoMutateD=0\r\n"
    "AutoBreedFromRatedA=0\r\nAutoBreedFromRatedB=0\r\nAutoBreedFromRatedC=0\r\nAutoBreedFromRatedD=0\r\n"
    "AutoTowardTargetA=0\r\nAutoTowardTargetB=0\r\nAutoTowardTargetC=0\r\nAutoTowardTargetD=0\r\n"
    "[Midi]\r\n"
    "MidiIn=\r\n"
    "MidiOut=Zwirbels synthesizer\r\n"
    "InChannelA=0\r\nInChannelB=0\r\nInChannelC=0\r\nInChannelD=0\r\n"
    "OutChannelA=0\r\nOutChannelB=1\r\nOutChannelC=2\r\nOutChannelD=3\r\n"
    "Thru=1\r\n"
    "[Synth]\r\n"
    "SoundFont=\r\nAudioDriver=\r\nGain=40\r\nProgramA=81\r\nProgramB=90\r\nProgramC=80\r\nProgramD=87\r\n"
    "[Audio]\r\n"
    "System=auto\r\nDevice=\r\nSampleRate=\r\n"
    "[Translations]\r\n"
    "FileName=/opt/zw/default.sub\r\n"
    "[Audition]\r\n"
    "Notes=60\r\nVelocity=100\r\nPeriod=1000\r\nLength=800\r\nRetrigger=1\r\nPlaying=0\r\n"
    "[Breeders]\r\n"
    "AudibleA=0\r\nAudibleB=0\r\nAudibleC=0\r\nAudibleD=0\r\n"
    "FrozenA=0\r\nFrozenB=0\r\nFrozenC=0\r\nFrozenD=0\r\n";

TEST(MainSettings, ControlsAreReadAndWrittenAheadOfTheBreeders)
{
    TMainSettings settings;
    settings.Controls.Bindings = {{"Mutate", {}}, {"Right", {}}, {"MorphKnob", {}}};
    settings.Read(FromText("[Breeders]\nAudibleA=1\n[controls]\nmutate= CC 0 20 \nMorphKnob=cc 17 1\n"));
    EXPECT_EQ(settings.Controls.Bindings[0].second, (TControlBinding{TControlBinding::TKind::ControlChange, 0, 20}));
    EXPECT_EQ(settings.Controls.Unreadable, std::vector<std::string>{"MorphKnob=cc 17 1"});
    // The unreadable knob stays as the file has it; a file from before
    // [Controls] gets it ahead of [Breeders].
    settings.Controls.Bindings[1].second = {TControlBinding::TKind::Note, 16, 127};
    TIniFile ini = FromText("[Breeders]\nAudibleA=1\n");
    settings.Write(ini);
    const std::string text = ini.SaveToText();
    EXPECT_NE(text.find("[Controls]\r\nMutate=cc 0 20\r\nRight=note 16 127\r\n[Breeders]\r\n"), std::string::npos)
        << text;
    EXPECT_FALSE(ini.ValueExists("Controls", "MorphKnob"));
}

} // namespace

TEST(MainSettings, AFirstStartWritesExactlyTheDefaultFile)
{
    TMainSettings settings;
    settings.Read(TIniFile()); // no file: every key keeps its first start's default
    EXPECT_TRUE(settings.FirstStart);
    EXPECT_EQ(settings.FileName, ProgramPath() + "synth.sub");
    settings.FileName = "/opt/zw/default.sub";
    settings.FileNameAssigned = true;
    TIniFile ini;
    settings.Write(ini);
    EXPECT_EQ(ini.SaveToText(), kFirstStartFile);

    // Read back, every value is the first start's again, and the next start is no first start.
    TMainSettings reread;
    reread.Left = reread.Top = reread.Width = reread.Height = 9999;
    reread.CrossoverProbability = reread.MutationProbability = reread.MutationRange = 99;
    reread.AutoInterval = 5000;
    reread.ChannelActive = {true, true, true, true};
    reread.MidiOut = "old";
    reread.OutChannels = {9, 9, 9, 9};
    reread.Read(ini);
    EXPECT_FALSE(reread.FirstStart);
    EXPECT_EQ(reread.Left, 1);
    EXPECT_EQ(reread.Top, 103);
    EXPECT_EQ(reread.Width, 541);
    EXPECT_EQ(reread.Height, 553);
    EXPECT_EQ(reread.CrossoverProbability, 33);
    EXPECT_EQ(reread.MutationProbability, 50);
    EXPECT_EQ(reread.MutationRange, 5);
    EXPECT_EQ(reread.AutoInterval, 700);
    EXPECT_EQ(reread.ChannelActive, (std::array<bool, 4>{true, false, false, false}));
    EXPECT_EQ(reread.MidiOut, "Zwirbels synthesizer");
    EXPECT_EQ(reread.OutChannels, (std::array<int, 4>{0, 1, 2, 3}));
    EXPECT_EQ(reread.Synth.Gain, 40);
    EXPECT_EQ(reread.FileName, "/opt/zw/default.sub");
}

TEST(MainSettings, EveryKeyIsReadIntoItsOwnField)
{
    const TIniFile ini = FromText("[position]\nleft=-20\ntop=30\nwidth=800\nheight=600\n"
                                  "[Settings]\nCrossoverProbability=10\nMutationProbability=20\n"
                                  "MutationRange=30\nAutoInterval=0x3E8\n"
                                  "ChannelActiveB=1\nAutoMutateB=5\nAutoRandomizeA=1\nAutoMateA=1\n"
                                  "AutoMateD=$1\nChannelActiveD=0\nAutoBreedFromRatedC=1\nAutoTowardTargetB=1\n"
                                  "[Midi]\nMidiIn=In Port\nMidiOut=Out Port\n"
                                  "InChannelA=1\nInChannelB=2\nInChannelC=3\nInChannelD=4\n"
                                  "OutChannelA=5\nOutChannelB=6\nOutChannelC=7\nOutChannelD=8\n"
                                  "[synth]\nSoundFont=/sf/my.sf2\nAudioDriver=jack\nGain=150\n"
                                  "ProgramA=0\nProgramB=-3\nProgramC=200\nProgramD=5\n"
                                  "[Translations]\nFileName=/rules/my.sub\n"
                                  "[Breeders]\nAudibleB=7\nFrozenD=99\nFrozenA=-1\n");
    TMainSettings settings;
    settings.Read(ini);
    EXPECT_EQ(settings.Left, -20);
    EXPECT_EQ(settings.Top, 30);
    EXPECT_EQ(settings.Width, 800);
    EXPECT_EQ(settings.Height, 600);
    EXPECT_EQ(settings.CrossoverProbability, 10);
    EXPECT_EQ(settings.MutationProbability, 20);
    EXPECT_EQ(settings.MutationRange, 30);
    EXPECT_EQ(settings.AutoInterval, 1000);
    EXPECT_EQ(settings.ChannelActive, (std::array<bool, 4>{false, true, false, false}));
    EXPECT_EQ(settings.AutoRandomize, (std::array<bool, 4>{true, false, false, false}));
    EXPECT_EQ(settings.AutoMate, (std::array<bool, 4>{true, false, false, true}));
    EXPECT_EQ(settings.AutoMutate, (std::array<bool, 4>{false, true, false, false}));
    EXPECT_EQ(settings.MidiIn, "In Port");
    EXPECT_EQ(settings.MidiOut, "Out Port");
    EXPECT_EQ(settings.InChannels, (std::array<int, 4>{1, 2, 3, 4}));
    EXPECT_EQ(settings.OutChannels, (std::array<int, 4>{5, 6, 7, 8}));
    EXPECT_EQ(settings.Synth.SoundFont, "/sf/my.sf2");
    EXPECT_EQ(settings.Synth.AudioDriver, "jack");
    EXPECT_EQ(settings.Audio, (TAudioSettings{"jack", "", 0})) << "carried over from the old key";
    EXPECT_EQ(settings.Synth.Gain, 100);
    EXPECT_EQ(settings.Synth.Programs, (std::array<int, 4>{0, 0, 127, 5}));
    EXPECT_EQ(settings.FileName, "/rules/my.sub");
    EXPECT_FALSE(settings.FileNameAssigned);
    EXPECT_EQ(settings.Audible, (std::array<int, 4>{0, 7, 0, 0}));
    EXPECT_EQ(settings.Frozen, (std::array<int, 4>{0, 0, 0, 15})) << "confined to the worms there are";

    // Writing normalises the flags to 1 and 0 and the interval to decimal.
    TIniFile out = ini;
    settings.Write(out);
    EXPECT_EQ(out.ReadString("Settings", "AutoMutateB", ""), "1");
    EXPECT_EQ(out.ReadString("Settings", "AutoMateD", ""), "1");
    EXPECT_EQ(out.ReadString("Settings", "AutoInterval", ""), "1000");

    // Into an empty file every value lands under its own key, in order.
    TIniFile fresh;
    settings.FileNameAssigned = true;
    settings.Write(fresh);
    EXPECT_EQ(fresh.SaveToText(),
              "[Position]\r\nLeft=-20\r\nTop=30\r\nWidth=800\r\nHeight=600\r\n"
              "[Settings]\r\nCrossoverProbability=10\r\nMutationProbability=20\r\nMutationRange=30\r\n"
              "AutoInterval=1000\r\n"
              "ChannelActiveA=0\r\nChannelActiveB=1\r\nChannelActiveC=0\r\nChannelActiveD=0\r\n"
              "AutoRandomizeA=1\r\nAutoRandomizeB=0\r\nAutoRandomizeC=0\r\nAutoRandomizeD=0\r\n"
              "AutoMateA=1\r\nAutoMateB=0\r\nAutoMateC=0\r\nAutoMateD=1\r\n"
              "AutoMutateA=0\r\nAutoMutateB=1\r\nAutoMutateC=0\r\nAutoMutateD=0\r\n"
              "AutoBreedFromRatedA=0\r\nAutoBreedFromRatedB=0\r\nAutoBreedFromRatedC=1\r\nAutoBreedFromRatedD=0\r\n"
              "AutoTowardTargetA=0\r\nAutoTowardTargetB=1\r\nAutoTowardTargetC=0\r\nAutoTowardTargetD=0\r\n"
              "[Midi]\r\nMidiIn=In Port\r\nMidiOut=Out Port\r\n"
              "InChannelA=1\r\nInChannelB=2\r\nInChannelC=3\r\nInChannelD=4\r\n"
              "OutChannelA=5\r\nOutChannelB=6\r\nOutChannelC=7\r\nOutChannelD=8\r\nThru=1\r\n"
              "[Synth]\r\nSoundFont=/sf/my.sf2\r\nAudioDriver=jack\r\nGain=100\r\n"
              "ProgramA=0\r\nProgramB=0\r\nProgramC=127\r\nProgramD=5\r\n"
              "[Audio]\r\nSystem=jack\r\nDevice=\r\nSampleRate=\r\n"
              "[Translations]\r\nFileName=/rules/my.sub\r\n"
              "[Audition]\r\nNotes=60\r\nVelocity=100\r\nPeriod=1000\r\nLength=800\r\nRetrigger=1\r\n"
              "Playing=0\r\n"
              "[Breeders]\r\nAudibleA=0\r\nAudibleB=7\r\nAudibleC=0\r\nAudibleD=0\r\n"
              "FrozenA=0\r\nFrozenB=0\r\nFrozenC=0\r\nFrozenD=15\r\n");

    // Once [Audio] names a system, the old key no longer counts; a rate out of range is skipped.
    TIniFile audio;
    audio.LoadFromText("[Synth]\nAudioDriver=jack\n[Audio]\nSystem=ALSA\nDevice=hw:1\nSampleRate=44100\n");
    settings.Read(audio);
    EXPECT_EQ(settings.Audio, (TAudioSettings{"alsa", "hw:1", 44100}));
    audio.LoadFromText("[Audio]\nSystem=oss\nSampleRate=5\n");
    settings.Read(audio);
    EXPECT_EQ(settings.Audio, (TAudioSettings{"alsa", "hw:1", 44100}));
}

// A breeder's instrument: absent from files that never chose one, written
// before [Breeders] once one is chosen.
TEST(MainSettings, InstrumentsAreWrittenOnceChosenBeforeTheBreeders)
{
    TMainSettings settings;
    settings.Read(FromText("[Instruments]\nB=http://drobilla.net/plugins/mda/DX10\n"));
    EXPECT_EQ(settings.Instruments, (std::array<std::string, 4>{"", "http://drobilla.net/plugins/mda/DX10", "", ""}));
    TIniFile none;
    TMainSettings().Write(none);
    EXPECT_FALSE(none.ValueExists("Instruments", "A"));
    TIniFile chosen;
    settings.Write(chosen);
    const std::string text = chosen.SaveToText();
    EXPECT_NE(text.find("[Instruments]\r\nA=\r\nB=http://drobilla.net/plugins/mda/DX10\r\nC=\r\nD=\r\n[Breeders]"),
              std::string::npos)
        << text;
}

TEST(MainSettings, UnreadableValuesKeepTheCurrentState)
{
    TMainSettings settings;
    settings.Left = 40;
    settings.CrossoverProbability = 70;
    settings.AutoInterval = 2000;
    settings.ChannelActive = {false, false, true, false};
    settings.InChannels = {3, 3, 3, 3};
    settings.MidiIn = "current";
    settings.Read(FromText("[Position]\nLeft=forty\n[Settings]\nCrossoverProbability=\n"
                           "AutoInterval=1.5s\nChannelActiveC=yes\n[Midi]\nInChannelB=x\n"));
    EXPECT_EQ(settings.Left, 40);
    EXPECT_EQ(settings.CrossoverProbability, 70);
    EXPECT_EQ(settings.AutoInterval, 2000);
    EXPECT_TRUE(settings.ChannelActive[2]);
    EXPECT_EQ(settings.InChannels, (std::array<int, 4>{3, 3, 3, 3}));
    EXPECT_EQ(settings.MidiIn, "current");
}

TEST(MainSettings, OutOfRangeValuesAreConfinedToTheirRange)
{
    TMainSettings settings;
    settings.Read(FromText("[Position]\nWidth=100\nHeight=-5\n"
                           "[Settings]\nCrossoverProbability=150\nMutationProbability=-3\n"
                           "MutationRange=300\nAutoInterval=50\n"
                           "[Midi]\nInChannelA=16\nInChannelB=-1\nOutChannelC=255\nOutChannelD=$7FFFFFFF\n"));
    EXPECT_EQ(settings.Width, 541);
    EXPECT_EQ(settings.Height, 553);
    EXPECT_EQ(settings.CrossoverProbability, 100);
    EXPECT_EQ(settings.MutationProbability, 0);
    EXPECT_EQ(settings.MutationRange, 255);
    EXPECT_EQ(settings.AutoInterval, 600);
    EXPECT_EQ(settings.InChannels, (std::array<int, 4>{15, 0, 0, 0}));
    // No output named: a first start, whose channel B is 1.
    EXPECT_EQ(settings.OutChannels, (std::array<int, 4>{0, 1, 15, 15}));

    settings.Read(FromText("[Settings]\nAutoInterval=999999\nMutationRange=-1\n"));
    EXPECT_EQ(settings.AutoInterval, 120000);
    EXPECT_EQ(settings.MutationRange, 0);
}

TEST(MainSettings, TheRuleFileNameIsWrittenOnlyWhenAssigned)
{
    TIniFile kept = FromText("[Translations]\nFileName=/by/hand.sub\n");
    TMainSettings settings;
    settings.FileName = "/not/assigned.sub";
    settings.Write(kept);
    EXPECT_EQ(kept.ReadString("Translations", "FileName", ""), "/by/hand.sub");

    TIniFile none;
    settings.Write(none);
    EXPECT_FALSE(none.SectionExists("Translations"));

    settings.FileNameAssigned = true;
    settings.Write(kept);
    EXPECT_EQ(kept.ReadString("Translations", "FileName", ""), "/not/assigned.sub");
}

TEST(MainSettings, FilesKeepUnknownLinesAndUnwritableOnesFailClearly)
{
    char pattern[] = "/tmp/zw_settings_XXXXXX";
    const std::string folder = std::string(::mkdtemp(pattern)) + "/";
    const std::string name = folder + "Zwirbels.INI";
    WriteFileAtomically(name, "; hand notes\r\n[Settings]\r\nTheme=dark\r\nMutationRange=77\r\n"
                              "[Plugins]\r\nLoad=none\r\n[Translations]\r\nFileName=/x.sub\r\n");

    TMainSettings settings;
    settings.ReadFromFile(name);
    EXPECT_EQ(settings.MutationRange, 77);
    EXPECT_EQ(TMainSettings::ReadRuleFileName(name, "/current.sub"), "/x.sub");
    // No file at all is a first start, with the synthesizer's rules; a file
    // that has chosen its output keeps the editor's file.
    EXPECT_EQ(TMainSettings::ReadRuleFileName(folder + "none.INI", "/current.sub"), ProgramPath() + "synth.sub");
    WriteFileAtomically(folder + "chosen.INI", "[Midi]\r\nMidiOut=\r\n");
    EXPECT_EQ(TMainSettings::ReadRuleFileName(folder + "chosen.INI", "/current.sub"), "/current.sub");

    settings.MutationRange = 12;
    settings.WriteToFile(name);
    const TIniFile written = TIniFile::Load(name);
    const std::string text = ReadWholeFile(name);
    EXPECT_EQ(text.rfind("; hand notes\r\n[Settings]\r\nTheme=dark\r\nMutationRange=12\r\n", 0), 0u);
    EXPECT_EQ(written.ReadString("Plugins", "Load", ""), "none");
    EXPECT_EQ(written.ReadString("Translations", "FileName", ""), "/x.sub");
    EXPECT_EQ(written.ReadInteger("Midi", "OutChannelD", -1), 3); // a first start's

    // Writing twice changes nothing more.
    settings.WriteToFile(name);
    EXPECT_EQ(ReadWholeFile(name), text);

    const std::string unwritable = name + "/below/a/file.INI";
    try {
        settings.WriteToFile(unwritable);
        FAIL() << "wrote below a regular file";
    } catch (const EIniWriteError& e) {
        EXPECT_EQ(e.Message(), "Unable to write to " + unwritable + ": Not a directory");
    }
    // A settings file that cannot be read is not replaced either.
    std::filesystem::create_directory(folder + "Dir.INI");
    EXPECT_THROW(settings.WriteToFile(folder + "Dir.INI"), EIniWriteError);
    EXPECT_TRUE(std::filesystem::is_directory(folder + "Dir.INI"));
    std::filesystem::remove_all(folder);
}

TEST(MainSettings, TheMidiSystemIsReadInAnyCaseAndWrittenOnlyWhenChosenOrPresent)
{
    TMainSettings settings;
    settings.Read(FromText("[Midi]\nSystem=JACK\n"));
    EXPECT_EQ(settings.MidiSystem, "jack");
    settings.Read(FromText("[Midi]\nSystem=pipewire\n"));
    EXPECT_EQ(settings.MidiSystem, "jack") << "an unknown system keeps the current one";
    TIniFile chosen;
    settings.Write(chosen);
    EXPECT_EQ(chosen.ReadString("Midi", "System", ""), "jack");

    // The default leaves older files as they were, but replaces a stored choice.
    TMainSettings automatic;
    TIniFile older;
    automatic.Write(older);
    EXPECT_FALSE(older.ValueExists("Midi", "System"));
    automatic.Write(chosen);
    EXPECT_EQ(chosen.ReadString("Midi", "System", ""), "auto");
}

TEST(MainSettings, WhatWasWrittenReadsTheSameAndAValueTheFileCannotHoldIsSkipped)
{
    // Two byte order marks, and bytes that are no UTF-8 in a device name.
    TIniFile written = FromText("\xEF\xBB\xBF\xEF\xBB\xBF[Position]\r\nLeft=7\r\n[Midi]\r\nMidiOut=Synth \xFF\r\n");
    TMainSettings settings;
    settings.Read(written);
    EXPECT_EQ(settings.Left, 7);
    EXPECT_TRUE(settings.Write(written).empty());
    TMainSettings reread;
    reread.Read(FromText(written.SaveToText()));
    EXPECT_EQ(reread, settings);
    EXPECT_EQ(reread.MidiOut, "Synth \xFF");

    settings.FileName = "/rules/line\nbreak.sub";
    settings.FileNameAssigned = true;
    TIniFile skipping;
    EXPECT_EQ(settings.Write(skipping).size(), 1u);
    EXPECT_EQ(skipping.ReadInteger("Midi", "OutChannelD", -1), 0) << "the keys after it are written";
    EXPECT_FALSE(skipping.ValueExists("Translations", "FileName"));
}

// The Sound dialog writes its sections alone: the rest of the file stays as
// it is, and new sections come ahead of [Breeders], which stays last.
TEST(MainSettings, TheSoundSectionsAreWrittenAloneAheadOfTheBreeders)
{
    char pattern[] = "/tmp/zw_sound_XXXXXX";
    const std::string folder = std::string(::mkdtemp(pattern)) + "/";
    const std::string name = folder + "zwirbels.INI";
    WriteFileAtomically(name, "[Settings]\r\nMutationRange=77\r\n[Synth]\r\nProgramA=3\r\n[Breeders]\r\nAudibleA=5\r\n");
    TMainSettings settings; // MutationRange 5, ProgramA 81: neither may reach the file
    settings.Synth.SoundFont = "/sf/new.sf2";
    settings.Synth.Gain = 70;
    settings.Audio = {"jack", "system", 96000};
    settings.Instruments[3] = "urn:zw:organ";
    EXPECT_TRUE(settings.WriteSoundToFile(name).empty());
    EXPECT_EQ(ReadWholeFile(name),
              "[Settings]\r\nMutationRange=77\r\n"
              "[Synth]\r\nProgramA=3\r\nSoundFont=/sf/new.sf2\r\nGain=70\r\n"
              "[Audio]\r\nSystem=jack\r\nDevice=system\r\nSampleRate=96000\r\n"
              "[Instruments]\r\nA=\r\nB=\r\nC=\r\nD=urn:zw:organ\r\n"
              "[Breeders]\r\nAudibleA=5\r\n");
    std::filesystem::remove_all(folder);
}

TEST(MainSettings, GeneLocksAndRangesAreKeptPerBreederBeforeTheBreedersAndBadOnesAreReported)
{
    TIniFile ini = FromText("[Genes]\nLockedA=0-3,17\nRangeA=5:10-20\n"
                            "LockedB=\nRangeC=oops\nLockedD=7-2\n[Breeders]\nAudibleA=2\n");
    TMainSettings settings;
    settings.GeneMasks[2].SetRange(1, 3, 4);
    settings.GeneMasks[3].SetLocked(9, true);
    settings.Read(ini);
    EXPECT_EQ(settings.GeneMasks[0].LockedText(), "0-3,17");
    EXPECT_EQ(settings.GeneMasks[0].RangeText(), "5:10-20");
    EXPECT_TRUE(settings.GeneMasks[1].Empty());
    EXPECT_EQ(settings.GeneMasks[2].RangeText(), "1:3-4") << "kept";
    EXPECT_EQ(settings.GeneMasks[3].LockedText(), "9") << "kept";
    ASSERT_EQ(settings.Unreadable.size(), 2u);
    EXPECT_EQ(settings.Unreadable[0], "The setting RangeC=oops in [Genes] was not taken: \"oops\" is no gene number, "
                                      "run of genes or gene range.");

    settings.GeneMasks[1].SetLocked(119, true);
    settings.Write(ini);
    const std::string text = ini.SaveToText();
    EXPECT_NE(text.find("[Genes]\r\nLockedA=0-3,17\r\nRangeA=5:10-20\r\nLockedB=119\r\nRangeC=1:3-4\r\nLockedD=9\r\n"
                        "RangeB=\r\nLockedC=\r\nRangeD=\r\n"),
              std::string::npos)
        << text;
    TIniFile fresh;
    TMainSettings().Write(fresh);
    EXPECT_FALSE(fresh.SectionExists("Genes")) << "no locks, no keys";
}
