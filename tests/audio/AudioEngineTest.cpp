// The audio engine rendered offline: the limiter's ceiling, and a genome's
// messages reaching the synthesizer's place in the engine as one unit while
// thru messages arrive from the scheduler's thread.
#include "audio/AudioEngine.h"
#include "audio/AudioHost.h"
#include "audio/Limiter.h"
#include "audio/TestTone.h"
#include "midi/MidiOut.h"
#include "midi/MidiScheduler.h"
#include "midi/SynthBinding.h"
#include "support/MidiTestSupport.h"

#include <atomic>
#include <cmath>
#include <mutex>
#include <thread>

namespace zw {
namespace {

using namespace std::chrono_literals;

// A loud sine with a faulty sample now and then, or what it was sent.
class TTestInstrument final : public TAudioInstrument {
public:
    explicit TTestInstrument(float amplitude = 0) : FAmplitude(amplitude) {}
    void Prepare(double, uint32_t) override {}
    void Process(const TMidiEvent* events, size_t count, float* left, float* right, uint32_t frames) noexcept override
    {
        {
            std::lock_guard lock(Mutex); // the test's own; never contended by the engine
            for (size_t i = 0; i < count; ++i)
                Received.emplace_back(events[i].Bytes, events[i].Bytes + events[i].Length);
        }
        Count.fetch_add(count, std::memory_order_relaxed);
        for (uint32_t i = 0; i < frames; ++i, ++FPhase) {
            left[i] = FAmplitude * static_cast<float>(std::sin(0.05 * FPhase));
            right[i] = FPhase % 1000 == 7 ? NAN : -left[i];
        }
    }
    void Silence() noexcept override {}

