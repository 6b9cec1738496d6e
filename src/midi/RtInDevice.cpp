#include "midi/RtInDevice.h"

#include "midi/MidiBinding.h"

#include <algorithm>

namespace zw {

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

void TRtInDevice::AddBuffer(TMidiHdr* header)
{
    std::lock_guard lock(FMutex);
    FBuffers.push_back(header);
}

void TRtInDevice::Start()
{
    FStart.store(std::chrono::steady_clock::now().time_since_epoch().count());
    FStarted.store(true);
}

void TRtInDevice::Reset()
{
    Stop();
    std::lock_guard lock(FMutex);
    for (TMidiHdr* header : FBuffers) {
        header->dwBytesRecorded = 0;
        MarkMidiHeaderDone(header);
        FContext.Notify(MIM_LONGDATA, reinterpret_cast<uintptr_t>(header), 0);
    }
    FBuffers.clear();
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
    if (!FStarted.load())
        return;
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    const auto elapsed = std::chrono::steady_clock::duration(now - FStart.load());
    const auto timestamp =
        static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
    if (data[0] == 0xF0) {
        std::lock_guard lock(FMutex);
        size_t done = 0;
        while (done < size && !FBuffers.empty()) { // no buffer left: the rest is dropped
            TMidiHdr* header = FBuffers.front();
            FBuffers.pop_front();
            const size_t part = std::min<size_t>(size - done, header->dwBufferLength);
            std::copy(data + done, data + done + part, header->lpData);
            done += part;
            header->dwBytesRecorded = static_cast<uint32_t>(part);
            MarkMidiHeaderDone(header);
            FContext.Notify(MIM_LONGDATA, reinterpret_cast<uintptr_t>(header), timestamp);
        }
    } else if (size <= 3) {
        uint32_t word = 0;
        for (size_t i = 0; i < size; ++i)
            word |= static_cast<uint32_t>(data[i]) << (8 * i);
        FContext.Notify(MIM_DATA, word, timestamp);
    } else {
        FContext.Notify(MIM_ERROR, 0, timestamp);
    }
}

} // namespace zw
