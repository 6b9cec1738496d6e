#pragma once

#include <cstddef>
#include <cstdint>

namespace zw {

// One complete MIDI message for an instrument, to be played `Frame` frames
// into the block being rendered: a channel message, or a system-exclusive
// message of at most kMaxBytes bytes (F0 … F7). Plain data, so it can travel
// through the lock-free queue to the audio thread.
struct TMidiEvent {
    static constexpr size_t kMaxBytes = 26;
    uint32_t Frame = 0;
    uint16_t Length = 0;
    uint8_t Bytes[kMaxBytes]{};
};

// A sound source the audio engine renders and mixes: the built-in synthesizer,
// a hosted plug-in. The engine owns it once it is handed over, calls Prepare
// on the control thread before the first Process and whenever the sample rate
// changes (never while Process may run), and Process on the audio thread.
//
// Audio-thread functions are noexcept and must not allocate, lock a contended
// lock, log or call Qt: they run inside the output's callback.
class TAudioInstrument {
public:
    virtual ~TAudioInstrument() = default;

    // Control thread. `maxFrames` bounds the `frames` of every later Process.
    virtual void Prepare(double sampleRate, uint32_t maxFrames) = 0;

    // Audio thread. Plays `events` (in order, Frame non-decreasing and below
    // `frames`, except that frames may be 0: then the events are only played)
    // and writes the next `frames` frames into `left` and `right`, replacing
    // what they held.
    virtual void Process(const TMidiEvent* events, size_t count, float* left, float* right,
                         uint32_t frames) noexcept = 0;

    // Audio thread. Ends every sound at once (panic, output restart).
    virtual void Silence() noexcept = 0;

    // Control thread, after an offline render: raises what spoiled it (an
    // instrument whose process crashed), so that nothing is written from it.
    virtual void CheckRender() const {}
};

} // namespace zw
