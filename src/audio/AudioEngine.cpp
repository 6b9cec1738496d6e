#include "audio/AudioEngine.h"

#include "audio/AudioProcess.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace zw {

TAudioEngine::TAudioEngine() : FProcess(std::make_unique<TAudioProcess>()) {}

// The backend has stopped by now; the instruments go with the engine.
TAudioEngine::~TAudioEngine() = default;

bool TAudioEngine::Push(const TAudioCommand* commands, size_t count)
{
    std::lock_guard lock(FSendMutex);
    if (FProcess->ToAudio.TryPushAll(commands, count))
        return true;
    FDropped.fetch_add(count, std::memory_order_relaxed);
    return false;
}

void TAudioEngine::SetInstrument(int slot, std::unique_ptr<TAudioInstrument> instrument)
{
    if (slot < 0 || slot >= kSlots)
        return;
    CollectReleased();
    if (instrument)
        instrument->Prepare(FProcess->SampleRate, TAudioProcess::kMaxFrames);
    TAudioCommand command;
    command.Kind = TAudioCommand::TKind::SetInstrument;
    command.Slot = static_cast<uint8_t>(slot);
    command.Instrument = instrument.get();
    if (instrument)
        FOwned.push_back(std::move(instrument));
    // The swap must not be lost: a full queue empties within a period or two.
    // A stream that stopped calling back keeps the old instrument (and the
    // new one stays owned here) until the engine ends.
    for (int tries = 0;; ++tries) {
        {
            std::lock_guard lock(FSendMutex);
            if (FProcess->ToAudio.TryPush(command))
                break;
        }
        if (!FStreaming)
            TakeCommands();
        else if (tries > 2000)
            return;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (!FStreaming) {
        TakeCommands();
        return;
    }
    // Two periods later the audio thread has taken the swap and given the old one back.
    const uint64_t until = Periods() + 2;
    for (int tries = 0; tries < 200 && Periods() < until; ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    CollectReleased();
}

void TAudioEngine::CollectReleased()
{
    TAudioNotice notice;
    while (FProcess->FromAudio.TryPop(notice)) {
        const auto found = std::find_if(FOwned.begin(), FOwned.end(),
                                        [&](const auto& owned) { return owned.get() == notice.Released; });
        if (found != FOwned.end())
            FOwned.erase(found);
    }
}

void TAudioEngine::TakeCommands()
{
    FProcess->TakeCommands();
    CollectReleased();
}

void TAudioEngine::SetSampleRate(double sampleRate)
{
    if (FStreaming || !(sampleRate > 0))
        return;
    TakeCommands();
    FProcess->Prepare(sampleRate);
    for (TAudioInstrument* instrument : FProcess->Instruments)
        if (instrument)
            instrument->Prepare(sampleRate, TAudioProcess::kMaxFrames);
}

double TAudioEngine::SampleRate() const { return FProcess->SampleRate; }

bool TAudioEngine::Send(int slot, const TMidiEvent* events, size_t count)
{
    if (slot < 0 || slot >= kSlots || count > TAudioProcess::kQueueSize) {
        FDropped.fetch_add(count, std::memory_order_relaxed);
        return false;
    }
    // A genome is a few hundred messages; the commands are made before the
    // lock is taken, so other senders wait only for the copy into the queue.
    std::vector<TAudioCommand> commands(count);
    for (size_t i = 0; i < count; ++i) {
        commands[i].Slot = static_cast<uint8_t>(slot);
        commands[i].Event = events[i];
    }
    return Push(commands.data(), count);
}

bool TAudioEngine::Send(int slot, const uint8_t* message, size_t length)
{
    if (length == 0 || length > TMidiEvent::kMaxBytes) {
        FDropped.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    if (slot < 0 || slot >= kSlots) {
        FDropped.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    TAudioCommand command;
    command.Slot = static_cast<uint8_t>(slot);
    std::memcpy(command.Event.Bytes, message, length);
    command.Event.Length = static_cast<uint16_t>(length);
    return Push(&command, 1);
}

void TAudioEngine::Silence()
{
    TAudioCommand command;
    command.Kind = TAudioCommand::TKind::Silence;
    Push(&command, 1);
}

void TAudioEngine::SetGain(float gain) { FProcess->Gain.store(std::max(gain, 0.0f), std::memory_order_relaxed); }

float TAudioEngine::Gain() const { return FProcess->Gain.load(std::memory_order_relaxed); }

void TAudioEngine::Render(float* left, float* right, uint32_t frames)
{
    if (FStreaming)
        return;
    FProcess->Run(left, right, frames);
    CollectReleased();
}

void TAudioEngine::BeginStream()
{
    TakeCommands();
    for (TAudioInstrument* instrument : FProcess->Instruments)
        if (instrument)
            instrument->Silence();
    FStreaming = true;
}

void TAudioEngine::EndStream()
{
    FStreaming = false;
    TakeCommands();
}

void TAudioEngine::Process(float* left, float* right, uint32_t frames) noexcept
{
#if defined(__SSE__)
    // Denormal numbers from decaying filters cost many times a normal sum;
    // set on every call, as the backend may call from more than one thread.
    _mm_setcsr(_mm_getcsr() | 0x8040); // flush to zero, denormals are zero
#endif
    FProcess->Run(left, right, frames);
}

void TAudioEngine::CountXrun() noexcept { FProcess->Xruns.fetch_add(1, std::memory_order_relaxed); }

uint64_t TAudioEngine::Xruns() const { return FProcess->Xruns.load(std::memory_order_relaxed); }

uint64_t TAudioEngine::Periods() const { return FProcess->Periods.load(std::memory_order_acquire); }

} // namespace zw
