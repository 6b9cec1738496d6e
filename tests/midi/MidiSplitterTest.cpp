#include "midi/MidiSplitter.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace zw {
namespace {

using TBytes = std::vector<uint8_t>;

std::vector<TBytes> Split(const TBytes& stream)
{
    std::vector<TBytes> messages;
    SplitMidiMessages(stream.data(), stream.size(), [&](const uint8_t* message, size_t length) {
        messages.emplace_back(message, message + length);
    });
    return messages;
}

TEST(MidiSplitter, SplitsChannelMessagesByTheirLength)
{
    EXPECT_EQ(Split({0xB0, 7, 100, 0xC1, 5, 0xD2, 64, 0xE3, 0, 64, 0x93, 60, 127}),
              (std::vector<TBytes>{{0xB0, 7, 100}, {0xC1, 5}, {0xD2, 64}, {0xE3, 0, 64}, {0x93, 60, 127}}));
}

TEST(MidiSplitter, RunningStatusRepeatsTheLastChannelStatus)
{
    EXPECT_EQ(Split({0xB0, 1, 2, 3, 4, 5, 6}),
              (std::vector<TBytes>{{0xB0, 1, 2}, {0xB0, 3, 4}, {0xB0, 5, 6}}));
    EXPECT_EQ(Split({0xC0, 1, 2}), (std::vector<TBytes>{{0xC0, 1}, {0xC0, 2}}));
    // System common messages cancel running status.
    EXPECT_EQ(Split({0xB0, 1, 2, 0xF6, 3, 4}), (std::vector<TBytes>{{0xB0, 1, 2}, {0xF6}}));
    EXPECT_EQ(Split({0xF2, 1, 2, 0xF3, 9, 0xF1, 5}), (std::vector<TBytes>{{0xF2, 1, 2}, {0xF3, 9}, {0xF1, 5}}));
}

TEST(MidiSplitter, RealTimeBytesStandAloneWithoutBreakingWhatSurroundsThem)
{
    EXPECT_EQ(Split({0x90, 0xF8, 60, 0xFE, 100}), (std::vector<TBytes>{{0xF8}, {0xFE}, {0x90, 60, 100}}));
    EXPECT_EQ(Split({0xF0, 1, 0xFA, 2, 0xF7}), (std::vector<TBytes>{{0xFA}, {0xF0, 1, 2, 0xF7}}));
    // Undefined real-time codes form no message.
    EXPECT_EQ(Split({0xF9, 0xFD, 0xFF}), (std::vector<TBytes>{{0xFF}}));
}

TEST(MidiSplitter, SystemExclusiveIsSentWholeOrNotAtAll)
{
    EXPECT_EQ(Split({0xF0, 0x43, 0x10, 0x4C, 0xF7}), (std::vector<TBytes>{{0xF0, 0x43, 0x10, 0x4C, 0xF7}}));
    // Cut short by a status byte: the partial message is dropped, the status starts the next.
    EXPECT_EQ(Split({0xF0, 1, 2, 0xB0, 7, 9}), (std::vector<TBytes>{{0xB0, 7, 9}}));
    EXPECT_EQ(Split({0xF0, 1, 0xF0, 2, 0xF7}), (std::vector<TBytes>{{0xF0, 2, 0xF7}}));
    // No end marker: nothing.
    EXPECT_TRUE(Split({0xF0, 1, 2, 3}).empty());
    // A lone end marker, and data after it, are no message.
    EXPECT_TRUE(Split({0xF7, 1, 2}).empty());
    // Running status does not survive a system-exclusive message.
    EXPECT_EQ(Split({0xB0, 1, 2, 0xF0, 0xF7, 3, 4}), (std::vector<TBytes>{{0xB0, 1, 2}, {0xF0, 0xF7}}));
}

TEST(MidiSplitter, DropsWhatFormsNoCompleteMessage)
{
    EXPECT_TRUE(Split({1, 2, 3}).empty());          // data without status
    EXPECT_TRUE(Split({0xB0, 7}).empty());          // cut by the end
    EXPECT_EQ(Split({0xB0, 7, 0x90, 60, 1}), (std::vector<TBytes>{{0x90, 60, 1}})); // cut by a status
    EXPECT_TRUE(Split({0xF4, 1, 0xF5, 2}).empty()); // undefined system common
    EXPECT_TRUE(Split({}).empty());
}

TEST(MidiSplitter, RunningStatusCarriesAcrossCallsAndDroppedBytesAreCounted)
{
    TMidiSplitter splitter;
    std::vector<TBytes> messages;
    auto split = [&](const TBytes& bytes) {
        return splitter.Split(bytes.data(), bytes.size(), [&](const uint8_t* message, size_t length) {
            messages.emplace_back(message, message + length);
        });
    };
    EXPECT_EQ(split({1, 2}), 2u);           // no status yet
    EXPECT_EQ(split({0xB3, 7, 9, 8}), 1u);  // the last data byte is cut by the end
    EXPECT_EQ(split({10, 11}), 0u);         // runs on B3 from the call before
    EXPECT_EQ(split({0xF0, 1, 0xF7, 5, 6}), 2u); // system exclusive ends running status
    splitter.Reset();
    EXPECT_EQ(split({0xF8, 0xF9, 0xC1}), 2u); // an undefined code and a cut message
    EXPECT_EQ(messages, (std::vector<TBytes>{{0xB3, 7, 9}, {0xB3, 10, 11}, {0xF0, 1, 0xF7}, {0xF8}}));

    // Without system exclusive (input deliveries), F0 … F7 is dropped like undefined bytes.
    messages.clear();
    splitter = TMidiSplitter(false);
    EXPECT_EQ(split({0xB0, 1, 2, 0xF0, 3, 0xF7, 0x90, 60, 1}), 3u);
    EXPECT_EQ(messages, (std::vector<TBytes>{{0xB0, 1, 2}, {0x90, 60, 1}}));
}

TEST(MidiSplitter, DataLengthOfEveryStatusKind)
{
    EXPECT_EQ(MidiDataLength(0x80), 2);
    EXPECT_EQ(MidiDataLength(0xAF), 2);
    EXPECT_EQ(MidiDataLength(0xC0), 1);
    EXPECT_EQ(MidiDataLength(0xDF), 1);
    EXPECT_EQ(MidiDataLength(0xEF), 2);
    EXPECT_EQ(MidiDataLength(0xF0), -1);
    EXPECT_EQ(MidiDataLength(0xF7), -1);
    EXPECT_EQ(MidiDataLength(0xFE), 0);
    EXPECT_EQ(MidiDataLength(0x7F), -1);
}

} // namespace
} // namespace zw

