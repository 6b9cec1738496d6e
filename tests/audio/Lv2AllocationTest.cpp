// The audio thread's side of an LV2 instrument allocates nothing: a genome's
// values taken at the start of a period, a note, and the period rendered.
#include "audio/Lv2Instance.h"
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
    TLv2Instance jx10(world, "http://drobilla.net/plugins/mda/JX10", 48000, 256);
    std::vector<float> left(1024), right(1024);
    std::vector<uint8_t> genome(120, 200);
    float peak = 0;
    std::thread audio([&] {
        tAudioThread = true;
        jx10.Run(nullptr, 0, 256, left.data(), right.data()); // the thread's first period
        tAudioThread = false;
    });
    audio.join();
    ASSERT_TRUE(jx10.SetGenome(genome.data(), genome.size()));
    gAudioAllocations = 0;
    audio = std::thread([&] {
        tAudioThread = true;
        const TLv2MidiEvent note{10, 3, {0x90, 60, 100}};
        jx10.Run(&note, 1, 1024, left.data(), right.data()); // longer than a block: run in four
        tAudioThread = false;
        for (float sample : left)
            peak = std::max(peak, std::fabs(sample));
    });
    audio.join();
    EXPECT_EQ(gAudioAllocations.load(), 0);
    EXPECT_GT(peak, 0.001f) << "the note was not heard";
}

} // namespace
} // namespace zw
