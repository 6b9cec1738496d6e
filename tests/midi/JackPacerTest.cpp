#include "midi/JackPacer.h"

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

    // Two cycles later a fresh window takes a full budget again; a message
    // longer than the budget passes alone in a fresh window.
    server.Advance(2);
    for (size_t i = 0; i < kFitting; ++i)
        ASSERT_EQ(pacer.Pace(3), MMSYSERR_NOERROR) << "message " << i;
    server.Advance(2);
    EXPECT_EQ(pacer.Pace(kJackMaxMessage), MMSYSERR_NOERROR);
    EXPECT_EQ(pacer.Pace(3), MIDIERR_NOTREADY);

    // A running server: the message over budget waits for the next window.
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

} // namespace
} // namespace zw