namespace zw {
namespace {

// Whatever the bytes, only well-formed messages come out, and a stream made
// of well-formed messages comes out unchanged.
TEST(MidiSplitter, RandomStreamsGiveOnlyWellFormedMessages)
{
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        TBytes stream(random() % 40);
        for (uint8_t& byte : stream)
            byte = static_cast<uint8_t>(random() % 3 == 0 ? 0x80 | random() % 128 : random() % 128);
        for (const TBytes& message : Split(stream)) {
            ASSERT_FALSE(message.empty());
            const uint8_t status = message[0];
            ASSERT_GE(status, 0x80);
            if (status == 0xF0) {
                ASSERT_EQ(message.back(), 0xF7);
                for (size_t i = 1; i + 1 < message.size(); ++i)
                    ASSERT_LT(message[i], 0x80);
            } else {
                ASSERT_EQ(static_cast<int>(message.size()), MidiDataLength(status) + 1);
                for (size_t i = 1; i < message.size(); ++i)
                    ASSERT_LT(message[i], 0x80);
            }
        }
        // Re-splitting what came out gives the same messages.
        TBytes joined;
        const auto messages = Split(stream);
        for (const TBytes& message : messages)
            joined.insert(joined.end(), message.begin(), message.end());
        ASSERT_EQ(Split(joined), messages);
    }
}

} // namespace
} // namespace zw
