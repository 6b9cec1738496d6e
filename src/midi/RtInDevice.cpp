#include "midi/RtInDevice.h"

#include "midi/MidiBinding.h"
#include "midi/MidiSplitter.h"

#include <algorithm>
#include <thread>

namespace zw {

namespace {

// RtMidi hands each delivery to the callback in a buffer of its own input
// data, which it empties but keeps between deliveries. Its input data is
// protected; a pointer to the member, named through a class of our own,
// reaches it without changing RtMidi.
struct TRtInputData : MidiInApi {
    static MidiInApi::RtMidiInData& Of(MidiInApi& api) { return api.*(&TRtInputData::inputData_); }
};

class TRtMidiIn : public RtMidiIn {
public:
    using RtMidiIn::RtMidiIn;
    void ReserveDelivery(size_t bytes) { TRtInputData::Of(*static_cast<MidiInApi*>(rtapi_)).message.bytes.reserve(bytes); }
};

} // namespace

TRtInDevice::TRtInDevice(const TRtDeviceContext& context)
    : FContext(context), FBuffers(std::make_unique<TBufferQueue>())
{
}

TMidiResult TRtInDevice::Open(const std::string& clientName, const std::string& source)
{
    return GuardedRtOpen([&] {
        auto rt = NewRtClient<TRtMidiIn>(FContext.Api, clientName, FErrors);
        rt->ReserveDelivery(kMaxDelivery);
        FRt = std::move(rt);
        FRt->ignoreTypes(false, false, false); // the port filters itself
        FRt->setCallback(&TRtInDevice::Received, this);
        if (!ConnectRtPort(*FRt, source, kRtInPortName, FErrors))
            return MIDIERR_NODEVICE;
        if (FContext.Watch)
            WaitUntilConnectionsApply(*FContext.Watch);
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
    // A delivery that saw the device started finishes before Stop returns,
    // however long its thread is kept from running: the buffers it writes
    // are freed after this. It neither waits nor locks, so it ends, unless
    // its thread was ended under it by a server that has gone: only then is
    // there no one to wait for.
    const auto start = std::chrono::steady_clock::now();
    while (FDelivering.load() != 0) {
        if (FContext.ServerStopped() && std::chrono::steady_clock::now() - start > std::chrono::milliseconds(100))
            break;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
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
