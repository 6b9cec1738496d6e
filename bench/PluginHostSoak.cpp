// A soak outside `make test`: the tests' own instrument crashes again and
// again, offline (one render host, a new process after every crash) and live
// (a remote instrument restarted after each crash until its fifth within a
// minute turns it off, then the next). The program must survive every crash
// with its memory and open file descriptors flat.
//
//   PluginHostSoak [CRASHES]   (default 1000 of each kind; exit 1 when something grew or failed)
#include "audio/Lv2RenderHost.h"
#include "audio/Lv2World.h"
#include "audio/RemoteInstrument.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

using namespace zw;
using TClock = std::chrono::steady_clock;

const char* const kTestInstrument = "urn:zwirbels:test-instrument";
constexpr uint8_t kCrash = 1; // gene 0: the fault port

struct TUsage {
    long ResidentKb = 0;
    long OpenFds = 0;
};

TUsage Usage()
{
    TUsage usage;
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    usage.ResidentKb = resident * 4;
    for ([[maybe_unused]] const auto& fd : std::filesystem::directory_iterator("/proc/self/fd"))
        ++usage.OpenFds;
    return usage;
}

void Report(const char* what, int crashes, const TUsage& usage)
{
    std::printf("%s: %d crashes, resident %ld kB, %ld open descriptors\n", what, crashes, usage.ResidentKb,
                usage.OpenFds);
    std::fflush(stdout);
}

// Offline: every render crashes; the host is started anew for the next.
bool SoakOffline(int crashes, TUsage& early, TUsage& late)
{
    TLv2RenderHost host(kTestInstrument);
    const std::vector<TTimedMidi> messages = {{0, {0x90, 60, 100}}};
    for (int i = 1; i <= crashes; ++i) {
        const uint8_t genes[2] = {kCrash, static_cast<uint8_t>(i)};
        try {
            host.Render(genes, sizeof genes, messages, 4800, [](const float*, const float*, uint32_t) {});
            std::printf("offline: render %d did not fail\n", i);
            return false;
        } catch (const ELv2Error&) {
        }
        if (i == 20)
            early = Usage();
    }
    late = Usage();
    return host.Starts() == crashes; // the first render used the host made with it; each later one a new host
}

// Waits, playing periods, until `done` holds; false after 10 s.
template <typename TDone>
bool PlayUntil(TRemoteInstrument& instrument, TDone done)
{
    // Long periods: a machine busy with other work must not make a host look hung here.
    constexpr uint32_t kFrames = 2048;
    static float left[kFrames], right[kFrames];
    const TMidiEvent note{0, 3, {0x90, 60, 100}};
    for (const auto start = TClock::now(); TClock::now() - start < std::chrono::seconds(10);) {
        instrument.Process(&note, 1, left, right, kFrames);
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

// Live: each crash with a genome of its own, then a good genome while the
// host restarts; the fifth turns the instrument off and the next one comes.
bool SoakLive(int crashes, TUsage& early, TUsage& late)
{
    const uint8_t good[2] = {0, 0};
    for (int i = 1; i <= crashes;) {
        TRemoteInstrument instrument(kTestInstrument, 48000);
        std::string told; // what it said, for a failure's message
        for (int k = 0; k < 5 && i <= crashes; ++k, ++i) {
            const uint64_t restarts = instrument.Restarts();
            const uint8_t genes[2] = {kCrash, static_cast<uint8_t>(i)};
            instrument.SetGenome(genes, sizeof genes);
            if (!PlayUntil(instrument, [&] { return !instrument.Playing(); }))
                return std::printf("live: crash %d was not noticed\n", i), false;
            instrument.SetGenome(good, sizeof good);
            if (k < 4 && !PlayUntil(instrument, [&] { return instrument.Restarts() > restarts && instrument.Playing(); })) {
                std::printf("live: no restart after crash %d\n", i);
                for (const std::string& notice : instrument.TakeNotices())
                    told += notice + "\n";
                std::printf("%s", told.c_str());
                return false;
            }
            if (k == 4 && !PlayUntil(instrument, [&] { return instrument.Off(); }))
                return std::printf("live: not off after its fifth crash (%d)\n", i), false;
            for (const std::string& notice : instrument.TakeNotices())
                told += notice + "\n";
            if (i == 20)
                early = Usage();
        }
    }
    late = Usage();
    return true;
}

bool Flat(const char* what, int crashes, const TUsage& early, const TUsage& late)
{
    Report(what, 20, early);
    Report(what, crashes, late);
    // Allocators keep some memory; a leak per crash would show as megabytes.
    return late.OpenFds <= early.OpenFds && late.ResidentKb - early.ResidentKb < 4096;
}

} // namespace

int main(int argc, char** argv)
{
    const int crashes = argc > 1 ? std::max(21, std::atoi(argv[1])) : 1000;
    setenv("LV2_PATH", ZW_TEST_LV2_DIR ":/usr/lib/lv2", 1);
    TUsage early, late;
    const auto start = TClock::now();
    bool ok = SoakOffline(crashes, early, late) && Flat("offline", crashes, early, late);
    std::printf("offline: %.1f s\n", std::chrono::duration<double>(TClock::now() - start).count());
    const auto liveStart = TClock::now();
    ok = ok && SoakLive(crashes, early, late) && Flat("live", crashes, early, late);
    std::printf("live: %.1f s\n", std::chrono::duration<double>(TClock::now() - liveStart).count());
    std::printf(ok ? "survived every crash, flat\n" : "FAILED\n");
    return ok ? 0 : 1;
}
