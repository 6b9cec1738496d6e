#include "audio/AudioHost.h"

#include <chrono>

namespace zw {

TAudioHost::TAudioHost(std::unique_ptr<TAudioOutput> output) : FOutput(std::move(output))
{
    if (FOutput)
        FThread = std::thread([this] { Run(); });
}

TAudioHost::~TAudioHost()
{
    {
        std::lock_guard lock(FMutex);
        FEnding = true;
    }
    FWake.notify_all();
    if (FThread.joinable())
        FThread.join();
    std::lock_guard control(FControl);
    if (FOutput)
        FOutput->Stop();
}

void TAudioHost::Activate()
{
    {
        std::lock_guard lock(FMutex);
        if (FActive || !FOutput)
            return;
        FActive = FReopen = true;
    }
    FWake.notify_all();
}

void TAudioHost::Configure(const TAudioSettings& settings)
{
    {
        std::lock_guard lock(FMutex);
        if (settings == FSettings)
            return;
        FSettings = settings;
        FReopen = FActive;
    }
    FWake.notify_all();
}

TAudioSettings TAudioHost::Settings() const
{
    std::lock_guard lock(FMutex);
    return FSettings;
}

TAudioStatus TAudioHost::Status() const
{
    std::lock_guard lock(FMutex);
    return FStatus;
}

void TAudioHost::SetInstrument(int slot, std::unique_ptr<TAudioInstrument> instrument)
{
    std::lock_guard control(FControl);
    FEngine.SetInstrument(slot, std::move(instrument));
}

bool TAudioHost::Render(float* left, float* right, uint32_t frames)
{
    if (FOutput)
        return false;
    std::lock_guard control(FControl);
    FEngine.Render(left, right, frames);
    return true;
}

void TAudioHost::Reopen(const TAudioSettings& settings)
{
    {
        std::lock_guard control(FControl);
        FOutput->Stop();
    }
    std::string failure;
    bool sounding = FOutput->Open(FEngine, settings, failure);
    if (sounding) {
        std::lock_guard control(FControl);
        sounding = FOutput->Start(failure);
    }
    std::lock_guard lock(FMutex);
    FStatus = {sounding, sounding ? FOutput->Description() : std::string(), sounding ? std::string() : failure};
}

void TAudioHost::Run()
{
    std::unique_lock lock(FMutex);
    while (!FEnding) {
        if (FReopen || (FActive && !FOutput->Running())) {
            FReopen = false;
            const TAudioSettings settings = FSettings;
            lock.unlock();
            Reopen(settings);
            lock.lock();
        }
        FWake.wait_for(lock, std::chrono::milliseconds(kRetryMilliseconds), [this] { return FEnding || FReopen; });
    }
}

} // namespace zw
