// The audio thread's side of an LV2 instrument in the engine allocates
// nothing: a genome's values taken at the start of a period, a note, and the
// period rendered, mixed and limited.
#include "audio/AudioEngine.h"
#include "audio/Lv2Instrument.h"
#include "audio/Lv2World.h"
#include "support/AllocationCounter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <thread>

namespace zw {
namespace {

TEST(Lv2AudioThread, ParameterChangeAndNoteAllocateNothing)
{
    TLv2World world;
    TAudioEngine engine;
    auto instrument = std::make_unique<TLv2Instrument>(
        std::make_unique<TLv2Instance>(world, "http://drobilla.net/plugins/mda/JX10", engine.SampleRate(), 256));
    TLv2Instance& jx10 = instrument->Instance();
    engine.SetInstrument(0, std::move(instrument));
    engine.BeginStream();
    std::vector<float> left(1024), right(1024);
    std::vector<uint8_t> genome(120, 200);
    float peak = 0;
    std::thread audio([&] {
        CountAllocationsOnThisThread(true);
        engine.Process(left.data(), right.data(), 256); // the thread's first period
        CountAllocationsOnThisThread(false);
    });
    audio.join();
    ASSERT_TRUE(jx10.SetGenome(genome.data(), genome.size()));
    const uint8_t note[] = {0x90, 60, 100};
    ASSERT_TRUE(engine.Send(0, note, sizeof note));
    ResetCountedAllocations();
    audio = std::thread([&] {
        CountAllocationsOnThisThread(true);
        engine.Process(left.data(), right.data(), 1024); // longer than the instance's block: run in four
        CountAllocationsOnThisThread(false);
        for (float sample : left)
            peak = std::max(peak, std::fabs(sample));
    });
    audio.join();
    engine.EndStream();
    EXPECT_EQ(CountedAllocations(), 0);
    EXPECT_GT(peak, 0.001f) << "the note was not heard";
}

} // namespace
} // namespace zw
