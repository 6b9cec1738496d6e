// The audio thread's side of an LV2 instrument in the engine allocates
// nothing: a genome's values taken at the start of a period, a note, and the
// period rendered, mixed and limited.
#include "audio/AudioEngine.h"
#include "audio/Lv2Instrument.h"
#include "audio/Lv2World.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <thread>

namespace {
thread_local bool tAudioThread = false;
std::atomic<int> gAudioAllocations{0};
} // namespace

void* operator new(std::size_t size)
{
    gAudioAllocations += tAudioThread;
    if (void* memory = std::malloc(size == 0 ? 1 : size))
        return memory;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }

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
        tAudioThread = true;
        engine.Process(left.data(), right.data(), 256); // the thread's first period
        tAudioThread = false;
    });
    audio.join();
    ASSERT_TRUE(jx10.SetGenome(genome.data(), genome.size()));
    const uint8_t note[] = {0x90, 60, 100};
    ASSERT_TRUE(engine.Send(0, note, sizeof note));
    gAudioAllocations = 0;
    audio = std::thread([&] {
        tAudioThread = true;
        engine.Process(left.data(), right.data(), 1024); // longer than the instance's block: run in four
        tAudioThread = false;
        for (float sample : left)
            peak = std::max(peak, std::fabs(sample));
    });
    audio.join();
    engine.EndStream();
    EXPECT_EQ(gAudioAllocations.load(), 0);
    EXPECT_GT(peak, 0.001f) << "the note was not heard";
}

} // namespace
} // namespace zw
