#include "midi/JackPacer.h"
#include "midi/RtOutDevice.h"

#include <gtest/gtest.h>

#include <atomic>

namespace zw {
namespace {

using namespace std::chrono_literals;

// A server whose cycles the test moves; while running, every read finds the next cycle.
class TFakeServer : public TCycleClock {
public:
    uint64_t Cycles() const override { return Running ? ++FCycle : FCycle.load(); }
    bool Stopped() const override { return IsStopped; }
    void Advance(uint64_t cycles) { FCycle += cycles; }
    uint64_t Now() const { return FCycle; }

    bool Running = false;
    bool IsStopped = false;

private:
    mutable std::atomic<uint64_t> FCycle{10};
};

// With the server frozen, any wait of the pacer ends as a stall (MIDIERR_NOTREADY).
TEST(JackPacer, KeepsTwoCycleWindowsWithinBudget)
{
    constexpr size_t kFitting = kJackBudget / (3 + kJackEventCost);
    TFakeServer server;
    TJackPacer pacer(server, 20ms);
    pacer.Start();
    for (size_t i = 0; i < kFitting; ++i)
        ASSERT_EQ(pacer.Pace(3), MMSYSERR_NOERROR) << "message " << i;
    EXPECT_EQ(pacer.Pace(3), MIDIERR_NOTREADY);

    // Two cycles later the full budget is free again, and the longest message fits.
    server.Advance(2);
    for (size_t i = 0; i < kFitting; ++i)
        ASSERT_EQ(pacer.Pace(3), MMSYSERR_NOERROR) << "message " << i;
    server.Advance(2);
    EXPECT_TRUE(pacer.Fits(kJackBudget));
    EXPECT_FALSE(pacer.Fits(kJackBudget + 1)) << "a caller never writes what would wait";
    EXPECT_EQ(pacer.Pace(kJackMaxMessage), MMSYSERR_NOERROR);
    constexpr uint64_t kLeft = kJackBudget - kJackMaxMessage - kJackEventCost;
    EXPECT_TRUE(pacer.Fits(kLeft));
    EXPECT_FALSE(pacer.Fits(kLeft + 1));
    EXPECT_EQ(pacer.Pace(kJackMaxMessage), MIDIERR_NOTREADY);

    // What was written one cycle ago still counts; two cycles ago, no longer.
    server.Advance(1);
    EXPECT_FALSE(pacer.Fits(kLeft + 1));
    server.Advance(1);
    EXPECT_TRUE(pacer.Fits(kJackBudget));

    // A running server: the message over budget waits for cycles to pass.
    server.Running = true;
    const uint64_t before = server.Now();
    for (size_t i = 0; i <= kFitting; ++i)
        ASSERT_EQ(pacer.Pace(3), MMSYSERR_NOERROR) << "message " << i;
    EXPECT_GE(server.Now(), before + 2);
    const uint64_t flushFrom = server.Now();
    pacer.WaitUntilFlushed();
    EXPECT_GE(server.Now(), flushFrom + 2);

    // A stopped server is not waited for, and that is no stall.
    server.Running = false;
    server.IsStopped = true;
    for (size_t i = 0; i <= 2 * kFitting; ++i)
        ASSERT_EQ(pacer.Pace(3), MMSYSERR_NOERROR) << "message " << i;
}

// Each system refuses up front what it would not carry whole: JACK what
// passes RtMidi's ring buffer, ALSA what a hardware port's 4 KiB buffer takes.
TEST(MidiSystemLimits, EachSystemHasItsOwnLongestMessage)
{
    EXPECT_EQ(RtMaxMessageLength(TRtApi::Jack), kJackMaxMessage);
    EXPECT_LE(RtMaxMessageLength(TRtApi::Alsa), 4096u);
}

// The output's sender retries a refused message, and on ALSA reconnects
// once for it; a close's deadline ends all of that, however much is left.
TEST(MidiSender, RetriesUntilItsTimeAndNothingPastTheClosingDeadline)
{
    using TClock = std::chrono::steady_clock;
    int sends = 0, reconnects = 0;
    const auto refused = [&] { return ++sends > 1000000; };
    const auto reconnect = [&] { ++reconnects; };
    const TClock::time_point start = TClock::now();
    EXPECT_EQ(SendWithRetries(refused, reconnect, start + 20ms, TClock::time_point::max()), MIDIERR_SENDFAILED);
    EXPECT_GE(TClock::now() - start, 20ms);
    EXPECT_GT(sends, 1);
    EXPECT_EQ(reconnects, 1);

    sends = reconnects = 0;
    const TClock::time_point passed = TClock::now() - 1ms;
    for (int message = 0; message < 100; ++message)
        EXPECT_EQ(SendWithRetries(refused, reconnect, passed, passed), MIDIERR_SENDFAILED);
    EXPECT_EQ(sends, 0) << "sent past the close's deadline";
    EXPECT_EQ(reconnects, 0) << "reconnected past the close's deadline";

    const auto accepted = [&] { return ++sends > 0; };
    EXPECT_EQ(SendWithRetries(accepted, reconnect, TClock::now(), TClock::time_point::max()), MMSYSERR_NOERROR);
}

} // namespace
} // namespace zw
