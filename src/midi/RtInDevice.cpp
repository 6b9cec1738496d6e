#include "midi/RtInDevice.h"

#include "midi/MidiBinding.h"
#include "midi/MidiSplitter.h"

#include <algorithm>
#include <thread>

namespace zw {

TRtInDevice::TRtInDevice(const TRtDeviceContext& context)
    : FContext(context), FBuffers(std::make_unique<TBufferQueue>())
{
}

TMidiResult TRtInDevice::Open(const std::string& clientName, const std::string& source)
{
    return GuardedRtOpen([&] {
        FRt = NewRtClient<RtMidiIn>(FContext.Api, clientName, FErrors);
        FRt->ignoreTypes(false, false, false); // the port filters itself
        FRt->setCallback(&TRtInDevice::Received, this);
        if (!ConnectRtPort(*FRt, source, kRtInPortName, FErrors))
            return MIDIERR_NODEVICE;
        return FErrors.TakeOpenResult();
    });
}

TMidiResult TRtInDevice::Health()
{
    if (FContext.ServerStopped())
        return MIDIERR_SERVERSTOPPED;
    return FErrors.Take();
}

TMidiResult TRtInDevice::AddBuffer(TMidiHdr* header)
{
    return FBuffers->TryPush(header) ? MMSYSERR_NOERROR : MMSYSERR_NOMEM;
}

void TRtInDevice::Start()
{
    FStart.store(std::chrono::steady_clock::now().time_since_epoch().count());
    FStarted.store(true);
}

void TRtInDevice::Stop()
{
    FStarted.store(false);
    // A delivery that saw the device started finishes before Stop returns. It
    // neither waits nor locks, so it ends within microseconds, unless its
    // thread was ended under it (the server killed): then there is no one to wait for.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
    while (FDelivering.load() != 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
}

void TRtInDevice::Reset()
{
    Stop(); // from here on the GUI thread is the queue's only reader
    TMidiHdr* header = nullptr;
    while (FBuffers->TryPop(header)) {
        header->dwBytesRecorded = 0;
        MarkMidiHeaderDone(header);
        FContext.Notify(MIM_LONGDATA, reinterpret_cast<uintptr_t>(header), 0);
    }
}

void TRtInDevice::Close()
{
    Stop();
    FRt.reset();
}

void TRtInDevice::Received(double, std::vector<unsigned char>* message, void* self) noexcept
{
    if (message && !message->empty())
        static_cast<TRtInDevice*>(self)->Deliver(message->data(), message->size());
}

void TRtInDevice::Deliver(const uint8_t* data, size_t size) noexcept
{
    FDelivering.fetch_add(1);
    if (FStarted.load()) {
        const auto elapsed = std::chrono::steady_clock::now().time_since_epoch().count() - FStart.load();
        const auto timestamp = static_cast<uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::duration(elapsed))
                .count());
        if (data[0] == 0xF0) {
            DeliverSysex(data, size, timestamp);
        } else {
            // Several messages may come as one delivery; pieces that start
            // with a data byte (no status to run on) are dropped.
            TMidiSplitter(false).Split(data, size, [&](const uint8_t* message, size_t length) {
                uint32_t word = 0;
                for (size_t i = 0; i < length; ++i)
                    word |= static_cast<uint32_t>(message[i]) << (8 * i);
                FContext.Notify(MIM_DATA, word, timestamp);
            });
        }
    }
    FDelivering.fetch_sub(1);
}

void TRtInDevice::DeliverSysex(const uint8_t* data, size_t size, uint32_t timestamp) noexcept
{
    size_t done = 0;
    TMidiHdr* header = nullptr;
    while (done < size && FBuffers->TryPop(header)) { // no buffer left: the rest is dropped
        const size_t part = std::min<size_t>(size - done, header->dwBufferLength);
        std::copy(data + done, data + done + part, header->lpData);
        done += part;
        header->dwBytesRecorded = static_cast<uint32_t>(part);
        MarkMidiHeaderDone(header);
        FContext.Notify(MIM_LONGDATA, reinterpret_cast<uintptr_t>(header), timestamp);
    }
}

} // namespace zw
