#include "midi/RtOutDevice.h"

#include "midi/MidiBinding.h"
#include "midi/MidiSplitter.h"

namespace zw {

namespace {

// The ALSA sequencer refuses an event while its queue is full; the sender
// retries for a while, then reports the message as not sent.
constexpr int kSendAttempts = 50;
constexpr std::chrono::milliseconds kSendRetryPause{1};

} // namespace

TRtOutDevice::TRtOutDevice(const TRtDeviceContext& context) : FContext(context)
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
    return GuardedRtOpen([&] {
        FRt = NewRtClient<RtMidiOut>(FContext.Api, clientName, FErrors);
        if (target.empty())
            FRt->openVirtualPort(kRtVirtualPortName);
        else if (!ConnectRtPort(*FRt, target, kRtOutPortName, FErrors))
            return MIDIERR_NODEVICE;
        if (const TMidiResult failure = FErrors.TakeOpenResult())
            return failure;
        if (FPacer)
            FPacer->Start();
        FThread = std::thread([this] { Run(); });
        return MMSYSERR_NOERROR;
    });
}

TMidiResult TRtOutDevice::Health()
{
    if (FContext.ServerStopped())
        return MIDIERR_SERVERSTOPPED;
    return FSendFailure.exchange(MMSYSERR_NOERROR);
}

TMidiResult TRtOutDevice::Enqueue(TMidiHdr* header, std::vector<uint8_t> bytes)
{
    if (const TMidiResult failure = Health())
        return failure;
    {
        std::lock_guard lock(FMutex);
        FQueue.push_back(TItem{header, std::move(bytes)});
    }
    FWake.notify_one();
    return MMSYSERR_NOERROR;
}

void TRtOutDevice::Reset()
{
    std::deque<TItem> taken;
    {
        std::lock_guard lock(FMutex);
        taken.swap(FQueue);
        std::vector<uint8_t> silence;
        for (uint8_t channel = 0; channel < 16; ++channel) {
            const uint8_t status = static_cast<uint8_t>(0xB0 | channel);
            silence.insert(silence.end(), {status, 123, 0, status, 120, 0}); // all notes off, all sound off
        }
        FQueue.push_back(TItem{nullptr, std::move(silence)});
    }
    FWake.notify_one();
    for (const TItem& item : taken)
        if (item.Header)
            Complete(item.Header);
}

void TRtOutDevice::Close()
{
    if (FThread.joinable()) {
        {
            std::lock_guard lock(FMutex);
            FClosing = true;
        }
        FWake.notify_one();
        FThread.join();
    }
    // The silencing sent on close is among what a port removed too early loses.
    if (FPacer)
        FPacer->WaitUntilFlushed();
    FRt.reset();
}

void TRtOutDevice::Complete(TMidiHdr* header)
{
    MarkMidiHeaderDone(header);
    FContext.Notify(MOM_DONE, reinterpret_cast<uintptr_t>(header), 0);
}

void TRtOutDevice::Run()
{
    for (;;) {
        TItem item;
        {
            std::unique_lock lock(FMutex);
            FWake.wait(lock, [this] { return !FQueue.empty() || FClosing; });
            if (FQueue.empty())
                return;
            item = std::move(FQueue.front());
            FQueue.pop_front();
        }
        try {
            if (item.Header)
                SendStream(item.Header->lpData, item.Header->dwBufferLength);
            else
                SendStream(item.Bytes.data(), item.Bytes.size());
        } catch (...) {
            FSendFailure.store(MIDIERR_SENDFAILED);
        }
        if (item.Header)
            Complete(item.Header);
    }
}

void TRtOutDevice::SendStream(const uint8_t* data, size_t length)
{
    SplitMidiMessages(data, length, [this](const uint8_t* message, size_t size) {
        if (FPacer) {
            if (FContext.ServerStopped())
                return;
            if (const TMidiResult failure = FPacer->Pace(size))
                FSendFailure.store(failure);
        }
        SendOne(message, size);
    });
}

void TRtOutDevice::SendOne(const uint8_t* message, size_t size)
{
    for (int attempt = 1;; ++attempt) {
        FRt->sendMessage(message, size);
        if (FErrors.Take() == MMSYSERR_NOERROR)
            return;
        if (attempt == kSendAttempts) {
            FSendFailure.store(MIDIERR_SENDFAILED);
            return;
        }
        std::this_thread::sleep_for(kSendRetryPause);
    }
}

} // namespace zw
