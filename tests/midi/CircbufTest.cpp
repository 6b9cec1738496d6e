#include "common/Exceptions.h"
#include "midi/Circbuf.h"
#include "midi/MidiCallback.h"
#include "midi/MidiDriverApi.h"
#include "support/MidiTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

namespace zw {
namespace {

struct TRingDeleter {
    void operator()(TMidiRingBuffer* buffer) const { FreeRingBuffer(buffer); }
};
using TRing = std::unique_ptr<TMidiRingBuffer, TRingDeleter>;

TEST(LockedBlock, IsZeroFilledAndEmptyForSizeZero)
{
    TLockedHandle handle = nullptr;
    auto* block = static_cast<uint8_t*>(AllocLockedBlock(100, handle));
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(std::all_of(block, block + 100, [](uint8_t b) { return b == 0; }));
    FreeLockedBlock(handle);

    TLockedHandle none = reinterpret_cast<TLockedHandle>(1);
    EXPECT_EQ(AllocLockedBlock(0, none), nullptr);
    EXPECT_EQ(none, nullptr);
    FreeLockedBlock(nullptr); // does nothing
}

TEST(MyMidiHdr, OwnsHeaderAndDataOfTheGivenLength)
{
    TMyMidiHdr empty(0);
    EXPECT_EQ(empty.Header(), nullptr);
    EXPECT_EQ(empty.Data(), nullptr);

    TMyMidiHdr hdr(65535);
    ASSERT_NE(hdr.Header(), nullptr);
    EXPECT_EQ(hdr.Header()->lpData, hdr.Data());
    EXPECT_EQ(hdr.Header()->dwBufferLength, 65535u);
    EXPECT_EQ(hdr.Header()->dwFlags, 0u);
    hdr.Data()[65534] = 0x7F; // the whole length is usable
}

TEST(RingBuffer, CapacityIsLimitedBySixteenBitStorage)
{
    TRing largest(AllocRingBuffer(kMaxRingCapacity));
    ASSERT_NE(largest, nullptr);
    EXPECT_EQ(largest->Capacity, 5461);
    EXPECT_EQ(largest->End - largest->Start, 5461);

    try {
        AllocRingBuffer(kMaxRingCapacity + 1);
        FAIL() << "capacity 5462 was accepted";
    } catch (const ERangeError& e) {
        EXPECT_EQ(e.Message(), "Range check error");
    }
    EXPECT_EQ(AllocRingBuffer(0), nullptr);
}

TEST(RingBuffer, StoresUpToCapacityAndWrapsThePutPosition)
{
    TRing ring(AllocRingBuffer(3));
    ASSERT_NE(ring, nullptr);
    EXPECT_EQ(ring->NextPut, ring->Start);
    EXPECT_EQ(ring->NextGet, ring->Start);
    EXPECT_EQ(ring->EventCount, 0);

    for (uint32_t i = 1; i <= 3; ++i)
        EXPECT_TRUE(PutRingEvent(ring.get(), TRingEvent{i * 10, i, 0}));
    EXPECT_EQ(ring->EventCount, 3);
    EXPECT_EQ(ring->NextPut, ring->Start) << "the put position wraps after the last record";
    EXPECT_EQ(ring->Start[0].Message, 1u);
    EXPECT_EQ(ring->Start[2].Timestamp, 30u);

    EXPECT_FALSE(PutRingEvent(ring.get(), TRingEvent{40, 4, 0}));
    EXPECT_EQ(ring->EventCount, 3);
    EXPECT_EQ(ring->Start[0].Message, 1u) << "a full buffer keeps what it has";
}

// The hand-over from the driver's threads to the GUI thread: notices posted
// from several threads at once each arrive once, in the GUI thread, in the
// order each thread posted them; a header handed back twice arrives once.
TEST(MidiNotifier, HandsEveryNoticeFromSeveralThreadsToTheGuiThreadOnce)
{
    std::vector<const TMidiHdr*> done;
    int inputs = 0;
    int overflows = 0;
    std::vector<uintptr_t> failures;
    const auto gui = std::this_thread::get_id();
    TMidiNotifier notifier([&](TMidiNotice notice, uintptr_t param) {
        EXPECT_EQ(std::this_thread::get_id(), gui);
        switch (notice) {
        case TMidiNotice::Done: done.push_back(reinterpret_cast<const TMidiHdr*>(param)); break;
        case TMidiNotice::Input: ++inputs; break;
        case TMidiNotice::Overflow: ++overflows; break;
        case TMidiNotice::Failed: failures.push_back(param); break;
        }
    });
    std::vector<std::unique_ptr<TMyMidiHdr>> headers;
    for (int i = 0; i < 400; ++i) {
        headers.push_back(std::make_unique<TMyMidiHdr>(3));
        headers.back()->Header()->dwUser = reinterpret_cast<uintptr_t>(headers.back().get());
    }
    auto post = [&](int from, bool input) {
        for (int i = from; i < from + 200; ++i) {
            notifier.PostDone(headers[static_cast<size_t>(i)]->Header(), i == 250 ? MIDIERR_SENDFAILED : 0);
            input ? notifier.PostInput() : notifier.PostOverflow();
        }
    };
    std::thread first(post, 0, true);
    std::thread second(post, 200, false);
    first.join();
    second.join();
    notifier.PostDone(headers[7]->Header(), MMSYSERR_NOERROR);
    DeliverNotices();

    EXPECT_EQ(inputs, 200);
    EXPECT_EQ(overflows, 200);
    EXPECT_EQ(failures, std::vector<uintptr_t>{MIDIERR_SENDFAILED});
    ASSERT_EQ(done.size(), 400u);
    for (int from : {0, 200}) {
        std::vector<const TMidiHdr*> ours;
        std::copy_if(done.begin(), done.end(), std::back_inserter(ours), [&](const TMidiHdr* header) {
            return std::any_of(headers.begin() + from, headers.begin() + from + 200,
                               [&](const auto& owner) { return owner->Header() == header; });
        });
        ASSERT_EQ(ours.size(), 200u);
        for (size_t i = 0; i < ours.size(); ++i)
            EXPECT_EQ(ours[i], headers[static_cast<size_t>(from) + i]->Header());
    }
}

} // namespace
} // namespace zw
