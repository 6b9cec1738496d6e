#include "midi/RtMidiBinding.h"

#include <gtest/gtest.h>

#include <map>

namespace zw {
namespace {

TEST(AlsaDeviceName, DropsTheChangingClientAndPortNumbers)
{
    EXPECT_EQ(AlsaDeviceName("Midi Through:Midi Through Port-0 14:0"), "Midi Through:Midi Through Port-0");
    EXPECT_EQ(AlsaDeviceName("FLUID Synth (1234):Synth input port (1234:0) 128:0"),
              "FLUID Synth (1234):Synth input port (1234:0)");
    EXPECT_EQ(AlsaDeviceName("USB Keys:USB Keys MIDI 1 20:1"), "USB Keys:USB Keys MIDI 1");
}

TEST(AlsaDeviceName, KeepsNamesWithoutSuchNumbers)
{
    for (const char* name : {"Synth", "Synth 1", "Synth 14:", "Synth :0", "Synth 1a:0", "Synth 12:0b", "", "Synth 1-2"})
        EXPECT_EQ(AlsaDeviceName(name), name);
}

TEST(DeviceDisplayNames, NumberLaterDuplicatesInListOrder)
{
    const std::vector<std::string> raw = {"X:X MIDI 1 20:0", "Synth 14:0", "X:X MIDI 1 24:0", "X:X MIDI 1 28:0"};
    EXPECT_EQ(DeviceDisplayNames(raw, true),
              (std::vector<std::string>{"X:X MIDI 1", "Synth", "X:X MIDI 1 #2", "X:X MIDI 1 #3"}));
    // JACK names are unique and carry no numbers to strip.
    EXPECT_EQ(DeviceDisplayNames({"a:in 1:0", "b:in"}, false), (std::vector<std::string>{"a:in 1:0", "b:in"}));

    // An open device keeps its name when the first of its name is unplugged
    // and when that comes back; a newcomer never takes a kept name.
    const std::map<std::string, std::string> open = {{"X:X MIDI 1 24:0", "X:X MIDI 1 #2"}};
    EXPECT_EQ(DeviceDisplayNames({"X:X MIDI 1 24:0"}, true, open), (std::vector<std::string>{"X:X MIDI 1 #2"}));
    EXPECT_EQ(DeviceDisplayNames({"X:X MIDI 1 32:0", "X:X MIDI 1 24:0"}, true, open),
              (std::vector<std::string>{"X:X MIDI 1", "X:X MIDI 1 #2"}));
    EXPECT_EQ(DeviceDisplayNames({"X 28:0", "X 24:0"}, true, {{"X 24:0", "X"}}),
              (std::vector<std::string>{"X #2", "X"}));
}

TEST(IsOwnMidiPort, TheProgramsPortsOnAnyServerButNoOneElses)
{
    for (const char* own : {"zwirbels:MIDI in", "zwirbels-01:MIDI out", "zwirbels:virtual output 129:0",
                            "zwirbels:MIDI in 130:0"})
        EXPECT_TRUE(IsOwnMidiPort(own)) << own;
    for (const char* other : {"zwirbels:other", "zwirbelsx:MIDI in", "zwirbels-:MIDI in", "zwirbels-1a:MIDI in",
                              "synth:MIDI in", "MIDI in", "zwirbels-peer-in:in"})
        EXPECT_FALSE(IsOwnMidiPort(other)) << other;
}

} // namespace
} // namespace zw
