// The real program against real programs on a JACK server (scripts/run-tests
// starts `jackd -d dummy`): a recording peer, and FluidSynth as the
// synthesizer. The program runs from a folder of its own on a virtual display
// and is driven through its keys, as a user drives it.
#include "support/JackPeer.h"
#include "support/JackRecorder.h"
#include "support/OfflineSynth.h"
#include "support/PrivateJackServer.h"
#include "support/ProgramRun.h"
#include "support/SoundMeasure.h"
#include "worms/BreederFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>

#include <csignal>
#include <unistd.h>

namespace zw {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kGenes = 120;          // genes of a breeder worm, one control change each
constexpr int kOutChannel = 5;       // MIDI output channel of channel A in the settings
constexpr int kMutationRange = 5;    // the settings' mutation range
constexpr int kAutoInterval = 600;   // automation period, ms
// Generous: the sanitized program starts slowly on a busy machine.
constexpr auto kStartTimeout = 60s;
constexpr auto kArrivalTimeout = 20s;

std::string Unique(const std::string& stem) { return stem + std::to_string(getpid()); }

// The settings a user would have left: channel A active and mutating every
// 600 ms, output to `midiOut`. No [Translations]: the rule file is then
// default.sub beside the program.
std::string SettingsNaming(const std::string& midiOut)
{
    std::ostringstream text;
    text << "[Settings]\r\n"
         << "MutationProbability=50\r\nMutationRange=" << kMutationRange << "\r\n"
         << "AutoInterval=" << kAutoInterval << "\r\n"
         << "ChannelActiveA=1\r\nAutoMutateA=1\r\n"
         << "[Midi]\r\n"
         << "MidiOut=" << midiOut << "\r\n"
         << "OutChannelA=" << kOutChannel << "\r\n";
    return text.str();
}

std::string Hex(const TMidiBytes& message)
{
    std::string text;
    char byte[4];
    for (uint8_t b : message) {
        std::snprintf(byte, sizeof byte, "%02X ", b);
        text += byte;
    }
    return text;
}

// One message a line, for a look after a failure.
void WriteMessages(const std::vector<TMidiBytes>& messages, const fs::path& file)
{
    std::ofstream out(file);
    for (const TMidiBytes& m : messages)
        out << Hex(m) << "\n";
}

// The distance from `before` to `after` on a circle of 128 values, -64..63.
int Step7(int before, int after) { return ((after - before + 64) % 128 + 128) % 128 - 64; }

// Checks that `messages[first..first+kGenes)` are one genome: control changes
// on the output channel, controller = gene number in ascending order. Reports
// the first message that is not.
void ExpectGenome(const std::vector<TMidiBytes>& messages, size_t first, const std::string& what)
{
    for (int gene = 0; gene < kGenes; ++gene) {
        const TMidiBytes& m = messages.at(first + static_cast<size_t>(gene));
        const bool good = m.size() == 3 && m[0] == (0xB0 | kOutChannel) && m[1] == gene && m[2] < 0x80;
        if (!good) {
            ADD_FAILURE() << what << ", gene " << gene << ": expected a control change on channel " << kOutChannel
                          << " for controller " << gene << ", got " << Hex(m);
            return;
        }
    }
}

// Each gene of `messages[next..]` a mutation step of the same gene in
// `messages[previous..]`, and the genome as a whole changed.
void ExpectMutationOf(const std::vector<TMidiBytes>& messages, size_t previous, size_t next, const std::string& what)
{
    int changed = 0;
    int tooFar = 0;
    std::string example;
    for (int gene = 0; gene < kGenes; ++gene) {
        const int before = messages.at(previous + static_cast<size_t>(gene))[2];
        const int after = messages.at(next + static_cast<size_t>(gene))[2];
        const int step = Step7(before, after);
        changed += step != 0;
        if (std::abs(step) > kMutationRange && tooFar++ == 0)
            example = "gene " + std::to_string(gene) + " went from " + std::to_string(before) + " to " +
                      std::to_string(after);
    }
    EXPECT_EQ(tooFar, 0) << what << ": " << tooFar << " genes moved further than the mutation range "
                         << kMutationRange << ", e.g. " << example;
    // Half of 120 genes mutate on average; none at all would mean the tick
    // repeated the genome instead of mutating it.
    EXPECT_GT(changed, 0) << what << ": the genome did not change";
}

// What follows the last genome: the all-notes-off and all-sound-off for all
// 16 channels that closing the port sends; the port waits for the server to
// carry them before it goes.
void ExpectSilenceAtClose(const std::vector<TMidiBytes>& tail)
{
    ASSERT_EQ(tail.size(), 32u) << "after the last genome: the 16 channels' silence";
    for (int channel = 0; channel < 16; ++channel) {
        const uint8_t status = static_cast<uint8_t>(0xB0 | channel);
        EXPECT_EQ(tail[static_cast<size_t>(2 * channel)], (TMidiBytes{status, 123, 0}));
        EXPECT_EQ(tail[static_cast<size_t>(2 * channel + 1)], (TMidiBytes{status, 120, 0}));
    }
}

// The settings file the program wrote at close holds what was used in the run,
// and every key of the file.
void ExpectSettingsWritten(const TProgramFolder& folder, const std::string& midiOut)
{
    const TWrittenSettings written(folder.SettingsFile());
    EXPECT_EQ(written.Value("Midi", "MidiOut"), midiOut) << written.Text();
    EXPECT_EQ(written.Value("Midi", "OutChannelA"), std::to_string(kOutChannel)) << written.Text();
    EXPECT_EQ(written.Value("Settings", "ChannelActiveA"), "1") << written.Text();
    EXPECT_EQ(written.Value("Settings", "AutoMutateA"), "1") << written.Text();
    EXPECT_EQ(written.Value("Settings", "AutoInterval"), std::to_string(kAutoInterval)) << written.Text();
    EXPECT_EQ(written.Value("Translations", "FileName"), folder.RuleFile().string()) << written.Text();
    const std::vector<std::pair<std::string, std::string>> added = {
        {"Position", "Left"}, {"Position", "Height"}, {"Settings", "CrossoverProbability"},
        {"Settings", "ChannelActiveD"}, {"Settings", "AutoRandomizeA"}, {"Settings", "AutoMateB"},
        {"Midi", "MidiIn"}, {"Midi", "InChannelD"}, {"Midi", "OutChannelD"}};
    for (const auto& [section, key] : added)
        EXPECT_TRUE(written.Has(section, key)) << "[" << section << "] " << key << " missing:\n" << written.Text();
}

class ProgramOnJack : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(JackServerAnswers())
            << "No JACK server answers. `make test` starts one (scripts/run-tests); by hand start "
               "`jackd --no-realtime -d dummy &` first.";
        Folder = std::make_unique<TProgramFolder>(ZW_E2E_WORK_DIR, ZW_PROGRAM, fs::path(ZW_PROGRAM).parent_path());
        Display = std::make_unique<TVirtualDisplay>((Folder->Path() / "xvfb.log").string());
    }

    void TearDown() override
    {
        Program.reset();
        Display.reset();
        // No folder when SetUp failed: no server answered.
        if (HasFailure() && Folder) {
            Folder->Keep();
            std::cerr << "The run's files (settings, logs) are kept in " << Folder->Path() << "\n";
        }
    }

    void Launch()
    {
        Program = std::make_unique<TRunningProgram>(*Folder, *Display, (Folder->Path() / "zwirbels.log").string());
    }

    void WaitForMainWindow()
    {
        ASSERT_TRUE(Program->WaitForWindow("Zwirbels", kStartTimeout))
            << "the main window did not appear; the program's output:\n" << Program->Log();
    }

    // Starts the program and waits for its window.
    void Start()
    {
        Launch();
        WaitForMainWindow();
    }

    // Alt+X, as the user closes the program; it must end cleanly (under the
    // sanitizers: without a leak or an error report).
    void Close()
    {
        ASSERT_TRUE(Program->PressKeys("alt+x")) << "xdotool could not press Alt+X";
        const auto exit = Program->Process().Wait(30s);
        ASSERT_TRUE(exit.has_value()) << "the program did not end within 30 s of Alt+X; its output:\n"
                                      << Program->Log();
        EXPECT_FALSE(exit->Signalled) << exit->Describe() << "\n" << Program->Log();
        EXPECT_EQ(exit->Code, 0) << exit->Describe() << "\n" << Program->Log();
    }

    std::unique_ptr<TProgramFolder> Folder;
    std::unique_ptr<TVirtualDisplay> Display;
    std::unique_ptr<TRunningProgram> Program;
};

