#pragma once

#include "common/SpscQueue.h"

#include <lv2/core/lv2.h>
#include <lv2/worker/worker.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <semaphore>
#include <thread>

namespace zw {

// The host side of worker:schedule: a thread of its own runs the plug-in's
// slow work (loading files, building tables) that run() asks for, and its
// answers go back to the audio thread, which hands them over after run().
class TLv2Worker {
public:
    TLv2Worker();
    ~TLv2Worker();
    TLv2Worker(const TLv2Worker&) = delete;
    TLv2Worker& operator=(const TLv2Worker&) = delete;

    // The feature passed at instantiation.
    LV2_Worker_Schedule* ScheduleFeature() { return &FSchedule; }

    // Starts the thread for an activated instance that offers the worker
    // interface; requests made before wait for it. `synchronous` (offline):
    // no thread, the work is done within the request, so a render never
    // depends on how fast a thread was.
    void Start(const LV2_Worker_Interface* interface, LV2_Handle handle, bool synchronous = false);
    // Waits for the thread; before the instance is deactivated or freed.
    void Stop();

    // Audio thread, after run(): the answers that arrived, then end_run.
    void DeliverResponses() noexcept;

    // Messages larger than this are refused with LV2_WORKER_ERR_NO_SPACE.
    static constexpr uint32_t kMessageCapacity = 2048;

private:
    struct TMessage {
        uint32_t Size;
        std::array<uint8_t, kMessageCapacity> Data;
    };
    using TRing = TSpscQueue<TMessage, 32>;

    static LV2_Worker_Status Push(TRing& ring, uint32_t size, const void* data) noexcept;
    void Run();
    void Work(const TMessage& request);

    LV2_Worker_Schedule FSchedule;
    const LV2_Worker_Interface* FInterface = nullptr;
    LV2_Handle FHandle = nullptr;
    TRing FRequests;
    TRing FResponses;
    TMessage FScratch{}; // the audio thread's copy of a response; never on its stack
    std::counting_semaphore<> FWake{0};
    std::atomic<bool> FStopping{false};
    bool FSynchronous = false;
    std::thread FThread;
};

} // namespace zw
