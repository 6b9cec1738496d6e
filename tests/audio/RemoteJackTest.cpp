// Two breeders' instruments in processes of their own, played by the engine
// on the JACK server: A, the tests' own instrument, crashes, hangs and puts
// out NaN; B, mda JX10, holds a note. The engine's output, recorded by
// another JACK client, never falls silent and never carries NaN, A starts
// again after each failure, and the audio thread allocates nothing.
#include "audio/AudioHost.h"
#include "audio/RemoteInstrument.h"
#include "support/AllocationCounter.h"
#include "support/AudioThreadMarker.h"
#include "support/JackRecorder.h"
#include "support/MidiTestSupport.h"
#include "support/PrivateJackServer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace zw {
namespace {

using namespace std::chrono_literals;

bool WaitForNotice(TRemoteInstrument& instrument, const std::string& text, std::string& seen)
{
    return WaitUntil(
        [&] {
            for (const std::string& notice : instrument.TakeNotices()) {
                seen += notice + "\n";
                if (notice.find(text) != std::string::npos)
                    return true;
            }
            return false;
        },
        5s);
}

// On a server of its own at 1,024-frame periods: B must answer within a
// quarter of the period, and beside other tests a sanitized host was now and
// then not scheduled within a quarter of 256 frames (1.3 ms), a gap.
TEST(RemoteInstrumentOnJack, ACrashingHangingNanInstrumentLeavesTheOtherSoundingWithoutAGap)
{
    TPrivateJackServer server("zw-remote", 1024);
    ASSERT_TRUE(server.Start()) << server.Log();
    setenv("LV2_PATH", ZW_TEST_LV2_DIR ":/usr/lib/lv2", 1);
    TAudioHost audio(MakeRtAudioOutput());
    TAudioSettings settings;
    settings.System = "jack";
    std::string failure;
    ASSERT_TRUE(audio.TryConfigure(settings, failure, 10s)) << failure;
    const double rate = audio.Engine().SampleRate();

    auto a = std::make_unique<TRemoteInstrument>("urn:zwirbels:test-instrument", rate);
    auto b = std::make_unique<TRemoteInstrument>("http://drobilla.net/plugins/mda/JX10", rate);
    TRemoteInstrument& instrumentA = *a;
    TRemoteInstrument& instrumentB = *b;
    audio.SetInstrument(1, std::move(a));
    audio.SetInstrument(2, std::move(b));
    audio.SetInstrument(3, std::make_unique<TAudioThreadMarker>());
    TJackRecorder recorder("zw-remote-recorder", 30s);
    ASSERT_TRUE(recorder.ConnectFrom(kAudioClientName, 5s));

    const uint8_t noteA[3] = {0x90, 93, 100}, noteB[3] = {0x90, 48, 100};
    auto setFault = [&](uint8_t fault) {
        const uint8_t genes[2] = {fault, 0};
        instrumentA.SetGenome(genes, sizeof genes);
        audio.Engine().Send(1, noteA, 3);
    };
    setFault(0);
    audio.Engine().Send(2, noteB, 3);
    std::this_thread::sleep_for(300ms);
    const size_t from = recorder.Frames();
    ResetCountedAllocations();

    std::string seen;
    for (const auto& [fault, notice] : {std::pair{1, "crashed (SIGSEGV); it starts again."},
                                        std::pair{2, "stopped answering and was ended; it starts again."},
                                        std::pair{4, "put out NaN or infinity"}}) {
        setFault(static_cast<uint8_t>(fault));
        ASSERT_TRUE(WaitForNotice(instrumentA, notice, seen)) << notice << "\nseen:\n" << seen;
        setFault(0);
        ASSERT_TRUE(WaitUntil([&] { return instrumentA.Playing(); }, 1s)) << "A is not back within 1 s after: "
                                                                         << notice;
        std::this_thread::sleep_for(200ms);
    }
    const size_t to = recorder.Frames();
    EXPECT_EQ(CountedAllocations(), 0) << "allocations on the audio thread";
    EXPECT_EQ(instrumentA.Restarts(), 2u) << seen;

    // B alone keeps every 128 frames of the mix audible (a period of NaN
    // would be zeroed by the limiter, a late one silent), and nothing is NaN.
    const std::vector<float> samples = recorder.Samples();
    ASSERT_GT(to, from + size_t(rate / 2)) << "too little was recorded";
    const size_t window = 128;
    size_t gaps = 0, nonFinite = 0;
    for (size_t start = from; start + window <= to; start += window) {
        double sum = 0;
        for (size_t i = start; i < start + window; ++i) {
            nonFinite += !std::isfinite(samples[i]);
            sum += double(samples[i]) * samples[i];
        }
        gaps += std::sqrt(sum / double(window)) < 0.005;
    }
    EXPECT_EQ(nonFinite, 0u);
    EXPECT_EQ(gaps, 0u) << "the mix fell silent in " << gaps << " of " << (to - from) / window
                        << " windows; B was late in " << instrumentB.LatePeriods() << " periods";
}

} // namespace
} // namespace zw