TEST_F(ProgramOnJack, PeerHearsTheNewAudibleWormAtOnceAndThenEveryMutationTick)
{
    TJackPeer peer(Unique("zwe2e"));
    Folder->WriteSettings(SettingsNaming(peer.InPortName()));
    ASSERT_NO_FATAL_FAILURE(Start());

    // The start sends the active channel's audible worm. It is the frozen
    // one, which mutation leaves alone: two ticks pass in silence.
    ASSERT_TRUE(peer.WaitFor(kGenes, kArrivalTimeout)) << "the start sent " << peer.Received().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(2 * kAutoInterval + 200));
    ASSERT_EQ(peer.Received().size(), static_cast<size_t>(kGenes)) << "sound after the start's genome";

    // Right picks the next worm: its genome sounds at once, then every tick
    // mutates it. The start's genome, the new one and three ticks are enough.
    ASSERT_TRUE(Program->PressKeys("Right")) << "xdotool could not press Right";
    constexpr size_t kBlocks = 5;
    ASSERT_TRUE(peer.WaitFor(kBlocks * kGenes, kArrivalTimeout))
        << "the peer heard " << peer.Received().size() << " messages, expected " << kBlocks * kGenes
        << "; the program's output:\n" << Program->Log();

    ASSERT_NO_FATAL_FAILURE(Close());
    const std::vector<TMidiBytes> heard = peer.Received();
    ASSERT_GE(heard.size(), kBlocks * kGenes);
    const size_t genomes = heard.size() / kGenes;
    const size_t silence = heard.size() % kGenes;
    ExpectGenome(heard, 0, "the start's audible worm");
    ExpectGenome(heard, kGenes, "the new audible worm");
    for (size_t block = 2; block < genomes; ++block) {
        const std::string what = "tick " + std::to_string(block);
        ExpectGenome(heard, block * kGenes, what);
        ExpectMutationOf(heard, (block - 1) * kGenes, block * kGenes, what);
    }
    ExpectSilenceAtClose(std::vector<TMidiBytes>(heard.end() - static_cast<std::ptrdiff_t>(silence), heard.end()));
    ExpectSettingsWritten(*Folder, peer.InPortName());
    if (HasFailure())
        WriteMessages(heard, Folder->Path() / "heard.txt");
}

TEST_F(ProgramOnJack, AnOutputMissingAtStartIsReportedAndNotKept)
{
    const std::string missing = Unique("zwnosuch") + ":in";
    Folder->WriteSettings(SettingsNaming(missing));
    Launch();
    // The message about the output comes before the main window shows.
    ASSERT_TRUE(Program->WaitForWindow("zwirbels", kStartTimeout))
        << "no message about the missing output; the program's output:\n" << Program->Log();
    ASSERT_TRUE(Program->PressKeys("Return"));
    ASSERT_NO_FATAL_FAILURE(WaitForMainWindow());
    // Channel A is active and mutating: with no output its genomes are
    // dropped without a word, so no further message stands in the way of
    // a new audible worm, the ticks and the close.
    ASSERT_TRUE(Program->PressKeys("Right"));
    std::this_thread::sleep_for(std::chrono::milliseconds(2 * kAutoInterval));
    ASSERT_NO_FATAL_FAILURE(Close());
    const TWrittenSettings written(Folder->SettingsFile());
    ASSERT_TRUE(written.Has("Midi", "MidiOut")) << written.Text();
    EXPECT_EQ(written.Value("Midi", "MidiOut"), "") << "a device that failed at start is not kept";
    EXPECT_EQ(written.Value("Settings", "ChannelActiveA"), "1") << written.Text();
}

