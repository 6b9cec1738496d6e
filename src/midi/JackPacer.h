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

// JACK carries what a client writes in one process cycle; RtMidi drops, without
// a word, what does not fit its ring buffer (16 KiB) or the cycle's port
// buffer. So a sender writes at most kJackBudget bytes (each message costing
// its length plus kJackEventCost) per window of two cycles.
constexpr uint32_t kJackBudget = 4096;
constexpr uint32_t kJackEventCost = 16;
// Longer messages never get through RtMidi's JACK ring buffer whole.
constexpr size_t kJackMaxMessage = 8192;
// A server that runs no cycle for this long counts as stalled: sending goes on
// unpaced and the next call reports it, rather than hanging.
constexpr std::chrono::milliseconds kJackStallTimeout{1000};

// Paces one sender to the server's cycles. Used by the sender's thread only.
class TJackPacer {
public:
    explicit TJackPacer(const TCycleClock& clock, std::chrono::milliseconds stallTimeout = kJackStallTimeout)
        : FClock(clock), FStallTimeout(stallTimeout)
    {
    }

    // Opens the first window at the current cycle.
    void Start() { FWindowCycle = FClock.Cycles(); }
    // Before sending a message of `size` bytes: waits for the next window when
    // the message would overrun this one. MIDIERR_NOTREADY when the server
    // stalled meanwhile (the message may be sent all the same).
    TMidiResult Pace(size_t size);
    // JACK flushes what the sender wrote in its next process cycle; a port
    // removed before that cycle has run loses the last messages. Waits two
    // cycles, unless the server has stopped or stalls.
    void WaitUntilFlushed() const;

private:
    // False when the server stalled before reaching `cycle`.
    bool WaitForCycle(uint64_t cycle) const;

    const TCycleClock& FClock;
    const std::chrono::milliseconds FStallTimeout;
    uint64_t FWindowCycle = 0;
    uint64_t FWindowCost = 0;
};

} // namespace zw
