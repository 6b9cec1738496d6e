// Input on JACK arrives inside the server's process cycle. Every operator new
// of this test program is counted while it runs on the thread that delivers
// the input: after the first delivery (which lets RtMidi size its own message
// buffer), nothing may be allocated there.
#include "midi/MidiCallback.h"
#include "midi/RtMidiBinding.h"
#include "support/JackPeer.h"
#include "support/MidiTestSupport.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <thread>
#include <unistd.h>

namespace {

thread_local bool tDeliveryThread = false;
std::atomic<int> gDeliveryAllocations{0};

void* CountedAllocation(std::size_t size)
{
    if (tDeliveryThread)
        gDeliveryAllocations.fetch_add(1);
    if (void* memory = std::malloc(size == 0 ? 1 : size))
        return memory;
    throw std::bad_alloc();
}

} // namespace

void* operator new(std::size_t size) { return CountedAllocation(size); }
void* operator new[](std::size_t size) { return CountedAllocation(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }

namespace zw {
namespace {

using namespace std::chrono_literals;

// Marks its thread as the delivery thread, then is the program's driver callback.
void MarkingCallback(TMidiHandle handle, uint32_t message, uintptr_t instance, uintptr_t param1,
                     uintptr_t param2) noexcept
{
    tDeliveryThread = true;
    MidiDriverCallback(handle, message, instance, param1, param2);
}

TEST(JackInputRealtime, DeliveryAllocatesNothingAndSplitsSeveralMessages)
{
    ASSERT_TRUE(JackServerAnswers()) << "No JACK server answers; `make test` starts one.";
    auto binding = MakeRtMidiBinding(TMidiSystem::Jack);
    TJackPeer peer("zwrtpeer" + std::to_string(getpid()));

    // A port's parts, as TMidiInput makes them, around the marking callback.
    int inputs = 0;
    TMidiNotifier notifier([&](TMidiNotice notice, uintptr_t) { inputs += notice == TMidiNotice::Input; });
    TCallbackBlock* block = AllocCallbackBlock();
    block->RingBuffer = AllocRingBuffer(64);
    block->NotificationWindow = &notifier;
    TMyMidiHdr sysexBuffer(64);
    sysexBuffer.Header()->dwUser = reinterpret_cast<uintptr_t>(&sysexBuffer);

    uint32_t device = 0;
    for (; device < binding->InGetNumDevs(); ++device) {
        TMidiInCaps caps;
        if (binding->InGetDevCaps(device, caps) == MMSYSERR_NOERROR && caps.szPname == peer.OutPortName())
            break;
    }
    TMidiHandle handle = 0;
    ASSERT_EQ(binding->InOpen(handle, device, &MarkingCallback, reinterpret_cast<uintptr_t>(block), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    ASSERT_EQ(binding->InPrepareHeader(handle, sysexBuffer.Header(), kMidiHdrSize), MMSYSERR_NOERROR);
    ASSERT_EQ(binding->InAddBuffer(handle, sysexBuffer.Header(), kMidiHdrSize), MMSYSERR_NOERROR);
    ASSERT_EQ(binding->InStart(handle), MMSYSERR_NOERROR);
    auto pumpUntil = [&](int count) {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (inputs < count && std::chrono::steady_clock::now() < deadline) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(1ms);
        }
        return inputs == count;
    };

    peer.Send({0xF0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 0xF7}); // RtMidi sizes its buffer
    ASSERT_TRUE(pumpUntil(1));
    gDeliveryAllocations = 0;
    peer.Send({0x90, 60, 100});
    peer.Send({0xF8});                                                   // clock: not stored
    peer.Send({0xB0, 0x63, 0x01, 0x62, 0x05, 0x06, 0x40, 0xB0, 0x26, 0x00}); // an NRPN in one delivery
    peer.Send({0x40, 0x41, 0xC0, 0x07});                                 // begins with data bytes
    ASSERT_TRUE(pumpUntil(1 + 1 + 4 + 1)) << "events: " << inputs;
    EXPECT_EQ(gDeliveryAllocations.load(), 0) << "allocations on the delivery thread";

    const TRingEvent* events = block->RingBuffer->Start;
    const uint32_t expected[] = {0, 0x643C90, 0x0163B0, 0x0562B0, 0x4006B0, 0x0026B0, 0x07C0};
    for (size_t i = 0; i < std::size(expected); ++i)
        EXPECT_EQ(events[i].Message, expected[i]) << "event " << i;

    EXPECT_EQ(binding->InReset(handle), MMSYSERR_NOERROR);
    EXPECT_EQ(binding->InClose(handle), MMSYSERR_NOERROR);
    FreeRingBuffer(block->RingBuffer);
    FreeCallbackBlock(block);
}

} // namespace
} // namespace zw