TEST_F(ProgramOnJack, MidiControlsFromAKeyboardBreedAndMoveTheAudibleWorm)
{
    TJackPeer keyboard(Unique("zwe2e-kbd"));
    TJackPeer listener(Unique("zwe2e-out"));
    Folder->WriteSettings("[Settings]\r\nChannelActiveA=1\r\n[Midi]\r\nMidiIn=" + keyboard.OutPortName() +
                          "\r\nMidiOut=" + listener.InPortName() + "\r\nOutChannelA=" + std::to_string(kOutChannel) +
                          "\r\n[Controls]\r\nMutate=cc 0 20\r\nRight=note 0 60\r\n");
    ASSERT_NO_FATAL_FAILURE(Start());
    // The audible worm is sent at start; the keys' genomes follow it.
    ASSERT_TRUE(listener.WaitFor(kGenes, kArrivalTimeout)) << "no genome at start:\n" << Program->Log();
    // The frozen worm one to the right; the audible one there and back, so
    // the listener has heard the genome the keyboard's first control mutates.
    for (const char* key : {"shift+Right", "Right", "Left"})
        ASSERT_TRUE(Program->PressKeys(key)) << key;
    ASSERT_TRUE(listener.WaitFor(3 * kGenes, kArrivalTimeout)) << "heard " << listener.Received().size();

    keyboard.Send({0xB0, 20, 127});
    ASSERT_TRUE(listener.WaitFor(4 * kGenes, kArrivalTimeout))
        << "no genome after the control change; the program's output:\n" << Program->Log();
    keyboard.Send({0x90, 60, 100});
    keyboard.Send({0x80, 60, 0});
    ASSERT_TRUE(listener.WaitFor(5 * kGenes, kArrivalTimeout))
        << "no genome after the note; the program's output:\n" << Program->Log();

    ASSERT_NO_FATAL_FAILURE(Close());
    const std::vector<TMidiBytes> all = listener.Received();
    ASSERT_GE(all.size(), static_cast<size_t>(kGenes));
    ExpectGenome(all, 0, "the genome at start");
    const std::vector<TMidiBytes> heard(all.begin() + kGenes, all.end());
    // After it four genomes, then the silence at close: none of the keyboard's
    // messages went thru.
    ASSERT_EQ(heard.size(), 4 * kGenes + 32u);
    for (size_t block = 0; block < 4; ++block)
        ExpectGenome(heard, block * kGenes, "genome " + std::to_string(block));
    ExpectMutationOf(heard, kGenes, 2 * kGenes, "the control change");
    const auto genome = [&](size_t block) {
        return std::vector<TMidiBytes>(heard.begin() + static_cast<std::ptrdiff_t>(block * kGenes),
                                       heard.begin() + static_cast<std::ptrdiff_t>((block + 1) * kGenes));
    };
    EXPECT_NE(genome(3), genome(2)) << "the note did not change the audible worm";
    EXPECT_EQ(genome(3), genome(0)) << "the note did not move the audible worm to the right";
    ExpectSilenceAtClose(std::vector<TMidiBytes>(heard.end() - 32, heard.end()));
    if (HasFailure())
        WriteMessages(heard, Folder->Path() / "heard.txt");
}

// The control changes FluidSynth's verbose log reports: "cc <channel> <controller> <value>".
std::vector<TMidiBytes> LoggedControlChanges(const std::string& logFile)
{
    std::ifstream log(logFile);
    const std::regex cc(R"(cc\s+(\d+)\s+(\d+)\s+(\d+)\s*$)");
    std::vector<TMidiBytes> changes;
    std::string line;
    while (std::getline(log, line)) {
        std::smatch m;
        if (std::regex_search(line, m, cc))
            changes.push_back({static_cast<uint8_t>(0xB0 | std::stoi(m[1])), static_cast<uint8_t>(std::stoi(m[2])),
                               static_cast<uint8_t>(std::stoi(m[3]))});
    }
    return changes;
}

// True once a JACK MIDI input port named `name` exists, within `timeout`.
bool WaitForJackInput(const std::string& name, std::chrono::milliseconds timeout)
{
    RtMidiOut lister(RtMidi::UNIX_JACK, Unique("zwe2e-list"));
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        for (unsigned i = 0; i < lister.getPortCount(); ++i)
            if (lister.getPortName(i) == name)
                return true;
        std::this_thread::sleep_for(100ms);
    }
    return false;
}

TEST_F(ProgramOnJack, FluidSynthReceivesTheControlChanges)
{
    // FluidSynth with JACK MIDI and audio, printing what it receives. Its
    // shell reads the pipe the test keeps open, so it waits for input.
    const std::string synthName = Unique("zwfluid");
    const std::string synthInput = synthName + ":midi_00";
    TChildProcess synth({"fluidsynth", "-v", "-m", "jack", "-a", "jack", "-o", "midi.jack.id=" + synthName, "-o",
                         "audio.jack.id=" + synthName},
                        TEnvironment(), (Folder->Path() / "fluidsynth.log").string());
    ASSERT_TRUE(WaitForJackInput(synthInput, 20s))
        << "FluidSynth's MIDI input " << synthInput << " did not appear; its output:\n" << FileTail(synth.LogFile());

    Folder->WriteSettings(SettingsNaming(synthInput));
    ASSERT_NO_FATAL_FAILURE(Start());
    // The start's genome first; then a second listener on the program's
    // output records what is sent, to compare with what FluidSynth reports.
    std::vector<TMidiBytes> logged;
    for (auto deadline = std::chrono::steady_clock::now() + 10s;
         logged.size() < static_cast<size_t>(kGenes) && std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(100ms))
        logged = LoggedControlChanges(synth.LogFile());
    ASSERT_EQ(logged.size(), static_cast<size_t>(kGenes)) << "FluidSynth did not get the start's genome alone";
    ExpectGenome(logged, 0, "the start's genome");
    TJackPeer listener(Unique("zwe2e-listen"));
    ASSERT_TRUE(listener.ListenTo("zwirbels:MIDI out")) << "the program's JACK output port was not found";

    ASSERT_TRUE(Program->PressKeys("Right")) << "xdotool could not press Right";
    constexpr size_t kSent = 3 * kGenes; // the new audible worm and two ticks
    ASSERT_TRUE(listener.WaitFor(kSent, kArrivalTimeout)) << "the program sent " << listener.Received().size();
    for (auto deadline = std::chrono::steady_clock::now() + 10s; std::chrono::steady_clock::now() < deadline;) {
        logged = LoggedControlChanges(synth.LogFile());
        if (logged.size() >= kGenes + kSent)
            break;
        std::this_thread::sleep_for(100ms);
    }
    logged.erase(logged.begin(), logged.begin() + kGenes);
    ASSERT_GE(logged.size(), kSent) << "FluidSynth logged only " << logged.size() << " control changes after the "
                                    << "start's:\n" << FileTail(synth.LogFile());
    const std::vector<TMidiBytes> sent = listener.Received();
    ExpectGenome(logged, 0, "FluidSynth's genome after Right");
    for (size_t i = 0; i < kSent; ++i)
        ASSERT_EQ(logged[i], sent.at(i)) << "message " << i << ": FluidSynth got " << Hex(logged[i])
                                         << ", the program sent " << Hex(sent.at(i));

    ASSERT_NO_FATAL_FAILURE(Close());
    ExpectSettingsWritten(*Folder, synthInput);
    synth.CloseInput(); // its shell ends, and FluidSynth with it
    EXPECT_TRUE(synth.Wait(10s).has_value()) << "FluidSynth did not end when its input closed";
}