    std::mutex Mutex;
    std::vector<std::vector<uint8_t>> Received;
    std::atomic<size_t> Count{0};

private:
    float FAmplitude;
    uint64_t FPhase = 0;
};

TEST(AudioEngine, MixesScalesAndNeverGoesBeyondTheCeiling)
{
    TAudioEngine engine;
    engine.SetInstrument(0, std::make_unique<TTestInstrument>(3.0f));
    engine.SetInstrument(5, std::make_unique<TTestInstrument>(3.0f));
    engine.SetGain(2.0f);
    std::vector<float> left(48000), right(48000);
    engine.Render(left.data(), right.data(), 48000);
    float peak = 0;
    for (size_t i = 0; i < left.size(); ++i) {
        ASSERT_TRUE(std::isfinite(left[i]) && std::isfinite(right[i])) << "frame " << i;
        peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
    }
    EXPECT_LE(peak, TLimiter::kCeiling);
    EXPECT_GT(peak, 0.99f * TLimiter::kCeiling);
    EXPECT_NEAR(20 * std::log10(peak), -1.0, 0.05) << "the ceiling is -1 dBFS";

    // A quiet signal passes as it is, once the limiter has recovered.
    engine.SetInstrument(5, nullptr);
    engine.SetGain(0.1f / 3.0f);
    engine.Render(left.data(), right.data(), 48000);
    engine.Render(left.data(), right.data(), 4800);
    peak = 0;
    for (float sample : left)
        peak = std::max(peak, std::fabs(sample));
    EXPECT_NEAR(peak, 0.1f, 0.002f);

    // The limiter's gain comes back to exactly 1 after a peak, so that
    // quiet sound is no longer touched at all.
    TLimiter limiter;
    limiter.Prepare(48000);
    std::fill(left.begin(), left.end(), 2.0f);
    std::fill(right.begin(), right.end(), -2.0f);
    limiter.Process(left.data(), right.data(), 480);
    EXPECT_LT(limiter.Gain(), 0.5f);
    std::fill(left.begin(), left.end(), 0.1f);
    std::fill(right.begin(), right.end(), 0.1f);
    limiter.Process(left.data(), right.data(), 48000);
    EXPECT_EQ(limiter.Gain(), 1.0f);
    EXPECT_EQ(left[47999], 0.1f);
}

// An instrument whose silencing asks for another one, as a producer that
// keeps the queue filled would: each period takes what was queued when it
// began, and returns.
class TRefillingInstrument final : public TAudioInstrument {
public:
    explicit TRefillingInstrument(TAudioEngine& engine) : FEngine(engine) {}
    void Prepare(double, uint32_t) override {}
    void Process(const TMidiEvent*, size_t, float* left, float* right, uint32_t frames) noexcept override
    {
        std::fill(left, left + frames, 0.0f);
        std::fill(right, right + frames, 0.0f);
    }
    void Silence() noexcept override
    {
        if (++Silenced < 100000)
            FEngine.Silence();
    }
    int Silenced = 0;

private:
    TAudioEngine& FEngine;
};

TEST(AudioEngine, APeriodTakesNoMoreCommandsThanWereQueuedWhenItBegan)
{
    TAudioEngine engine;
    auto owned = std::make_unique<TRefillingInstrument>(engine);
    TRefillingInstrument& instrument = *owned;
    engine.SetInstrument(0, std::move(owned));
    float left[64], right[64];
    engine.Render(left, right, 64);
    engine.Silence();
    engine.Render(left, right, 64);
    EXPECT_EQ(instrument.Silenced, 1);
    engine.Render(left, right, 64);
    EXPECT_EQ(instrument.Silenced, 2);
}

// The program's genome path (a batch of long messages through the port)
// against a flood of thru notes from the scheduler's thread: every NRPN
// (controllers 99, 98, 6 and 38) arrives at the instrument unbroken.
TEST(AudioEngine, AGenomesMessagesArriveAsOneUnit)
{
    TScriptedMidiBinding system;
    TSynthBinding synth(system, TSynthOutput::Offline);
    TMidiOutput out(nullptr, &synth);
    out.SetProductName(kSynthDeviceName);
    out.OpenPort();
    auto recorder = std::make_unique<TTestInstrument>();
    TTestInstrument& received = *recorder;
    synth.Audio().SetInstrument(0, std::move(recorder)); // in the synthesizer's place
    TMidiScheduler scheduler;
    scheduler.SetOutput(&synth, out.Handle());
    TMidiScheduler::TThruRoutes routes{};
    routes[0] = 1;
    scheduler.SetThruRoutes(routes);

    // Both senders stay within the engine's queue even when a loaded machine
    // starves the audio thread: a full queue drops whole units by design,
    // which is not what this test is about.
    constexpr int kNrpns = 40;
    std::atomic<size_t> sent{0};
    const auto waitForRoom = [&](size_t more) {
        const auto until = std::chrono::steady_clock::now() + 5s;
        while (sent.load() + more > received.Count.load() + 2000 && std::chrono::steady_clock::now() < until)
            std::this_thread::yield();
        sent += more;
    };
    std::atomic<bool> done{false};
    std::thread thru([&] {
        for (uint32_t i = 0; !done; ++i) {
            waitForRoom(2);
            scheduler.Receive(0x90 | (60 + i % 12) << 8 | 100 << 16);
            scheduler.Receive(0x80 | (60 + i % 12) << 8);
            std::this_thread::yield();
        }
    });
    std::thread audio([&] {
        float left[64], right[64];
        while (!done)
            synth.Render(left, right, 64);
    });
    constexpr int kGenomes = 300;
    for (int genome = 0; genome < kGenomes; ++genome) {
        waitForRoom(4 * kNrpns);
        TMidiOutBatch batch(out);
        for (int n = 0; n < kNrpns; ++n) {
            const uint8_t nrpn[] = {0xB0, 99, 1, 0xB0, 98, static_cast<uint8_t>(n), 0xB0, 6, 64, 0xB0, 38, 0};
            out.SendLong(nrpn, sizeof nrpn);
        }
        std::this_thread::sleep_for(1ms);
    }
    done = true;
    thru.join();
    audio.join();
    float left[64], right[64];
    synth.Render(left, right, 64);

    std::lock_guard lock(received.Mutex);
    const auto& messages = received.Received;
    size_t nrpns = 0;
    size_t notes = 0;
    for (size_t i = 0; i < messages.size(); ++i) {
        if ((messages[i][0] & 0xF0) == 0x90)
            ++notes;
        if (messages[i][0] != 0xB0 || messages[i][1] != 99)
            continue;
        ASSERT_LE(i + 3, messages.size() - 1);
        const uint8_t expected[] = {98, 6, 38};
        for (int k = 0; k < 3; ++k)
            ASSERT_EQ(messages[i + 1 + k], (std::vector<uint8_t>{0xB0, expected[k], messages[i + 1 + k][2]}))
                << "message " << i + 1 + k << " breaks the NRPN at " << i;
        ++nrpns;
    }
    EXPECT_EQ(nrpns, static_cast<size_t>(kGenomes * kNrpns)) << synth.Audio().Engine().Dropped() << " dropped";
    EXPECT_GT(notes, 100u) << "too little thru to interleave with";
}

// An output whose devices open unless they are named "broken"; nothing calls it back.
class TFakeOutput final : public TAudioOutput {
public:
    bool Open(TAudioEngine&, const TAudioSettings& settings, std::string& failure) override
    {
        FDevice = settings.Device;
        failure = "no output device is named \"" + FDevice + "\"";
        return FDevice != "broken";
    }
    bool Start(std::string&) override { return FRunning = true; }
    void Stop() override { FRunning = false; }
    bool Running() const override { return FRunning; }
    std::string Description() const override { return FRunning ? "ALSA (" + FDevice + ")" : ""; }
    std::vector<std::string> Devices(const std::string&) override { return {"good", "broken"}; }

private:
    std::string FDevice;
    std::atomic<bool> FRunning{false};
};

// A choice of output that does not open gives way to the one that played;
// with none playing before, it stays and is tried again.
TEST(AudioHost, AnOutputThatDoesNotOpenGivesWayToTheOneThatPlayed)
{
    const TAudioSettings good{"alsa", "good", 0};
    const TAudioSettings broken{"alsa", "broken", 0};
    std::string failure;
    {
        TAudioHost host(std::make_unique<TFakeOutput>());
        ASSERT_TRUE(host.TryConfigure(good, failure, 5s)) << failure;
        EXPECT_EQ(host.Status().Description, "ALSA (good)");
        EXPECT_FALSE(host.TryConfigure(broken, failure, 5s));
        EXPECT_EQ(failure, "no output device is named \"broken\"");
        EXPECT_EQ(host.Settings(), good);
        EXPECT_TRUE(WaitUntil([&] { return host.Status().Description == "ALSA (good)"; }, 5s));
    }
    TAudioHost silent(std::make_unique<TFakeOutput>());
    EXPECT_FALSE(silent.TryConfigure(broken, failure, 5s));
    EXPECT_EQ(silent.Settings(), broken);
}

// The test tone sounds at once, stays at its level and ends by itself.
TEST(AudioHost, TheTestToneEndsByItself)
{
    TAudioHost host(nullptr);
    host.PlayTestTone();
    constexpr uint32_t kPeriod = 256;
    const auto end = static_cast<uint32_t>(TTestTone::kSeconds * TAudioEngine::kDefaultSampleRate);
    float left[kPeriod], right[kPeriod];
    float soundingPeak = 0, afterPeak = 0, lastPeak = 0;
    for (uint32_t frame = 0; frame < 2 * end; frame += kPeriod) {
        ASSERT_TRUE(host.Render(left, right, kPeriod));
        lastPeak = 0;
        for (uint32_t i = 0; i < kPeriod; ++i) {
            float& peak = frame + i < end ? soundingPeak : afterPeak;
            peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
            lastPeak = std::max({lastPeak, std::fabs(left[i]), std::fabs(right[i])});
        }
    }
    EXPECT_NEAR(soundingPeak, TTestTone::kLevel, 0.01f);
    // After it, no more than the DC blocker's fading tail, then silence.
    EXPECT_LT(afterPeak, 1e-4f);
    EXPECT_EQ(lastPeak, 0.0f);
}

} // namespace
} // namespace zw
