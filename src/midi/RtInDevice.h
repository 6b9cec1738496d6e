#pragma once

#include "midi/RtMidiCommon.h"

#include <chrono>
#include <deque>
#include <mutex>
#include <vector>

namespace zw {

// One open input: RtMidi's thread delivers whole messages; short ones go to
// the callback packed, system-exclusive ones into the queued buffers.
class TRtInDevice {
public:
    explicit TRtInDevice(const TRtDeviceContext& context) : FContext(context) {}
    ~TRtInDevice() { Close(); }
    TRtInDevice(const TRtInDevice&) = delete;
    TRtInDevice& operator=(const TRtInDevice&) = delete;

    TMidiResult Open(const std::string& clientName, const std::string& source);
    // What went wrong since the last call: a stopped server, or an error RtMidi reported.
    TMidiResult Health();
    void AddBuffer(TMidiHdr* header);
    void Start();
    void Stop() { FStarted.store(false); }
    // Stops input and hands back every queued buffer, empty.
    void Reset();
    // Ends RtMidi's client and with it its thread: no callback comes after this.
    void Close();

private:
    static void Received(double, std::vector<unsigned char>* message, void* self) noexcept;
    void Deliver(const uint8_t* data, size_t size) noexcept;

    const TRtDeviceContext FContext;
    TRtErrorSink FErrors;
    std::mutex FMutex;
    std::deque<TMidiHdr*> FBuffers;
    std::atomic<bool> FStarted{false};
    std::atomic<std::chrono::steady_clock::rep> FStart{0};
    std::unique_ptr<RtMidiIn> FRt; // last: destroyed first, while the rest is still there
};

} // namespace zw