// Loudness and brightness of a stretch of sound: its RMS, and the RMS of its
// first difference over that (brightness grows with the spectral centroid).
struct TSoundMeasure {
    double Rms = 0;
    double Brightness = 0;
};

TSoundMeasure Measure(const std::vector<float>& sound, size_t from, size_t to)
{
    std::vector<float> difference(to - from - 1);
    for (size_t i = from + 1; i < to; ++i)
        difference[i - from - 1] = sound[i] - sound[i - 1];
    const double rms = Rms(&sound[from], to - from);
    return {rms, Rms(difference.data(), difference.size()) / rms};
}

// F5, two seconds of the audible worm, Right, two seconds of the next one
// (after half a second for its phrase to start).
void AuditionAndNextWorm(TRunningProgram& program, TJackRecorder& recorder, TSoundMeasure& before,
                         TSoundMeasure& after)
{
    ASSERT_TRUE(program.PressKeys("F5"));
    std::this_thread::sleep_for(500ms);
    const size_t first = recorder.Frames();
    std::this_thread::sleep_for(2s);
    ASSERT_TRUE(program.PressKeys("Right"));
    const size_t change = recorder.Frames();
    std::this_thread::sleep_for(2500ms);
    const size_t end = recorder.Frames();
    const std::vector<float> sound = recorder.Samples();
    before = Measure(sound, first, change);
    after = Measure(sound, change + recorder.SampleRate() / 2, end);
}

TEST_F(ProgramOnJack, AuditionOnTheBuiltInSynthesizerSoundsAndANewWormChangesTheSound)
{
    TJackRecorder recorder(Unique("zwe2e-rec"), 60s);
    const fs::path rules = fs::path(ZW_PROGRAM).parent_path() / "synth.sub";
    Folder->WriteSettings("[Settings]\r\nChannelActiveA=1\r\n[Midi]\r\nMidiOut=Zwirbels synthesizer\r\n"
                          "[Synth]\r\nAudioDriver=jack\r\n[Audition]\r\nPeriod=500\r\nLength=400\r\n"
                          "[Translations]\r\nFileName=" + rules.string() + "\r\n");
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(recorder.ConnectFrom("zwirbels-audio", 20s)) << "no synthesizer on JACK:\n" << Program->Log();

    // Four notes of the start's sound, then four of the next worm's.
    TSoundMeasure before;
    TSoundMeasure after;
    ASSERT_NO_FATAL_FAILURE(AuditionAndNextWorm(*Program, recorder, before, after));
    ASSERT_NO_FATAL_FAILURE(Close());
    EXPECT_GT(before.Rms, 1e-3) << "audition is silent";
    EXPECT_GT(after.Rms, 1e-3) << "the new worm is silent";
    // Two stretches of one sound measure within 5 % of each other; the next
    // worm's sound is about 40 % brighter here.
    const double loudness = std::abs(after.Rms - before.Rms) / before.Rms;
    const double brightness = std::abs(after.Brightness - before.Brightness) / before.Brightness;
    EXPECT_GT(std::max(loudness, brightness), 0.15)
        << "the new worm did not change the sound: RMS " << before.Rms << " -> " << after.Rms << ", brightness "
        << before.Brightness << " -> " << after.Brightness;
}

