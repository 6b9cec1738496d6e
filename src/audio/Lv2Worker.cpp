#include "audio/Lv2Worker.h"

#include <cstring>
#include <memory>

namespace zw {

TLv2Worker::TLv2Worker()
{
    FSchedule.handle = this;
    // Called from run() or, during instantiation, from the thread that makes the instance.
    FSchedule.schedule_work = [](LV2_Worker_Schedule_Handle handle, uint32_t size, const void* data) {
        auto* self = static_cast<TLv2Worker*>(handle);
        if (self->FSynchronous) {
            if (size > kMessageCapacity)
                return LV2_WORKER_ERR_NO_SPACE;
            static thread_local TMessage request;
            request.Size = size;
            std::memcpy(request.Data.data(), data, size);
            self->Work(request);
            return LV2_WORKER_SUCCESS;
        }
        const LV2_Worker_Status status = Push(self->FRequests, size, data);
        if (status == LV2_WORKER_SUCCESS)
            self->FWake.release();
        return status;
    };
}

TLv2Worker::~TLv2Worker() { Stop(); }

LV2_Worker_Status TLv2Worker::Push(TRing& ring, uint32_t size, const void* data) noexcept
{
    if (size > kMessageCapacity)
        return LV2_WORKER_ERR_NO_SPACE;
    // Written in place would need a second slot API; one copy of a small
    // message is cheap and keeps the ring a plain queue of values.
    static thread_local TMessage message;
    message.Size = size;
    std::memcpy(message.Data.data(), data, size);
    return ring.TryPush(message) ? LV2_WORKER_SUCCESS : LV2_WORKER_ERR_NO_SPACE;
}

void TLv2Worker::Start(const LV2_Worker_Interface* interface, LV2_Handle handle, bool synchronous)
{
    if (!interface || FThread.joinable() || FSynchronous)
        return;
    FInterface = interface;
    FHandle = handle;
    if (synchronous) {
        FSynchronous = true;
        auto request = std::make_unique<TMessage>();
        while (FRequests.TryPop(*request))
            Work(*request);
        return;
    }
    FStopping = false;
    FThread = std::thread([this] { Run(); });
}

void TLv2Worker::Stop()
{
    if (!FThread.joinable())
        return;
    FStopping = true;
    FWake.release();
    FThread.join();
}

void TLv2Worker::Run()
{
    auto request = std::make_unique<TMessage>();
    for (;;) {
        FWake.acquire();
        if (FStopping)
            return;
        while (FRequests.TryPop(*request))
            Work(*request);
    }
}

void TLv2Worker::Work(const TMessage& request)
{
    FInterface->work(
        FHandle,
        [](LV2_Worker_Respond_Handle handle, uint32_t size, const void* data) {
            return Push(static_cast<TLv2Worker*>(handle)->FResponses, size, data);
        },
        this, request.Size, request.Data.data());
}

void TLv2Worker::DeliverResponses() noexcept
{
    if (!FInterface)
        return;
    while (FResponses.TryPop(FScratch))
        if (FInterface->work_response)
            FInterface->work_response(FHandle, FScratch.Size, FScratch.Data.data());
    if (FInterface->end_run)
        FInterface->end_run(FHandle);
}

} // namespace zw

