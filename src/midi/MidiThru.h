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

} // namespace zw
