// Stops a JACK server under open ports. The server is this test's own, so
// that stopping it disturbs no other test.
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"
#include "midi/RtInDevice.h"
#include "midi/RtMidiBinding.h"
#include "support/JackPeer.h"
#include "support/MidiTestSupport.h"
#include "support/PrivateJackServer.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <unistd.h>

namespace zw {
namespace {

using namespace std::chrono_literals;

template <typename F>
bool PumpUntil(F done, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

TEST(JackServerStop, OpenPortsGiveClearErrorsAndNeitherCrashNorHang)
{
    TPrivateJackServer jackd("zwirbels-stop");
    ASSERT_TRUE(jackd.Start()) << "jackd does not answer:\n" << jackd.Log();

    const auto start = std::chrono::steady_clock::now();
    {
        auto binding = MakeRtMidiBinding(TMidiSystem::Jack);
        auto peer = std::make_unique<TJackPeer>("stoppeer");
        TMidiOutput output(nullptr, binding.get());
        output.SetProductName(QString::fromStdString(peer->InPortName()));
        output.OpenPort();
        TMidiInput input(nullptr, binding.get());
        input.SetProductName(QString::fromStdString(peer->OutPortName()));
        input.OpenPort();
        ASSERT_TRUE(input.IsOpen()) << input.ErrorText(input.Error());
        input.StartInput();
        const uint8_t cc[] = {0xB0, 1, 2};
        output.SendLong(cc, 3);
        ASSERT_TRUE(peer->WaitFor(1)) << "the server carries MIDI before it stops";

        jackd.Terminate();
        // libjack frees every client of a dead server at the next client open,
        // which the binding tries once its own are closed: the peer's go first.
        peer.reset();
        ASSERT_TRUE(PumpUntil([&] { return binding->OutGetNumDevs() == 0; }, 10s))
            << "the binding did not notice that the server stopped";

        const std::string stopped = BindingText(MIDIERR_SERVERSTOPPED);
        ExpectRaises<EmidioutputError>([&] { output.SendLong(cc, 3); }, stopped);
        ExpectRaises<EmidioutputError>([&] { output.SendShort(0x90, 60, 1); }, stopped);
        DeliverNotices();
        EXPECT_EQ(output.OutstandingCount(), 0u) << "the failed sends left nothing behind";
        ExpectRaises<EMidiInputError>([&] { input.StopInput(); }, stopped);
        EXPECT_TRUE(output.ClosePort()) << "closing still releases the port";
        input.ClosePort();
        EXPECT_FALSE(input.IsOpen());

        ExpectRaises<EmidioutputError>([&] { output.OpenPort(); }, stopped);
        input.OpenPort();
        EXPECT_FALSE(input.IsOpen());
        EXPECT_EQ(input.Error(), MIDIERR_SERVERSTOPPED);
        TMidiOutput mapper(nullptr, binding.get());
        mapper.SetDeviceID(MIDI_MAPPER);
        ExpectRaises<EmidioutputError>([&] { mapper.OpenPort(); }, stopped);
        EXPECT_EQ(binding->InGetNumDevs(), 0u);
        QCoreApplication::processEvents();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s) << "stopping the server must not stall the program";
}

// A delivery that its thread is kept from finishing (a loaded machine, a
// server without realtime) still ends before Stop returns: what it writes is
// freed after Stop.
std::atomic<bool> gDeliveryEntered{false};
std::atomic<bool> gDeliveryEnded{false};

void SlowCallback(TMidiHandle, uint32_t, uintptr_t, uintptr_t, uintptr_t) noexcept
{
    gDeliveryEntered = true;
    std::this_thread::sleep_for(300ms);
    gDeliveryEnded = true;
}

TEST(JackInputStop, StopWaitsForADeliveryUnderWayHoweverLongItTakes)
{
    TRtInDevice device(TRtDeviceContext{TRtApi::Jack, nullptr, 1, &SlowCallback, 0});
    device.Start();
    const uint8_t note[] = {0x90, 60, 100};
    std::thread delivering([&] { device.Deliver(note, sizeof note); });
    while (!gDeliveryEntered)
        std::this_thread::yield();
    device.Stop();
    EXPECT_TRUE(gDeliveryEnded) << "Stop returned while the delivery was still under way";
    delivering.join();
}

} // namespace
} // namespace zw