// A first start on a machine with a sound server: F5 alone is heard. Then
// the keys the hint names each change the sound: Right listens to the next
// worm, keypad minus breeds new ones and Right listens to one of them.
TEST_F(ProgramOnJack, AFirstStartIsHeardAtF5AndEachBreedingKeyChangesTheSound)
{
    TJackRecorder recorder(Unique("zwe2e-rec"), 60s);
    ASSERT_NO_FATAL_FAILURE(Start()); // no settings file
    ASSERT_TRUE(recorder.ConnectFrom("zwirbels-audio", 20s)) << "no synthesizer on JACK:\n" << Program->Log();
    // About three audition periods (1 s each), so where the notes fall in
    // the stretch changes little; after a key, the phrase starts anew.
    const auto listen = [&](std::initializer_list<const char*> keys) {
        for (const char* key : keys)
            EXPECT_TRUE(Program->PressKeys(key)) << key;
        std::this_thread::sleep_for(300ms);
        const size_t from = recorder.Frames();
        std::this_thread::sleep_for(3s);
        return std::pair{from, recorder.Frames()};
    };
    const auto f5 = listen({"F5"});
    const auto again = listen({});
    const auto right = listen({"Right"});
    const auto bred = listen({"KP_Subtract", "Right"});
    std::this_thread::sleep_for(100ms);
    ASSERT_NO_FATAL_FAILURE(Close());

    const std::vector<float> sound = recorder.Samples();
    const auto measure = [&](std::pair<size_t, size_t> stretch) {
        return MeasureSound(sound, stretch.first, stretch.second, recorder.SampleRate(), 1);
    };
    const TSoundFigures first = measure(f5);
    EXPECT_GT(first.Rms, 1e-3) << "F5 on a first start is not heard:\n" << Program->Log();
    // Two takes of one sound measure about 0.5 dB apart here; another worm
    // of the synthesizer's rules several dB.
    const double takes = SpectralShapeChange(first, measure(again));
    const double next = SpectralShapeChange(measure(again), measure(right));
    const double newOne = SpectralShapeChange(measure(right), measure(bred));
    const double wanted = std::max(1.5, 3 * takes);
    EXPECT_GT(next, wanted) << "Right did not change the sound; two takes differ by " << takes << " dB";
    EXPECT_GT(newOne, wanted) << "keypad minus and Right did not change the sound; two takes differ by " << takes
                              << " dB";
    EXPECT_GT(measure(bred).Rms, 1e-3) << "a bred worm is silent";
    RecordProperty("take_to_take_db", std::to_string(takes));
    RecordProperty("right_db", std::to_string(next));
    RecordProperty("bred_db", std::to_string(newOne));

    const TWrittenSettings written(Folder->SettingsFile());
    EXPECT_EQ(written.Value("Settings", "ChannelActiveA"), "1") << written.Text();
    EXPECT_EQ(written.Value("Midi", "OutChannelD"), "3") << written.Text();
}

// Breeder A plays an LV2 instrument: audition sounds through it, and the next
// worm's genes, its parameters, change the sound.
TEST_F(ProgramOnJack, AuditionOnAnLv2InstrumentSoundsAndANewWormChangesTheSound)
{
    TJackRecorder recorder(Unique("zwe2e-lv2"), 60s);
    Folder->WriteSettings("[Settings]\r\nChannelActiveA=1\r\n[Midi]\r\nMidiOut=Zwirbels synthesizer\r\n"
                          "[Audio]\r\nSystem=jack\r\n[Audition]\r\nPeriod=500\r\nLength=400\r\n"
                          "[Instruments]\r\nA=http://drobilla.net/plugins/mda/JX10\r\n");
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(recorder.ConnectFrom("zwirbels-audio", 20s)) << "no audio on JACK:\n" << Program->Log();
    std::this_thread::sleep_for(1s); // the instrument is made on a thread of its own

    TSoundMeasure before;
    TSoundMeasure after;
    ASSERT_NO_FATAL_FAILURE(AuditionAndNextWorm(*Program, recorder, before, after));
    ASSERT_NO_FATAL_FAILURE(Close());
    EXPECT_GT(before.Rms, 1e-3) << "audition on the instrument is silent";
    EXPECT_GT(after.Rms, 1e-3) << "the new worm is silent";
    const double loudness = std::abs(after.Rms - before.Rms) / before.Rms;
    const double brightness = std::abs(after.Brightness - before.Brightness) / before.Brightness;
    // JX10's own sound drifts by up to about 20 % between two stretches (its
    // LFO); a new worm's parameters moved it by 80 % and more here.
    EXPECT_GT(std::max(loudness, brightness), 0.4)
        << "the new worm did not change the sound: RMS " << before.Rms << " -> " << after.Rms << ", brightness "
        << before.Brightness << " -> " << after.Brightness;
}

// Shutdown and recovery ---------------------------------------------------------

// Channel A plays audition notes on the output channel: each note sounds for
// almost all of its period, so one is sounding whenever the program is ended.
std::string AuditionSettings(const std::string& midiOut)
{
    return "[Settings]\r\nChannelActiveA=1\r\n[Midi]\r\nMidiOut=" + midiOut + "\r\nOutChannelA=" +
           std::to_string(kOutChannel) + "\r\n[Audition]\r\nPeriod=300\r\nLength=290\r\nPlaying=1\r\n";
}

