#include "midi/RtOutDevice.h"

#include "midi/MidiBinding.h"

#include <algorithm>

namespace zw {

namespace {

// The ALSA sequencer refuses an event while its queue is full; the sender
// retries for a while, then reports the message as not sent. Once closing,
// everything left has that long in all, so a close never holds the window
// for longer.
constexpr std::chrono::milliseconds kSendRetryTime{50};
constexpr std::chrono::milliseconds kCloseTime{100};
constexpr size_t kAlsaMaxMessage = 4096;

} // namespace

size_t RtMaxMessageLength(TRtApi api)
{
    return api == TRtApi::Jack ? kJackMaxMessage : kAlsaMaxMessage;
}

void TRtOutDevice::TBatch::Add(const uint8_t* message, size_t size)
{
    Bytes.insert(Bytes.end(), message, message + size);
    Pieces.push_back(TPiece{Bytes.size(), Items.size()});
}

void TRtOutDevice::TBatch::Clear()
{
    Bytes.clear();
    Pieces.clear();
    Items.clear();
}

TRtOutDevice::TRtOutDevice(const TRtDeviceContext& context)
    : FContext(context), FMaxMessage(RtMaxMessageLength(context.Api))
{
    if (FContext.Watch)
        FPacer.emplace(*FContext.Watch);
}

TRtOutDevice::~TRtOutDevice()
{
    Close();
}

TMidiResult TRtOutDevice::Open(const std::string& clientName, const std::string& target)
{
    FClientName = clientName;
    FTarget = target;
    if (const TMidiResult failure = Connect())
        return failure;
    if (FContext.Watch && !FTarget.empty())
        WaitUntilConnectionsApply(*FContext.Watch);
    if (FPacer)
        FPacer->Start();
    return GuardedRtOpen([&] {
        FThread = std::thread([this] { Run(); });
        return MMSYSERR_NOERROR;
    });
}

TMidiResult TRtOutDevice::Connect()
{
    FRt.reset();
    return GuardedRtOpen([&] {
        auto rt = NewRtClient<RtMidiOut>(FContext.Api, FClientName, FErrors);
        if (FTarget.empty())
            rt->openVirtualPort(kRtVirtualPortName);
        else if (!ConnectRtPort(*rt, FTarget, kRtOutPortName, FErrors))
            return MIDIERR_NODEVICE;
        if (const TMidiResult failure = FErrors.TakeOpenResult())
            return failure;
        FRt = std::move(rt);
        return MMSYSERR_NOERROR;
    });
}

TMidiResult TRtOutDevice::Health() const
{
    return FContext.ServerStopped() ? MIDIERR_SERVERSTOPPED : MMSYSERR_NOERROR;
}

TMidiResult TRtOutDevice::SendLong(TMidiHdr* const* headers, uint32_t count, uint32_t& queued)
{
    queued = 0;
    if (const TMidiResult failure = Health())
        return failure;
    TMidiResult result = MMSYSERR_NOERROR;
    bool written = false;
    {
        std::lock_guard lock(FMutex);
        while (queued < count && (result = Frame(headers[queued])) == MMSYSERR_NOERROR)
            ++queued;
        written = queued == 0 || WriteNowIfItFits();
    }
    if (!written)
        FWake.notify_one();
    return result;
}

bool TRtOutDevice::WriteNowIfItFits()
{
    if (!FPacer || FSenderBusy || !FPacer->Fits(FPending.JackCost()))
        return false;
    Send(FPending);
    Complete(FPending);
    FPending.Clear();
    return true;
}

TMidiResult TRtOutDevice::Frame(TMidiHdr* header)
{
    // Framed on a copy, so that a refused header leaves the running status as it was.
    TMidiSplitter framing = FFraming;
    const size_t bytes = FPending.Bytes.size();
    const size_t pieces = FPending.Pieces.size();
    size_t longest = 0;
    const size_t incomplete =
        framing.Split(header->lpData, header->dwBufferLength, [&](const uint8_t* message, size_t size) {
            longest = std::max(longest, size);
            FPending.Add(message, size);
        });
    if (longest > FMaxMessage) {
        FPending.Bytes.resize(bytes);
        FPending.Pieces.resize(pieces);
        return MIDIERR_TOOLONG;
    }
    FFraming = std::move(framing);
    header->dwIncomplete = static_cast<uint32_t>(incomplete);
    MarkMidiHeaderQueued(header);
    FPending.Items.push_back(TBatch::TItem{header, MMSYSERR_NOERROR});
    return MMSYSERR_NOERROR;
}

TMidiResult TRtOutDevice::SendShort(const uint8_t* message, size_t size)
{
    if (const TMidiResult failure = Health())
        return failure;
    bool written = false;
    {
        std::lock_guard lock(FMutex);
        FPending.Add(message, size);
        FPending.Items.push_back(TBatch::TItem{nullptr, MMSYSERR_NOERROR});
        written = WriteNowIfItFits();
    }
    if (!written)
        FWake.notify_one();
    return MMSYSERR_NOERROR;
}

void TRtOutDevice::Reset()
{
    TBatch taken;
    {
        std::lock_guard lock(FMutex);
        std::swap(taken, FPending);
        FFraming.Reset();
        for (uint8_t channel = 0; channel < 16; ++channel) {
            const uint8_t status = static_cast<uint8_t>(0xB0 | channel);
            const uint8_t allNotesOff[] = {status, 123, 0};
            const uint8_t allSoundOff[] = {status, 120, 0};
            FPending.Add(allNotesOff, 3);
            FPending.Add(allSoundOff, 3);
        }
        FPending.Items.push_back(TBatch::TItem{nullptr, MMSYSERR_NOERROR});
    }
    FWake.notify_one();
    for (TBatch::TItem& item : taken.Items)
        item.Result = MMSYSERR_NOERROR; // handed back unsent: no failure
    Complete(taken);
}

void TRtOutDevice::Close()
{
    if (FThread.joinable()) {
        {
            std::lock_guard lock(FMutex);
            FClosing = true;
            FCloseDeadline.store(std::chrono::steady_clock::now() + kCloseTime);
        }
        FWake.notify_one();
        FThread.join();
    }
    // The silencing sent on close is among what a port removed too early loses.
    if (FPacer && FRt)
        FPacer->WaitUntilFlushed();
    FRt.reset();
}

void TRtOutDevice::Run()
{
    for (;;) {
        {
            std::unique_lock lock(FMutex);
            FSenderBusy = false;
            FWake.wait(lock, [this] { return !FPending.Items.empty() || FClosing; });
            if (FPending.Items.empty())
                return;
            std::swap(FSending, FPending);
            FSenderBusy = true;
        }
        Send(FSending);
        Complete(FSending);
        FSending.Clear();
    }
}

void TRtOutDevice::Send(TBatch& batch)
{
    size_t begin = 0;
    for (const TBatch::TPiece& piece : batch.Pieces) {
        const uint8_t* message = batch.Bytes.data() + begin;
        const size_t size = piece.End - begin;
        begin = piece.End;
        TMidiResult& result = batch.Items[piece.Item].Result;
        TMidiResult failure = MMSYSERR_NOERROR;
        if (std::chrono::steady_clock::now() >= FCloseDeadline.load()) {
            failure = MIDIERR_SENDFAILED; // closing, and out of time: told, not sent
        } else {
            if (FPacer) {
                if (FContext.ServerStopped())
                    continue; // said once by the next call, not once per message
                failure = FPacer->Pace(size); // a stalled server: sent all the same, and told
            }
            if (const TMidiResult sent = SendOne(message, size))
                failure = sent;
        }
        if (result == MMSYSERR_NOERROR)
            result = failure;
    }
}

TMidiResult TRtOutDevice::SendOne(const uint8_t* message, size_t size)
{
    const auto closeDeadline = FCloseDeadline.load();
    const auto send = [&] {
        if (!FRt)
            return false;
        FRt->sendMessage(message, size);
        return FErrors.Take() == MMSYSERR_NOERROR;
    };
    // alsa-lib keeps a refused event at the head of its buffer and sends it
    // again with every later one: only a new connection forgets it. Never
    // for the virtual output, whose new port would lose every connection
    // made to it.
    const bool mayReconnect = FContext.Api == TRtApi::Alsa && !FTarget.empty();
    const auto reconnect = [&] {
        if (mayReconnect)
            Connect();
    };
    return SendWithRetries(send, reconnect, std::min(std::chrono::steady_clock::now() + kSendRetryTime, closeDeadline),
                           closeDeadline);
}

void TRtOutDevice::Complete(TBatch& batch)
{
    for (const TBatch::TItem& item : batch.Items) {
        if (item.Header) {
            MarkMidiHeaderDone(item.Header);
            FContext.Notify(MOM_DONE, reinterpret_cast<uintptr_t>(item.Header), item.Result);
        } else if (item.Result != MMSYSERR_NOERROR) {
            FContext.Notify(MOM_DONE, 0, item.Result);
        }
    }
}

} // namespace zw
