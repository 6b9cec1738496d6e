#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

typedef struct _jack_client jack_client_t;
typedef struct _jack_port jack_port_t;

namespace zw {

// An audio client on the JACK server that records one input port, up to a
// fixed length, for tests that listen to another program's sound.
class TJackRecorder {
public:
    // Raises std::runtime_error when no server answers.
    TJackRecorder(const std::string& name, std::chrono::seconds capacity);
    ~TJackRecorder();
    TJackRecorder(const TJackRecorder&) = delete;
    TJackRecorder& operator=(const TJackRecorder&) = delete;

    // Connects the first audio output of `client` to the recording input,
    // waiting for it up to `timeout`; false when it did not appear.
    bool ConnectFrom(const std::string& client, std::chrono::milliseconds timeout);
    // The frames recorded so far.
    size_t Frames() const { return FFrames.load(std::memory_order_acquire); }
    std::vector<float> Samples() const;
    unsigned SampleRate() const;

private:
    static int Process(unsigned frames, void* self);

    jack_client_t* FClient = nullptr;
    jack_port_t* FInput = nullptr;
    std::vector<float> FSamples; // allocated in full before recording starts
    std::atomic<size_t> FFrames{0};
};

} // namespace zw
