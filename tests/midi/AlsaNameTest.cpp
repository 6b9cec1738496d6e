#include "midi/RtMidiBinding.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace zw
