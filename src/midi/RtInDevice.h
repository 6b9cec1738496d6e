#pragma once

#include "common/SpscQueue.h"
#include "midi/RtMidiCommon.h"

#include <chrono>
#include <memory>
#include <vector>

namespace zw {

// One open input. RtMidi's thread delivers what arrives (on JACK inside the
// server's process cycle), so delivery allocates nothing and takes no lock:
// system-exclusive data goes into the queued buffers, taken from a lock-free
// queue; everything else is split into short messages, so that a 14-bit
// controller or an NRPN sent as one delivery arrives as its messages.
class TRtInDevice {
public:
    // The longest delivery taken whole; RtMidi's buffer for it is made this
    // large before the port exists, so it never grows on the delivering thread.
    static constexpr size_t kMaxDelivery = 65536;

    explicit TRtInDevice(const TRtDeviceContext& context);
    ~TRtInDevice() { Close(); }
    TRtInDevice(const TRtInDevice&) = delete;
    TRtInDevice& operator=(const TRtInDevice&) = delete;

    TMidiResult Open(const std::string& clientName, const std::string& source);
    // What went wrong since the last call: a stopped server, or an error RtMidi reported.
    TMidiResult Health();
    // MMSYSERR_NOMEM when more buffers are queued than a port can have.
    TMidiResult AddBuffer(TMidiHdr* header);
    void Start();
    void Stop();
    // Stops input and hands back every queued buffer, empty.
    void Reset();
    // Ends RtMidi's client and with it its thread: no callback comes after this.
    void Close();

    // What one delivery of `size` bytes gives the callback; RtMidi's thread only.
    void Deliver(const uint8_t* data, size_t size) noexcept;

private:
    static void Received(double, std::vector<unsigned char>* message, void* self) noexcept;
    void DeliverSysex(const uint8_t* data, size_t size, uint32_t timestamp) noexcept;

    // A port queues at most 65535 buffers (a 16-bit count).
    using TBufferQueue = TSpscQueue<TMidiHdr*, 65536>;

    const TRtDeviceContext FContext;
    TRtErrorSink FErrors;
    const std::unique_ptr<TBufferQueue> FBuffers; // the GUI thread adds, deliveries take
    std::atomic<bool> FStarted{false};
    std::atomic<int> FDelivering{0}; // deliveries under way, so that Reset can wait them out
    std::atomic<std::chrono::steady_clock::rep> FStart{0};
    std::unique_ptr<RtMidiIn> FRt; // last: destroyed first, while the rest is still there
};

} // namespace zw
