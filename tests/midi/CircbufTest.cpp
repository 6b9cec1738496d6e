#include "common/Exceptions.h"
#include "midi/Circbuf.h"
#include "midi/MidiDriverApi.h"

#include <gtest/gtest.h>

#include <algorithm>

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

} // namespace
} // namespace zw
