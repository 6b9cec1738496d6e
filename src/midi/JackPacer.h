#pragma once

#include "midi/MidiDriverApi.h"

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace zw {

// The server's process cycles as a sender sees them: TJackWatch in the
// program, a counter the test moves in tests.
class TCycleClock {
public:
    virtual ~TCycleClock() = default;
    virtual uint64_t Cycles() const = 0;
    virtual bool Stopped() const = 0;
};

// RtMidi drops, without a word, what does not fit its ring buffer (16 KiB) or
// the cycle's port buffer (32 KiB on JACK 2). What a sender wrote while the
// watch counted cycle n has been taken out of the ring once it counts n + 2
// (the whole cycle n + 1 ran after it), so only what was written in the last
// two counted cycles can still be in the ring, or in one cycle's port buffer.
// A sender keeps that below kJackBudget, each message costing its length plus
// kJackEventCost (more than either buffer takes for it).
constexpr uint32_t kJackBudget = 12288;
constexpr uint32_t kJackEventCost = 16;
// Longer messages never get through RtMidi's JACK ring buffer whole.
constexpr size_t kJackMaxMessage = 8192;
// A server that runs no cycle for this long counts as stalled: sending goes on
// unpaced and the next call reports it, rather than hanging.
constexpr std::chrono::milliseconds kJackStallTimeout{1000};

// JACK puts a new connection into effect at the start of a process cycle: a
// message written in the cycle that runs while a port is connected goes
// nowhere. Waits until two cycles have begun (or the server stopped or
// stalled), so that what is sent after an open arrives.
void WaitUntilConnectionsApply(const TCycleClock& clock, std::chrono::milliseconds stallTimeout = kJackStallTimeout);

// Paces one sender to the server's cycles. Used by one thread at a time.
class TJackPacer {
public:
    explicit TJackPacer(const TCycleClock& clock, std::chrono::milliseconds stallTimeout = kJackStallTimeout)
        : FClock(clock), FStallTimeout(stallTimeout)
    {
    }

    // Starts counting at the current cycle, with nothing written.
    void Start() { FCycle = FClock.Cycles(); }
    // Before sending a message of `size` bytes: waits for cycles to pass while
    // it would overrun the budget. MIDIERR_NOTREADY when the server stalled
    // meanwhile (the message may be sent all the same).
    TMidiResult Pace(size_t size);
    // Whether messages costing `cost` in all (their lengths plus
    // kJackEventCost each) go out now without waiting.
    bool Fits(uint64_t cost) const;
    // JACK flushes what the sender wrote in its next process cycle; a port
    // removed before that cycle has run loses the last messages. Waits two
    // cycles, unless the server has stopped or stalls.
    void WaitUntilFlushed() const;

private:
    // False when the server stalled before reaching `cycle`.
    bool WaitForCycle(uint64_t cycle) const;

    // What may still be in the buffers at cycle `cycle`.
    uint64_t Pending(uint64_t cycle) const;
    // Moves the count on to `cycle`.
    void Advance(uint64_t cycle);

    const TCycleClock& FClock;
    const std::chrono::milliseconds FStallTimeout;
    uint64_t FCycle = 0;         // the cycle FCost was written in
    uint64_t FCost = 0;          // written in FCycle
    uint64_t FPreviousCost = 0;  // written in FCycle - 1
};

} // namespace zw
