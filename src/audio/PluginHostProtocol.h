#pragma once

// What the program and zwirbels-plugin-host share: the layout of the shared
// memory that carries audio, MIDI events and the latest genome between them,
// the futex handshake of one run, and the text lines on the host's pipes.
// Both sides are built from this one header, so they cannot disagree.
//
// Start: the program makes a memfd of sizeof(TPluginShared), hands it to the
// host as file descriptor 3 and runs
//     zwirbels-plugin-host URI SAMPLE-RATE MAX-FRAMES live|offline
// The host answers one line on its stdout: "ready<TAB>NAME" or
// "error<TAB>MESSAGE". Its stderr carries the plug-in's log lines. Its stdin
// carries commands, one a line ("preset<TAB>BUNDLE<TAB>LABEL"), each answered
// by "ok" or "error<TAB>MESSAGE"; end of input ends the host.
//
// A run: the program writes Frames, Flags and the events, then makes
// Request one larger and wakes it; the host runs the plug-in, writes the
// output and sets Done to Request's number and wakes it. The program waits
// for Done up to its deadline; a host that misses it is late, not broken.

#include "audio/AudioInstrument.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <ctime>

#include <linux/futex.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace zw {

struct TPluginShared {
    static constexpr uint32_t kMagic = 0x5A574831; // "ZWH1"
    static constexpr uint32_t kMaxFrames = 4096;   // the most one run renders
    static constexpr uint32_t kMaxEvents = 1024;
    static constexpr uint32_t kMaxGenes = 4096;
    static constexpr int kFd = 3; // where the host finds the memory

    // Run flags, applied before the run's events.
    static constexpr uint32_t kSilence = 1; // every note and sound ends
    static constexpr uint32_t kReset = 2;   // the plug-in starts afresh (deactivated and activated)

    uint32_t Magic = kMagic;

    // Program → host.
    std::atomic<uint32_t> Request{0};
    uint32_t Frames = 0;
    uint32_t Flags = 0;
    uint32_t EventCount = 0;
    TMidiEvent Events[kMaxEvents];
    // The latest genome, a slot rather than a queue: however many are
    // written between two runs, the next run takes the last. Sequence is odd
    // while it is written; a reader that sees it odd or changed keeps the
    // genome it has and looks again at the next run.
    std::atomic<uint32_t> GenomeSequence{0};
    uint32_t GeneCount = 0;
    uint8_t Genes[kMaxGenes]{};

    // Host → program.
    std::atomic<uint32_t> Done{0};
    uint32_t NonFinite = 0; // the host saw NaN or infinity in this run's output
    float Left[kMaxFrames]{};
    float Right[kMaxFrames]{};

    // Program side, one writer at a time.
    void WriteGenome(const uint8_t* genes, uint32_t count) noexcept
    {
        count = count < kMaxGenes ? count : kMaxGenes;
        const uint32_t sequence = GenomeSequence.load(std::memory_order_relaxed);
        GenomeSequence.store(sequence + 1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
        GeneCount = count;
        if (count > 0)
            std::memcpy(Genes, genes, count);
        GenomeSequence.store(sequence + 2, std::memory_order_release);
    }

    // Host side: copies a genome newer than `seen` into `genes` (room for
    // kMaxGenes) and its length into `count`; false when there is none or it
    // is being written.
    bool ReadGenome(uint32_t& seen, uint8_t* genes, uint32_t& count) const noexcept
    {
        const uint32_t before = GenomeSequence.load(std::memory_order_acquire);
        if (before == seen || (before & 1) != 0)
            return false;
        count = GeneCount < kMaxGenes ? GeneCount : kMaxGenes;
        std::memcpy(genes, Genes, count);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (GenomeSequence.load(std::memory_order_relaxed) != before)
            return false;
        seen = before;
        return true;
    }
};

static_assert(std::atomic<uint32_t>::is_always_lock_free, "the handshake words are shared between processes");

// The futex calls of the handshake, shared between processes (so not
// FUTEX_PRIVATE).
inline void FutexWake(std::atomic<uint32_t>& word) noexcept
{
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0);
}

// Sleeps while `word` holds `value`, at most `timeout` (null: no limit).
inline void FutexWait(std::atomic<uint32_t>& word, uint32_t value, const timespec* timeout) noexcept
{
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAIT, value, timeout, nullptr, 0);
}

inline int64_t MonotonicNanoseconds() noexcept
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// Waits until `word` holds `value` or the monotonic clock reaches
// `deadline` (ns); whether it did.
inline bool FutexWaitFor(std::atomic<uint32_t>& word, uint32_t value, int64_t deadline) noexcept
{
    for (;;) {
        const uint32_t now = word.load(std::memory_order_acquire);
        if (now == value)
            return true;
        const int64_t left = deadline - MonotonicNanoseconds();
        if (left <= 0)
            return false;
        const timespec timeout{time_t(left / 1'000'000'000), long(left % 1'000'000'000)};
        FutexWait(word, now, &timeout);
    }
}

// Watches `word` without sleeping for up to `nanoseconds`, until it differs
// from `value`; whether it did. Offline, where the two sides take turns as
// fast as they can, this saves the wake-up of a sleeping thread per block.
// It yields the core meanwhile, so that the other side runs at once when
// both share one.
inline bool SpinWhile(const std::atomic<uint32_t>& word, uint32_t value, int64_t nanoseconds) noexcept
{
    const int64_t until = MonotonicNanoseconds() + nanoseconds;
    do {
        if (word.load(std::memory_order_acquire) != value)
            return true;
        sched_yield();
    } while (MonotonicNanoseconds() < until);
    return false;
}

namespace PluginHostLine {
constexpr const char* kReady = "ready";
constexpr const char* kError = "error";
constexpr const char* kOk = "ok";
constexpr const char* kPreset = "preset";
constexpr const char* kLive = "live";
constexpr const char* kOffline = "offline";
} // namespace PluginHostLine

} // namespace zw
