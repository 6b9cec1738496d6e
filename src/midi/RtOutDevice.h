#pragma once

#include "midi/JackPacer.h"
#include "midi/MidiSplitter.h"
#include "midi/RtMidiCommon.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace zw {

// The longest message each MIDI system carries whole. JACK: what passes
// RtMidi's ring buffer. ALSA: a hardware port's kernel buffer (4 KiB) cuts
// longer messages without an error, and alsa-lib's own buffer (16 KiB)
// refuses them late or never.
size_t RtMaxMessageLength(TRtApi api);

// One message as the output's sender sends it: `send` (true once sent) is
// tried again, a millisecond apart, until `retryUntil`; after the first
// refusal `reconnect` (may be null) runs once. Nothing is tried once
// `closeDeadline` has passed, so a closing sender ends there, however much
// is left, and never reconnects for a message it will not send.
template <typename TSend, typename TReconnect>
TMidiResult SendWithRetries(TSend send, TReconnect reconnect, std::chrono::steady_clock::time_point retryUntil,
                            std::chrono::steady_clock::time_point closeDeadline)
{
    const auto late = [&] { return std::chrono::steady_clock::now() >= closeDeadline; };
    bool reconnected = false;
    while (!late()) {
        if (send())
            return MMSYSERR_NOERROR;
        if (!reconnected && !late()) {
            reconnect();
            reconnected = true;
        }
        if (std::chrono::steady_clock::now() >= retryUntil)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return MIDIERR_SENDFAILED;
}

// One open output: its own RtMidi client and a sender thread. Callers hand
// over whole batches (the long messages of one genome at once): the bytes are
// split into messages on the caller's thread, with running status kept across
// calls as on a serial line. On JACK, a batch that the current cycle window
// still takes while the sender is idle is written at once by the caller, so
// it makes the next cycle whatever the scheduler does with the sender;
// otherwise the sender is woken once per batch and writes it paced to the
// server's cycles. Each header is reported done, with the result of its
// sending, through the callback. Callers may be several threads (the GUI
// and a scheduler); one of them, or the sender, writes at a time.
class TRtOutDevice {
public:
    explicit TRtOutDevice(const TRtDeviceContext& context);
    ~TRtOutDevice();
    TRtOutDevice(const TRtOutDevice&) = delete;
    TRtOutDevice& operator=(const TRtOutDevice&) = delete;

    // An empty target opens the program's virtual output port (the mapper).
    TMidiResult Open(const std::string& clientName, const std::string& target);
    // MIDIERR_SERVERSTOPPED while the server is away.
    TMidiResult Health() const;
    // Queues `count` headers as one hand-off, setting each one's dwIncomplete.
    // A header holding a message longer than the system carries is refused
    // with MIDIERR_TOOLONG, and so are the headers after it; `queued` tells
    // how many were taken.
    TMidiResult SendLong(TMidiHdr* const* headers, uint32_t count, uint32_t& queued);
    // One complete short message; it leaves the long messages' running status alone.
    TMidiResult SendShort(const uint8_t* message, size_t size);
    // Hands back every queued header and silences all 16 channels.
    void Reset();
    // Sends what is queued, then ends the sender; no callback comes after this.
    void Close();

private:
    // What one hand-off (or several, while the sender was busy) brings: the
    // messages back to back, where each ends and whose it is, and per item
    // (a header, or a short message with none) the result of sending it. The
    // callers fill one, the sender empties the other; they swap, so the
    // storage is reused.
    struct TBatch {
        struct TPiece {
            size_t End;
            size_t Item;
        };
        struct TItem {
            TMidiHdr* Header;
            TMidiResult Result;
        };
        std::vector<uint8_t> Bytes;
        std::vector<TPiece> Pieces;
        std::vector<TItem> Items;

        void Add(const uint8_t* message, size_t size);
        void Clear();
        // What the messages cost in a JACK cycle window.
        uint64_t JackCost() const { return Bytes.size() + Pieces.size() * kJackEventCost; }
    };

    TMidiResult Connect();
    TMidiResult Frame(TMidiHdr* header);
    // With FMutex held: writes what is pending at once, when the sender is
    // idle and the cycle window takes it all (JACK only); false when the
    // sender is to write it.
    bool WriteNowIfItFits();
    void Run();
    void Send(TBatch& batch);
    TMidiResult SendOne(const uint8_t* message, size_t size);
    void Complete(TBatch& batch);

    const TRtDeviceContext FContext;
    const size_t FMaxMessage;
    std::string FClientName;
    std::string FTarget;
    TRtErrorSink FErrors; // outlives FRt, which reports into it
    std::unique_ptr<RtMidiOut> FRt; // sender thread only, once it runs
    std::mutex FMutex;
    std::condition_variable FWake;
    TBatch FPending;            // under FMutex
    TMidiSplitter FFraming;     // under FMutex: the long messages' running status
    bool FClosing = false;      // under FMutex
    // When retrying ends for good: set at Close.
    std::atomic<std::chrono::steady_clock::time_point> FCloseDeadline{std::chrono::steady_clock::time_point::max()};
    bool FSenderBusy = false;   // under FMutex: the sender writes FSending
    TBatch FSending;            // sender thread only
    // JACK only. FRt and FPacer are used by the sender while it is busy, else
    // by a caller holding FMutex.
    std::optional<TJackPacer> FPacer;
    std::thread FThread;
};

} // namespace zw
