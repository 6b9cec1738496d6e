#pragma once

#include "midi/JackPacer.h"
#include "midi/RtMidiCommon.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace zw {

// One open output: its own RtMidi client and a sender thread, so that a long
// message is queued at once and reported done from the sender's thread. On
// JACK the sender paces itself to the server's cycles.
class TRtOutDevice {
public:
    explicit TRtOutDevice(const TRtDeviceContext& context);
    ~TRtOutDevice();
    TRtOutDevice(const TRtOutDevice&) = delete;
    TRtOutDevice& operator=(const TRtOutDevice&) = delete;

    // An empty target opens the program's virtual output port (the mapper).
    TMidiResult Open(const std::string& clientName, const std::string& target);
    // What went wrong since the last call: a stopped server, or a send that failed.
    TMidiResult Health();
    // Queues `header`, or, when it is null, `bytes`.
    TMidiResult Enqueue(TMidiHdr* header, std::vector<uint8_t> bytes);
    // Hands back every queued header and silences all 16 channels.
    void Reset();
    // Sends what is queued, then ends the sender; no callback comes after this.
    void Close();

private:
    struct TItem {
        TMidiHdr* Header; // null: Bytes are to be sent
        std::vector<uint8_t> Bytes;
    };

    void Complete(TMidiHdr* header);
    void Run();
    void SendStream(const uint8_t* data, size_t length);
    void SendOne(const uint8_t* message, size_t size);

    const TRtDeviceContext FContext;
    TRtErrorSink FErrors; // outlives FRt, which reports into it
    std::atomic<TMidiResult> FSendFailure{MMSYSERR_NOERROR}; // reported by the next call
    std::unique_ptr<RtMidiOut> FRt;
    std::mutex FMutex;
    std::condition_variable FWake;
    std::deque<TItem> FQueue;
    bool FClosing = false;
    std::optional<TJackPacer> FPacer; // JACK only; sender thread only
    std::thread FThread;
};

} // namespace zw
