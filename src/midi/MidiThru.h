#pragma once

#include <cstdint>

namespace zw {

// Takes the channel messages that arrive at the input device, to pass them on
// to the output. Receive runs on the MIDI system's real-time thread: it must
// not allocate, lock or wait.
class TMidiThruSink {
public:
    // A packed short message (status in the low byte), channel messages only.
    virtual void Receive(uint32_t message) noexcept = 0;
    // The input closed (closed, changed or lost; no Receive runs any more):
    // the notes it started must end. Called on the GUI thread.
    virtual void SourceClosed() = 0;

protected:
    ~TMidiThruSink() = default;
};

// An instrument of a voice's own (a hosted plug-in): the voice's audition
// notes and the thru from its input go there instead of the output. Play is
// called from the MIDI scheduler's thread; it must not wait.
class TMidiVoiceSink {
public:
    // A packed short message (status in the low byte).
    virtual void Play(uint32_t message) noexcept = 0;

protected:
    ~TMidiVoiceSink() = default;
};

} // namespace zw
