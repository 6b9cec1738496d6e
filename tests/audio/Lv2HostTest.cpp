// LV2 instruments hosted offline: mda JX10 and DX10 (mda-lv2), and a made-up
// bundle for what must be refused.
#include "audio/AudioEngine.h"
#include "audio/Lv2Instance.h"
#include "audio/Lv2Instrument.h"
#include "audio/Lv2State.h"
#include "audio/Lv2Worker.h"
#include "audio/Lv2World.h"
#include "support/Lv2Render.h"
#include "support/TempPath.h"

#include <gtest/gtest.h>

#include <lv2/parameters/parameters.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <random>
#include <thread>

using namespace zw;

namespace {

constexpr const char* kJx10 = "http://drobilla.net/plugins/mda/JX10";
constexpr const char* kDx10 = "http://drobilla.net/plugins/mda/DX10";
constexpr double kRate = 48000;
constexpr uint32_t kHeld = 48000;
constexpr uint32_t kReleased = 24000;

TLv2World& World()
{
    static TLv2World world; // reading every bundle takes a while: once per test process
    return world;
}

std::vector<uint8_t> RandomGenome(std::mt19937& random)
{
    std::vector<uint8_t> genome(120);
    for (uint8_t& gene : genome)
        gene = static_cast<uint8_t>(random() & 0xFF);
    return genome;
}

double Db(double level) { return 20 * std::log10(std::max(level, 1e-12)); }

double Rms(const std::vector<float>& samples, size_t from, size_t to)
{
    double sum = 0;
    for (size_t i = from; i < to; ++i)
        sum += double(samples[i]) * samples[i];
    return std::sqrt(sum / double(to - from));
}

std::vector<std::string> Symbols(const std::vector<const TLv2ControlPort*>& ports)
{
    std::vector<std::string> symbols;
    for (const TLv2ControlPort* port : ports)
        symbols.push_back(port->Symbol);
    return symbols;
}

TEST(Lv2Ports, LevelsPitchAndChannelsStayOutOfBreedingAndBytesMapByKind)
{
    TLv2Instance jx10(World(), kJx10, kRate, 256);
    EXPECT_EQ(jx10.Ports().Controls.size(), 24u);
    const auto breedable = Symbols(jx10.Ports().Breedable());
    EXPECT_EQ(breedable.size(), 22u);
    EXPECT_EQ(breedable.front(), "osc_mix");
    EXPECT_EQ(breedable.back(), "noise");
    EXPECT_EQ(std::count(breedable.begin(), breedable.end(), "octave"), 0);
    EXPECT_EQ(std::count(breedable.begin(), breedable.end(), "tuning"), 0);
    TLv2Instance dx10(World(), kDx10, kRate, 256);
    const auto dx10Breedable = Symbols(dx10.Ports().Breedable());
    EXPECT_EQ(dx10Breedable.size(), 14u);
    EXPECT_EQ(std::count(dx10Breedable.begin(), dx10Breedable.end(), "octave"), 0);
    EXPECT_EQ(std::count(dx10Breedable.begin(), dx10Breedable.end(), "finetune"), 0);

    // Names as other instruments write them.
    for (const char* kept : {"midi", "midi_channel", "key_lo", "KeyRangeHigh", "master_vol", "volume", "out_level",
                             "pb_range", "bend_range", "polyphony", "transpose", "master_tune", "gain"})
        EXPECT_TRUE(IsKeptAtDefault("", kept, "")) << kept;
    for (const char* bred : {"o2_unisonfrq", "scale_detune", "osc_tune", "gld_bend", "osc1_gain", "vcf_freq", "cutoff"})
        EXPECT_FALSE(IsKeptAtDefault("", bred, "")) << bred;
    EXPECT_TRUE(IsKeptAtDefault(LV2_PARAMETERS__gain, "amount", "Amount"));

    TLv2ControlPort port;
    port.Kind = TLv2PortKind::Toggled;
    EXPECT_EQ(port.ValueOf(127), 0.0f);
    EXPECT_EQ(port.ValueOf(128), 1.0f);
    port.Kind = TLv2PortKind::Integer;
    port.Maximum = 3;
    EXPECT_EQ(port.ValueOf(63), 0.0f);
    EXPECT_EQ(port.ValueOf(64), 1.0f);
    EXPECT_EQ(port.ValueOf(255), 3.0f);
    port.Kind = TLv2PortKind::Enumeration;
    port.ScalePoints = {1, 5, 9};
    EXPECT_EQ(port.ValueOf(0), 1.0f);
    EXPECT_EQ(port.ValueOf(100), 5.0f);
    EXPECT_EQ(port.ValueOf(255), 9.0f);
    port.Kind = TLv2PortKind::Logarithmic;
    port.Minimum = 20;
    port.Maximum = 20000;
    EXPECT_FLOAT_EQ(port.ValueOf(0), 20.0f);
    EXPECT_NEAR(port.ValueOf(255), 20000.0f, 0.1f);
    EXPECT_NEAR(port.ValueOf(128), 20 * std::pow(1000.0, 128 / 255.0), 0.1);
    port.Kind = TLv2PortKind::Linear;
    EXPECT_FLOAT_EQ(port.ValueOf(255), 20000.0f);
    EXPECT_NEAR(port.ValueOf(51), 20 + 19980 * 0.2, 0.01);
}

// Random genomes through the audio engine, one instance reused: none
// silent, none beyond -1 dBFS, their brightness spread over three octaves.
TEST(Lv2Instrument, RandomGenomesOnJx10SoundAndSpanThreeOctaves)
{
    TAudioEngine engine;
    auto instrument = std::make_unique<TLv2Instrument>(std::make_unique<TLv2Instance>(World(), kJx10, kRate, 256));
    TLv2Instance& jx10 = instrument->Instance();
    engine.SetInstrument(0, std::move(instrument));
    std::mt19937 random(17);
    double lowest = 1e9, highest = 0;
    for (int i = 0; i < 32; ++i) {
        const auto genome = RandomGenome(random);
        const auto sound = RenderLv2Note(engine, 0, jx10, genome, kHeld, kReleased);
        EXPECT_GT(Db(Rms(sound, 0, sound.size())), -60) << "genome " << i << " is silent";
        EXPECT_LE(Db(Peak(sound)), -1.0) << "genome " << i;
        const double centroid = SpectralCentroid(sound, kHeld / 2, 4096, kRate);
        lowest = std::min(lowest, centroid);
        highest = std::max(highest, centroid);
    }
    EXPECT_GE(highest / lowest, 8.0) << "centroids " << lowest << " to " << highest << " Hz";
}

// The engine hands an instrument the messages of a flush (a render of no
// frames: a full queue, the sound dialog's silencing) at frame 0 of no
// period; the instrument plays them at the start of the next one.
TEST(Lv2Instrument, MessagesOfAFlushWithoutFramesArePlayedInTheNextPeriod)
{
    TAudioEngine engine;
    engine.SetInstrument(0, std::make_unique<TLv2Instrument>(std::make_unique<TLv2Instance>(World(), kJx10, kRate, 256)));
    const uint8_t noteOn[] = {0x90, 60, 100};
    ASSERT_TRUE(engine.Send(0, noteOn, sizeof noteOn));
    engine.Render(nullptr, nullptr, 0);
    std::vector<float> left(24000), right(24000);
    engine.Render(left.data(), right.data(), 24000);
    std::vector<float> sound = left;
    sound.insert(sound.end(), right.begin(), right.end());
    EXPECT_GT(Db(Rms(sound, 0, sound.size())), -40) << "the note-on of the flush was lost";
}

// From a bred sound, one gene at a time goes from 0 to 255. (From the
// plug-in's defaults the filter envelope changes nothing: its cutoff is
// already at the top; a bred sound is what users move genes from.)
TEST(Lv2Instrument, EveryBreedablePortOfJx10ChangesTheSound)
{
    TLv2Instance probe(World(), kJx10, kRate, 256);
    const auto ports = probe.Ports().Breedable();
    std::mt19937 random(5);
    RandomGenome(random);
    const std::vector<uint8_t> bred = RandomGenome(random); // the second: its envelopes leave every port room to act
    for (size_t k = 0; k < ports.size(); ++k) {
        std::vector<std::vector<float>> takes;
        for (uint8_t value : {0, 255}) {
            std::vector<uint8_t> genome = bred;
            genome[k] = value;
            TLv2Instance jx10(World(), kJx10, kRate, 256); // fresh each time: the same start for both takes
            takes.push_back(RenderLv2Note(jx10, genome, kHeld, kReleased));
        }
        std::vector<float> difference(takes[0].size());
        for (size_t i = 0; i < difference.size(); ++i)
            difference[i] = takes[0][i] - takes[1][i];
        const double level = std::max(Rms(takes[0], 0, takes[0].size()), Rms(takes[1], 0, takes[1].size()));
        EXPECT_GT(Rms(difference, 0, difference.size()), 0.05 * level) << ports[k]->Symbol;
    }
}

TEST(Lv2Instrument, SavedPresetReadsBackWithTheSameValues)
{
    TLv2Instance jx10(World(), kJx10, kRate, 256);
    std::mt19937 random(4);
    const auto genome = RandomGenome(random);
    ASSERT_TRUE(jx10.SetGenome(genome.data(), genome.size()));
    const std::string bundle = TempPath("bred.lv2");
    jx10.SavePreset(bundle, "Bred sound");

    TLv2UridMap urids;
    TLv2World reader;
    const TLv2PortValues values = ReadLv2PresetValues(reader.Get(), urids, bundle + "/Bred_sound.ttl");
    ASSERT_EQ(values.size(), jx10.Ports().Controls.size());
    for (size_t i = 0; i < jx10.Ports().Controls.size(); ++i) {
        const TLv2ControlPort& port = jx10.Ports().Controls[i];
        ASSERT_EQ(values.count(port.Symbol), 1u) << port.Symbol;
        EXPECT_FLOAT_EQ(values.at(port.Symbol), jx10.SentValues()[i]) << port.Symbol;
    }
    EXPECT_THROW(ReadLv2PresetValues(reader.Get(), urids, bundle + "/none.ttl"), ELv2Error);
}

// A bundle describing an instrument that needs a feature nobody provides;
// listing it loads no code, and it is refused before any is loaded.
TEST(Lv2Instrument, ListsInstrumentsAndRefusesWhatItCannotHost)
{
    const std::string bundle = TempPath("lv2/needy.lv2");
    std::filesystem::create_directories(bundle);
    std::ofstream(bundle + "/manifest.ttl")
        << "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
           "<urn:zw:needy> a lv2:Plugin, lv2:InstrumentPlugin ; lv2:binary <needy.so> ; "
           "lv2:requiredFeature <urn:zw:teleport> ; <http://usefulinc.com/ns/doap#name> \"Needy\" .\n";
    const std::string previous = std::getenv("LV2_PATH") ? std::getenv("LV2_PATH") : "";
    setenv("LV2_PATH", (TempPath("lv2") + ":/usr/lib/lv2").c_str(), 1);
    TLv2World world;
    setenv("LV2_PATH", previous.c_str(), 1);

    std::vector<std::string> uris;
    for (const TLv2PluginInfo& info : world.Instruments())
        uris.push_back(info.Uri);
    for (const char* uri : {kJx10, kDx10, "urn:zw:needy"})
        EXPECT_EQ(std::count(uris.begin(), uris.end(), uri), 1) << uri;
    EXPECT_EQ(std::count(uris.begin(), uris.end(), "http://drobilla.net/plugins/mda/Delay"), 0) << "an effect";

    try {
        TLv2Instance needy(world, "urn:zw:needy", kRate, 256);
        ADD_FAILURE() << "hosted an instrument that needs a missing feature";
    } catch (const ELv2Error& error) {
        EXPECT_EQ(error.Message(), "The LV2 instrument \"Needy\" needs the feature urn:zw:teleport, "
                                   "which this program does not provide.");
    }
    EXPECT_THROW(TLv2Instance(world, "urn:zw:absent", kRate, 256), ELv2Error);
}

// The tests' own instrument gives a port's range in multiples of the sample
// rate, and starts only with atom buffers as large as it asks for.
TEST(Lv2Instrument, ScalesSampleRateRangesAndOffersTheAtomBufferSizeAsked)
{
    const std::string previous = std::getenv("LV2_PATH") ? std::getenv("LV2_PATH") : "";
    setenv("LV2_PATH", ZW_TEST_LV2_DIR ":/usr/lib/lv2", 1);
    TLv2World world;
    setenv("LV2_PATH", previous.c_str(), 1);
    for (const double rate : {44100.0, 96000.0}) {
        TLv2Instance instance(world, "urn:zwirbels:test-instrument", rate, 256); // refused below 40000 bytes
        const TLv2ControlPort& brightness = instance.Ports().Controls.back();
        ASSERT_EQ(brightness.Symbol, "brightness");
        EXPECT_FLOAT_EQ(brightness.Maximum, float(0.25 * rate));
        EXPECT_FLOAT_EQ(brightness.Default, float(0.1 * rate));
        EXPECT_EQ(instance.Ports().AtomBufferSize, 40000u);
    }
}

// The worker as a plug-in sees it: work scheduled in run() is done on
// another thread, and its answer arrives on the audio thread after a run().
TEST(Lv2Worker, DoesScheduledWorkElsewhereAndAnswersAfterARun)
{
    struct TPlugin {
        std::thread::id WorkThread;
        std::vector<int> Answers;
        int EndRuns = 0;
    } plugin;
    LV2_Worker_Interface interface{};
    interface.work = [](LV2_Handle handle, LV2_Worker_Respond_Function respond, LV2_Worker_Respond_Handle responder,
                        uint32_t, const void* data) {
        static_cast<TPlugin*>(handle)->WorkThread = std::this_thread::get_id();
        const int answer = *static_cast<const int*>(data) * 2;
        return respond(responder, sizeof answer, &answer);
    };
    interface.work_response = [](LV2_Handle handle, uint32_t, const void* data) {
        static_cast<TPlugin*>(handle)->Answers.push_back(*static_cast<const int*>(data));
        return LV2_WORKER_SUCCESS;
    };
    interface.end_run = [](LV2_Handle handle) {
        ++static_cast<TPlugin*>(handle)->EndRuns;
        return LV2_WORKER_SUCCESS;
    };
    TLv2Worker worker;
    LV2_Worker_Schedule* schedule = worker.ScheduleFeature();
    const int question = 21;
    ASSERT_EQ(schedule->schedule_work(schedule->handle, sizeof question, &question), LV2_WORKER_SUCCESS); // before start
    worker.Start(&interface, &plugin);
    std::vector<uint8_t> tooLarge(TLv2Worker::kMessageCapacity + 1);
    EXPECT_EQ(schedule->schedule_work(schedule->handle, uint32_t(tooLarge.size()), tooLarge.data()),
              LV2_WORKER_ERR_NO_SPACE);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (plugin.Answers.empty() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        worker.DeliverResponses();
    }
    worker.Stop();
    EXPECT_EQ(plugin.Answers, std::vector<int>{42});
    EXPECT_NE(plugin.WorkThread, std::this_thread::get_id());
    EXPECT_GE(plugin.EndRuns, 1);
}

} // namespace