template <typename F>
bool RunUntilTrue(F done, std::chrono::milliseconds timeout)
{
    for (const auto deadline = std::chrono::steady_clock::now() + timeout; !done();) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

size_t NoteOns(const std::vector<TMidiBytes>& messages)
{
    return static_cast<size_t>(std::count_if(messages.begin(), messages.end(), [](const TMidiBytes& m) {
        return m.size() == 3 && (m[0] & 0xF0) == 0x90 && m[2] > 0;
    }));
}

// Every note-on is followed by its note-off, and the output channel by an All Notes Off.
void ExpectEveryNoteEnded(const std::vector<TMidiBytes>& heard)
{
    std::map<std::pair<int, int>, int> sounding; // (channel, note) -> note-ons not yet ended
    bool allNotesOff = false;
    for (const TMidiBytes& m : heard) {
        if (m.size() != 3)
            continue;
        const int kind = m[0] & 0xF0;
        const std::pair<int, int> key{m[0] & 0x0F, m[1]};
        if (kind == 0x90 && m[2] > 0)
            ++sounding[key];
        else if (kind == 0x80 || kind == 0x90)
            sounding[key] = 0;
        else if (kind == 0xB0 && m[1] == 123 && (m[0] & 0x0F) == kOutChannel)
            allNotesOff = true;
    }
    for (const auto& [key, count] : sounding)
        EXPECT_EQ(count, 0) << "note " << key.second << " on channel " << key.first << " never ended";
    EXPECT_TRUE(allNotesOff) << "no All Notes Off on channel " << kOutChannel;
}

std::string FileText(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Instruments that fail ---------------------------------------------------------

constexpr const char* kTestInstrument = "urn:zwirbels:test-instrument";
constexpr const char* kJx10 = "http://drobilla.net/plugins/mda/JX10";

// Breeder A's worms, gene 0 the test instrument's fault: worm 1 crashes,
// 3 hangs, 5 puts out NaN, 7 crashes once more (the fifth failure within a
// minute); the others play. Gene 1 (an unused port) tells the worms apart.
// Breeder B's worms are one quiet, steady JX10 sound: its defaults with the
// filter almost closed and not opened by the envelope or the velocity, so
// A's sine stands out of the mix, and a long release bridges B's notes.
constexpr uint8_t kFaults[16] = {0, 1, 0, 2, 0, 4, 0, 1};
TBreederGenomes FailingInstrumentBreeders()
{
    std::vector<uint8_t> steady = {255, 94, 64, 77, 82, 128, 60, 153, 0, 0, 0, 230, 227, 230, 186, 0, 128, 255, 181,
                                   207, 166, 0};
    steady.resize(kGenes, 0);
    TBreederGenomes breeders(4, std::vector<TGene>(16, TGene(steady.data(), kGenes)));
    for (int worm = 0; worm < 16; ++worm) {
        std::vector<uint8_t> genes(kGenes, 0);
        genes[0] = kFaults[worm];
        genes[1] = static_cast<uint8_t>(worm);
        breeders[0][static_cast<size_t>(worm)] = TGene(genes.data(), kGenes);
    }
    return breeders;
}

// A is heard in windows of 512 frames; B may not pause for an eighth of a
// period (1,024 frames).
constexpr size_t kWindow = 512;
constexpr size_t kGapWindow = 128;
// A's sine is 0.17 RMS; B alone was 0.014 to 0.07 here.
constexpr double kAHeard = 0.11;
constexpr double kSilent = 3e-4;

double WindowRms(const std::vector<float>& sound, size_t from, size_t length = kWindow)
{
    return Rms(&sound[from], length);
}

// The first window at or after `from` where A is heard, if any.
std::optional<size_t> FirstHeard(const std::vector<float>& sound, size_t from)
{
    for (size_t at = from; at + kWindow <= sound.size(); at += kWindow / 4)
        if (WindowRms(sound, at) > kAHeard)
            return at;
    return std::nullopt;
}

// Waits until the program's log, past its first `from` bytes, holds `text`;
// the log's length then, or nothing when it did not come within `timeout`.
std::optional<size_t> WaitForLog(const fs::path& log, const std::string& text, size_t from,
                                 std::chrono::milliseconds timeout)
{
    for (const auto deadline = std::chrono::steady_clock::now() + timeout;
         std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(50ms)) {
        const std::string all = FileText(log);
        if (all.size() > from && all.find(text, from) != std::string::npos)
            return all.size();
    }
    return std::nullopt;
}

// An environment variable set for a scope, as it was after.
class TScopedEnvironment {
public:
    TScopedEnvironment(const char* name, const std::string& value) : FName(name)
    {
        if (const char* before = std::getenv(name))
            FBefore = before;
        setenv(name, value.c_str(), 1);
    }
    ~TScopedEnvironment()
    {
        if (FBefore)
            setenv(FName, FBefore->c_str(), 1);
        else
            unsetenv(FName);
    }
    TScopedEnvironment(const TScopedEnvironment&) = delete;
    TScopedEnvironment& operator=(const TScopedEnvironment&) = delete;

private:
    const char* FName;
    std::optional<std::string> FBefore;
};

// Breeder A's instrument crashes, hangs and puts out NaN while B's plays on:
// B is never silent, each failure is told on the status line (which the
// program also logs), A plays again within 1 s of a good genome becoming
// audible, and once it has failed five times within a minute it is off, told
// so, and A's genome and notes go to the MIDI output.
TEST_F(ProgramOnJack, AFailingInstrumentSilencesOnlyItsBreederAndComesBack)
{
    // A server of the test's own at 1,024-frame periods: an instrument's host
    // late through two periods counts as hung, and beside other tests a
    // sanitized host was now and then late through two of 256 frames, which
    // spent a failure of the five this test counts on.
    const char* const shared = std::getenv("JACK_DEFAULT_SERVER");
    const TScopedEnvironment sharedServer("JACK_DEFAULT_SERVER", shared ? shared : "");
    TPrivateJackServer server("zwe2e-faults", 1024);
    ASSERT_TRUE(server.Start()) << server.Log();
    std::optional<TScopedEnvironment> lv2Path(std::in_place, "LV2_PATH", ZW_TEST_LV2_DIR ":/usr/lib/lv2");
    TJackRecorder recorder(Unique("zwe2e-faults"), 90s);
    TJackPeer midiOut(Unique("zwe2e-fallback"));
    Folder->WriteSettings("[Settings]\r\nChannelActiveA=1\r\nChannelActiveB=1\r\n[Midi]\r\nMidiOut=" +
                          midiOut.InPortName() + "\r\nOutChannelA=" + std::to_string(kOutChannel) +
                          "\r\n[Audio]\r\nSystem=jack\r\n[Audition]\r\nPeriod=300\r\nLength=250\r\nPlaying=1\r\n"
                          "[Instruments]\r\nA=" + kTestInstrument + "\r\nB=" + kJx10 + "\r\n");
    {
        std::ofstream kept(Folder->Path() / "zwirbels.breeders", std::ios::binary);
        kept << BreederFileText(FailingInstrumentBreeders());
    }
    const fs::path log = Folder->Path() / "zwirbels.log";
    Launch();
    lv2Path.reset();
    ASSERT_NO_FATAL_FAILURE(WaitForMainWindow());
    ASSERT_TRUE(recorder.ConnectFrom("zwirbels-audio", 30s)) << "no audio on JACK:\n" << Program->Log();
    const double rate = recorder.SampleRate();

    // Both play: A's sine, and B alone in the pauses between A's notes.
    const auto bothPlay = [&] {
        const std::vector<float> sound = recorder.Samples();
        const size_t second = static_cast<size_t>(rate);
        if (sound.size() < second + kWindow)
            return false;
        bool heard = false, paused = false;
        for (size_t at = sound.size() - second; at + kWindow <= sound.size(); at += kWindow) {
            const double rms = WindowRms(sound, at);
            heard = heard || rms > kAHeard;
            paused = paused || rms <= kSilent;
        }
        return heard && !paused;
    };
    ASSERT_TRUE(RunUntilTrue(bothPlay, 30000ms)) << "A and B do not both play:\n" << Program->Log();

    const size_t from = recorder.Frames();
    size_t logged = FileText(log).size();
    std::vector<std::pair<std::string, double>> returns; // fault, seconds until A was heard again
    // A crashing host not scheduled within two periods (on a busy machine)
    // is taken for hung, so the crash's second ending may be told either way.
    const std::pair<const char*, const char*> faults[] = {
        {"crash", "This genome made it fail twice: it stays silent until another one is heard."},
        {"hang", "stopped answering and was ended. This genome made it fail twice"},
        {"NaN", "put out NaN or infinity"}};
    for (const auto& [fault, told] : faults) {
        ASSERT_TRUE(Program->PressKeys("Right")); // to the worm that fails
        const std::optional<size_t> after = WaitForLog(log, told, logged, 10s);
        ASSERT_TRUE(after) << fault << ": the status line did not tell \"" << told << "\":\n" << Program->Log();
        logged = *after;
        const size_t pressed = recorder.Frames();
        ASSERT_TRUE(Program->PressKeys("Right")); // to one that plays
        ASSERT_TRUE(RunUntilTrue([&] { return FirstHeard(recorder.Samples(), pressed).has_value(); }, 5000ms))
            << "A did not play again after the " << fault << ":\n" << Program->Log();
        returns.emplace_back(fault, double(*FirstHeard(recorder.Samples(), pressed) - pressed) / rate);
        std::this_thread::sleep_for(300ms);
    }

    // The fifth failure within a minute: A is off, and plays the MIDI output.
    const size_t sent = midiOut.Received().size();
    ASSERT_TRUE(Program->PressKeys("Right"));
    ASSERT_TRUE(WaitForLog(log, "stays off until it is chosen again. Breeder A plays the MIDI output.", logged, 10s))
        << Program->Log();
    const auto onChannelA = [&](auto isWanted) {
        const std::vector<TMidiBytes> heard = midiOut.Received();
        return static_cast<size_t>(std::count_if(heard.begin() + static_cast<std::ptrdiff_t>(sent), heard.end(),
                                                 [&](const TMidiBytes& m) {
                                                     return m.size() == 3 && (m[0] & 0x0F) == kOutChannel &&
                                                            isWanted(m);
                                                 }));
    };
    const auto isControl = [](const TMidiBytes& m) { return (m[0] & 0xF0) == 0xB0 && m[1] < kGenes; };
    const auto isNote = [](const TMidiBytes& m) { return (m[0] & 0xF0) == 0x90 && m[2] > 0; };
    EXPECT_TRUE(RunUntilTrue([&] { return onChannelA(isControl) >= kGenes && onChannelA(isNote) > 0; }, 5000ms))
        << "A's genome and notes did not go to the MIDI output: " << onChannelA(isControl) << " controls, "
        << onChannelA(isNote) << " notes";
    const size_t to = recorder.Frames();
    ASSERT_NO_FATAL_FAILURE(Close());
    EXPECT_NE(FileText(log).find("\"Zwirbels test instrument\" crashed (SIGSEGV)"), std::string::npos)
        << "no crash was told with its signal:\n" << Program->Log();

    for (const auto& [fault, seconds] : returns) {
        EXPECT_LE(seconds, 1.0) << "A played again " << seconds << " s after a good genome, after the " << fault;
        RecordProperty(std::string("back_after_") + fault + "_ms", std::to_string(std::lround(seconds * 1000)));
    }
    // B is heard throughout, nothing is not finite. (A block of NaN that
    // reached the mix would be zeroed by the limiter: a gap of a period.)
    const std::vector<float> sound = recorder.Samples();
    size_t gaps = 0, nonFinite = 0;
    double quietest = 1;
    for (size_t at = from; at + kGapWindow <= to; at += kGapWindow / 2) {
        const double rms = WindowRms(sound, at, kGapWindow);
        nonFinite += !std::isfinite(rms);
        gaps += rms <= kSilent;
        quietest = std::min(quietest, rms);
    }
    EXPECT_EQ(nonFinite, 0u);
    EXPECT_EQ(gaps, 0u) << "the mix fell silent " << gaps << " times in " << double(to - from) / rate << " s";
    RecordProperty("quietest_window_rms", std::to_string(quietest));
}

TEST_F(ProgramOnJack, SigtermDuringAuditionEndsEveryNoteAndWritesTheFiles)
{
    TJackPeer peer(Unique("zwe2e-term"));
    Folder->WriteSettings(AuditionSettings(peer.InPortName()));
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(RunUntilTrue([&] { return NoteOns(peer.Received()) >= 4; }, kArrivalTimeout))
        << "audition did not reach the peer; the program's output:\n" << Program->Log();

    ASSERT_EQ(kill(Program->Process().Pid(), SIGTERM), 0);
    const auto exit = Program->Process().Wait(30s);
    ASSERT_TRUE(exit.has_value()) << "the program did not end within 30 s of SIGTERM:\n" << Program->Log();
    EXPECT_FALSE(exit->Signalled) << exit->Describe() << "\n" << Program->Log();
    EXPECT_EQ(exit->Code, 0) << exit->Describe() << "\n" << Program->Log();
    std::this_thread::sleep_for(200ms); // the last messages cross the server
    const std::vector<TMidiBytes> heard = peer.Received();
    ExpectEveryNoteEnded(heard);
    EXPECT_TRUE(TWrittenSettings(Folder->SettingsFile()).Has("Position", "Left")) << "the settings were not written";
    EXPECT_TRUE(fs::exists(Folder->Path() / "zwirbels.breeders")) << "the breeders were not written";
    if (HasFailure())
        WriteMessages(heard, Folder->Path() / "heard.txt");
}

TEST_F(ProgramOnJack, KillNine3sAfterABreedingStepKeepsTheStep)
{
    Folder->WriteSettings("[Settings]\r\nChannelActiveA=1\r\n");
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_NO_FATAL_FAILURE(Close());
    const fs::path breeders = Folder->Path() / "zwirbels.breeders";
    const std::string first = FileText(breeders);
    ASSERT_FALSE(first.empty()) << "the breeders were not written at close";

    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(Program->PressKeys("Insert")) << "xdotool could not press Insert"; // breeds channel A anew
    std::this_thread::sleep_for(3s);
    ASSERT_EQ(kill(Program->Process().Pid(), SIGKILL), 0);
    ASSERT_TRUE(Program->Process().Wait(10s).has_value());
    const std::string kept = FileText(breeders);
    ASSERT_FALSE(kept.empty()) << "the breeders file is gone";
    // Kept as the step left them: every worm of A but the frozen one (worm 0)
    // bred anew, the other breeders as they were.
    const TBreederGenomes before = ReadBreederFile(first, 4, 16);
    const TBreederGenomes after = ReadBreederFile(kept, 4, 16);
    EXPECT_EQ(after[0][0], before[0][0]);
    for (size_t w = 1; w < 16; ++w)
        EXPECT_NE(after[0][w], before[0][w]) << "the breeding step before the kill was lost at worm " << w;
    for (size_t b = 1; b < 4; ++b)
        EXPECT_EQ(after[b], before[b]) << b;
}

// Automation to a peer on a server of the test's own, which is killed and
// started again three times: each time the peer hears genomes again within
// 5 s, and the window still closes with Alt+X.
TEST_F(ProgramOnJack, AutomationComesBackAfterEachOfThreeServerRestarts)
{
    const char* const shared = std::getenv("JACK_DEFAULT_SERVER");
    const std::string sharedServer = shared ? shared : "";
    {
        TPrivateJackServer server("zwe2e-restart");
        ASSERT_TRUE(server.Start()) << server.Log();
        const std::string peerName = Unique("zwe2e-back");
        auto peer = std::make_unique<TJackPeer>(peerName);
        Folder->WriteSettings(SettingsNaming(peer->InPortName()));
        ASSERT_NO_FATAL_FAILURE(Start());
        ASSERT_TRUE(Program->PressKeys("Right"));
        ASSERT_TRUE(peer->WaitFor(kGenes, kArrivalTimeout)) << Program->Log();
        for (int restart = 1; restart <= 3; ++restart) {
            // The peer closes while its server still answers: libjack's own
            // thread of a client whose server is killed under it may end this
            // process ("terminate called without an active exception"). The
            // program still has the server killed under it.
            peer.reset();
            server.Kill();
            std::this_thread::sleep_for(1500ms);
            ASSERT_TRUE(server.Start()) << server.Log();
            peer = std::make_unique<TJackPeer>(peerName);
            EXPECT_TRUE(peer->WaitFor(kGenes, 5s))
                << "restart " << restart << ": the peer heard " << peer->Received().size()
                << " messages within 5 s; the program's output:\n" << Program->Log();
            ExpectGenome(peer->Received(), 0, "restart " + std::to_string(restart));
        }
        ASSERT_NO_FATAL_FAILURE(Close());
    }
    setenv("JACK_DEFAULT_SERVER", sharedServer.c_str(), 1);
}

// A server that has hung does not hold the window back, and once it goes on
// the output of the settings opens and hears the start's genome.
TEST_F(ProgramOnJack, AStalledServerDoesNotHoldUpTheStart)
{
    const char* const shared = std::getenv("JACK_DEFAULT_SERVER");
    const std::string sharedServer = shared ? shared : "";
    {
        TPrivateJackServer server("zwe2e-stall");
        ASSERT_TRUE(server.Start()) << server.Log();
        TJackPeer peer(Unique("zwe2e-stall"));
        Folder->WriteSettings(SettingsNaming(peer.InPortName()));
        server.Stall(true);
        Launch();
        const bool shown = Program->WaitForWindow("Zwirbels", kStartTimeout);
        server.Stall(false);
        ASSERT_TRUE(shown) << "no main window while the server stalled; the program's output:\n" << Program->Log();
        EXPECT_TRUE(peer.WaitFor(kGenes, kArrivalTimeout))
            << "the peer heard " << peer.Received().size() << " messages; the program's output:\n" << Program->Log();
        ASSERT_NO_FATAL_FAILURE(Close());
        EXPECT_EQ(TWrittenSettings(Folder->SettingsFile()).Value("Midi", "MidiOut"), peer.InPortName());
    }
    setenv("JACK_DEFAULT_SERVER", sharedServer.c_str(), 1);
}

// The kept breeders a close wrote, and their ratings.
std::pair<TBreederGenomes, TBreederRatings> ReadKept(const TProgramFolder& folder)
{
    std::ifstream in(folder.Path() / "zwirbels.breeders", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return {ReadBreederFile(text, 4, 16), ReadBreederRatings(text, 4, 16)};
}

TEST_F(ProgramOnJack, TwoWormsRatedByTheKeysOutliveBreedingFromTheRatedAndARestart)
{
    Folder->WriteSettings("[Midi]\r\nMidiOut=\r\n");
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_NO_FATAL_FAILURE(Close());
    const TBreederGenomes first = ReadKept(*Folder).first;
    // Worm 3 rated 3 and worm 8 rated 1 (worm 0 is frozen), then keypad *.
    ASSERT_NO_FATAL_FAILURE(Start());
    for (const char* key : {"Right", "Right", "Right", "ctrl+3", "Right", "Right", "Right", "Right", "Right", "ctrl+1",
                            "KP_Multiply"})
        ASSERT_TRUE(Program->PressKeys(key)) << key;
    ASSERT_NO_FATAL_FAILURE(Close());
    const auto bred = ReadKept(*Folder);
    std::vector<uint8_t> rated(16, 0);
    rated[3] = 3;
    rated[8] = 1;
    EXPECT_EQ(bred.second[0], rated);
    int changed = 0;
    for (size_t worm = 0; worm < 16; ++worm) {
        const bool same = bred.first[0][worm] == first[0][worm];
        EXPECT_TRUE(same || (worm != 0 && rated[worm] == 0)) << "worm " << worm << " is rated or frozen";
        changed += !same;
    }
    EXPECT_GE(changed, 12);
    // A restart shows the ratings again and keeps them at its close.
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_NO_FATAL_FAILURE(Close());
    EXPECT_EQ(ReadKept(*Folder), bred);
}

} // namespace
} // namespace zw
