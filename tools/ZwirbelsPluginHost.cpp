// zwirbels-plugin-host: one LV2 instrument in a process of its own, so that
// a plug-in that crashes, hangs or misbehaves costs the program a restart of
// this process and nothing more. The program starts it; people do not. What
// crosses between the two is described in audio/PluginHostProtocol.h.
//
//   zwirbels-plugin-host URI SAMPLE-RATE MAX-FRAMES live|offline   (shared memory on fd 3)

#include "audio/Lv2Instance.h"
#include "audio/Lv2World.h"
#include "audio/PluginHostProtocol.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

#include <dirent.h>
#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <xmmintrin.h>

namespace {

using namespace zw;

// A message on one line of the pipe.
std::string OneLine(std::string text)
{
    for (char& c : text)
        if (c == '\n' || c == '\r' || c == '\t')
            c = ' ';
    return text;
}

void Answer(const std::string& line)
{
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

// Whether every thread of this process but `self` sleeps: a plug-in that
// prepares its sound on threads of its own has finished for now.
bool OthersAsleep(pid_t self, bool& othersExist)
{
    othersExist = false;
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks)
        return true;
    bool asleep = true;
    const pid_t main = getpid();
    while (const dirent* task = readdir(tasks)) {
        const pid_t tid = std::atoi(task->d_name);
        if (tid <= 0 || tid == self || tid == main)
            continue;
        othersExist = true;
        std::ifstream stat(std::string("/proc/self/task/") + task->d_name + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const size_t close = text.rfind(')');
        if (close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'R')
            asleep = false;
    }
    closedir(tasks);
    return asleep;
}

// Offline, after a new genome: a plug-in that prepares its sound on threads
// of its own (padthv1) is given that time, at most kSettleLimit, before the
// note, by running silent blocks until its threads have slept a while.
void Settle(TLv2Instance& instance, pid_t self)
{
    constexpr auto kSettleLimit = std::chrono::milliseconds(1500);
    constexpr uint32_t kFrames = 256;
    static float left[kFrames], right[kFrames];
    bool othersExist = false;
    OthersAsleep(self, othersExist);
    if (!othersExist)
        return; // nothing to wait for: the render is the same as in any other host
    const auto deadline = std::chrono::steady_clock::now() + kSettleLimit;
    for (int quiet = 0; quiet < 3 && std::chrono::steady_clock::now() < deadline;) {
        instance.Run(nullptr, 0, kFrames, left, right);
        quiet = OthersAsleep(self, othersExist) ? quiet + 1 : 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// The run loop: waits for a run request, applies the newest genome and the
// flags, runs the plug-in and says it is done.
void Serve(TPluginShared& shared, TLv2Instance& instance, bool offline, const std::atomic<bool>& ending)
{
    _mm_setcsr(_mm_getcsr() | 0x8040); // flush to zero, denormals are zero
    // Real-time where the user may have it (as JACK clients do); else a plain thread.
    sched_param priority{};
    priority.sched_priority = 10;
    if (!offline)
        pthread_setschedparam(pthread_self(), SCHED_FIFO, &priority);
    const auto self = static_cast<pid_t>(gettid());
    static uint8_t genes[TPluginShared::kMaxGenes];
    uint32_t genomeSeen = 0;
    uint32_t handled = 0; // the program counts runs from 1, and may ask for the first before this thread starts
    // Offline every render starts from a new instance, so that it does not
    // hear the renders before it; a plug-in slower to start than this is
    // only reset, or a batch would spend its time starting it.
    constexpr auto kRenewLimit = std::chrono::milliseconds(20);
    bool renew = offline;
    for (;;) {
        const uint32_t request = shared.Request.load(std::memory_order_acquire);
        if (request == handled) {
            if (ending.load())
                return;
            if (offline && SpinWhile(shared.Request, handled, 200'000))
                continue; // the next block follows at once when rendering offline
            const timespec wait{0, 100'000'000};
            FutexWait(shared.Request, handled, &wait);
            continue;
        }
        const uint32_t flags = shared.Flags;
        if ((flags & TPluginShared::kReset) && renew) {
            const auto begun = std::chrono::steady_clock::now();
            try {
                instance.Renew();
            } catch (const std::exception&) {
                renew = false;
                instance.Reset();
            }
            renew = renew && std::chrono::steady_clock::now() - begun <= kRenewLimit;
        } else if (flags & TPluginShared::kReset)
            instance.Reset();
        else if (flags & TPluginShared::kSilence)
            instance.Silence();
        uint32_t geneCount = 0;
        if (shared.ReadGenome(genomeSeen, genes, geneCount)) {
            instance.ApplyGenome(genes, geneCount);
            if (offline)
                Settle(instance, self);
        }
        const uint32_t frames = std::min(shared.Frames, TPluginShared::kMaxFrames);
        const uint32_t events = std::min(shared.EventCount, TPluginShared::kMaxEvents);
        instance.Run(shared.Events, events, frames, shared.Left, shared.Right);
        bool finite = true;
        for (uint32_t i = 0; i < frames; ++i)
            finite = finite && std::isfinite(shared.Left[i]) && std::isfinite(shared.Right[i]);
        shared.NonFinite = finite ? 0 : 1;
        handled = request;
        shared.Done.store(request, std::memory_order_release);
        FutexWake(shared.Done);
    }
}

// "preset<TAB>BUNDLE<TAB>LABEL": the plug-in's state and the values of the
// newest genome, saved as an LV2 preset.
void SavePreset(const std::string& line, const TPluginShared& shared, TLv2Instance& instance)
{
    const size_t first = line.find('\t');
    const size_t second = line.find('\t', first + 1);
    if (first == std::string::npos || second == std::string::npos) {
        Answer(std::string(PluginHostLine::kError) + "\tA preset needs a bundle and a label.");
        return;
    }
    static uint8_t genes[TPluginShared::kMaxGenes];
    uint32_t seen = 0, count = 0;
    while (shared.GenomeSequence.load() != 0 && !shared.ReadGenome(seen, genes, count))
        std::this_thread::yield(); // being written just now
    try {
        instance.SavePreset(line.substr(first + 1, second - first - 1), line.substr(second + 1),
                            instance.ValuesOf(genes, count));
        Answer(PluginHostLine::kOk);
    } catch (const std::exception& error) {
        Answer(std::string(PluginHostLine::kError) + "\t" + OneLine(error.what()));
    }
}

int Run(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "zwirbels-plugin-host is started by zwirbels; it is not for use on its own.\n");
        return 2;
    }
    const std::string uri = argv[1];
    const double sampleRate = std::strtod(argv[2], nullptr);
    const auto maxFrames = static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10));
    const bool offline = std::string(argv[4]) == PluginHostLine::kOffline;
    struct stat memory {};
    if (!(sampleRate > 0) || maxFrames == 0 || maxFrames > TPluginShared::kMaxFrames ||
        fstat(TPluginShared::kFd, &memory) != 0 || memory.st_size < off_t(sizeof(TPluginShared))) {
        Answer(std::string(PluginHostLine::kError) + "\tThe plug-in host was started wrongly.");
        return 2;
    }
    void* mapped = mmap(nullptr, sizeof(TPluginShared), PROT_READ | PROT_WRITE, MAP_SHARED, TPluginShared::kFd, 0);
    if (mapped == MAP_FAILED || static_cast<TPluginShared*>(mapped)->Magic != TPluginShared::kMagic) {
        Answer(std::string(PluginHostLine::kError) + "\tThe plug-in host cannot reach the program's memory.");
        return 2;
    }
    TPluginShared& shared = *static_cast<TPluginShared*>(mapped);

    TLv2World world; // a world of this process's own: no other thread uses it
    std::unique_ptr<TLv2Instance> instance;
    try {
        instance = std::make_unique<TLv2Instance>(world, uri, sampleRate, maxFrames,
                                                  TLv2InstanceOptions{true, offline});
    } catch (const std::exception& error) {
        Answer(std::string(PluginHostLine::kError) + "\t" + OneLine(error.what()));
        return 1;
    }
    Answer(std::string(PluginHostLine::kReady) + "\t" + OneLine(instance->Name()));

    std::atomic<bool> ending{false};
    std::thread server([&] { Serve(shared, *instance, offline, ending); });
    for (std::string line; std::getline(std::cin, line);)
        if (line.rfind(PluginHostLine::kPreset, 0) == 0)
            SavePreset(line, shared, *instance);
        else
            Answer(std::string(PluginHostLine::kError) + "\tUnknown command.");
    ending = true; // the program has gone, or lets this host go
    server.join();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return Run(argc, argv);
    } catch (const std::exception& error) {
        Answer(std::string(PluginHostLine::kError) + "\t" + OneLine(error.what()));
        return 1;
    }
}
