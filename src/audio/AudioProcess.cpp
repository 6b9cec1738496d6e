#include "audio/AudioProcess.h"

#include <algorithm>

namespace zw {

TAudioProcess::TAudioProcess()
    : FScratchLeft(kMaxFrames), FScratchRight(kMaxFrames)
{
    for (std::vector<TMidiEvent>& events : FEvents)
        events.resize(kQueueSize);
    Prepare(SampleRate);
}

void TAudioProcess::Prepare(double sampleRate)
{
    SampleRate = sampleRate;
    Limiter.Prepare(sampleRate);
    for (TDcBlocker& blocker : FDcBlockers)
        blocker.Prepare(sampleRate);
}

void TAudioProcess::Release(TAudioInstrument* instrument) noexcept
{
    if (instrument && !FromAudio.TryPush({instrument}))
        Unreturned.fetch_add(1, std::memory_order_relaxed); // kept alive by its owner until the engine ends
}

void TAudioProcess::Flush(int slot) noexcept
{
    if (FEventCount[slot] == 0)
        return;
    if (TAudioInstrument* instrument = Instruments[slot])
        instrument->Process(FEvents[slot].data(), FEventCount[slot], nullptr, nullptr, 0);
    FEventCount[slot] = 0;
}

void TAudioProcess::Take(const TAudioCommand& command) noexcept
{
    const int slot = command.Slot;
    switch (command.Kind) {
    case TAudioCommand::TKind::Midi: {
        size_t& count = FEventCount[slot];
        if (count == FEvents[slot].size())
            Flush(slot); // cannot happen while the queue is no longer than a slot's list
        TMidiEvent event = command.Event;
        // Arrival order is playing order (an NRPN's controllers must stay in sequence).
        if (count > 0)
            event.Frame = std::max(event.Frame, FEvents[slot][count - 1].Frame);
        FEvents[slot][count++] = event;
        break;
    }
    case TAudioCommand::TKind::SetInstrument:
        Flush(slot); // what was sent before belongs to the instrument it was sent to
        Release(Instruments[slot]);
        Instruments[slot] = command.Instrument;
        FDcBlockers[slot].Reset(); // from silence: nothing of the one before
        break;
    case TAudioCommand::TKind::Silence:
        for (int i = 0; i < kSlots; ++i) {
            Flush(i);
            if (Instruments[i])
                Instruments[i]->Silence();
        }
        break;
    }
}

void TAudioProcess::TakeQueued() noexcept
{
    TAudioCommand command;
    for (std::size_t left = ToAudio.Size(); left > 0 && ToAudio.TryPop(command); --left)
        Take(command);
}

void TAudioProcess::TakeCommands() noexcept
{
    TakeQueued();
    for (int slot = 0; slot < kSlots; ++slot)
        Flush(slot);
}

void TAudioProcess::RenderChunk(float* left, float* right, uint32_t frames, bool withEvents) noexcept
{
    bool mixed = false; // the first instrument renders straight into the output
    float* scratchLeft = FScratchLeft.data();
    float* scratchRight = FScratchRight.data();
    for (int slot = 0; slot < kSlots; ++slot) {
        TAudioInstrument* instrument = Instruments[slot];
        if (!instrument)
            continue;
        const size_t count = withEvents ? FEventCount[slot] : 0;
        TMidiEvent* events = FEvents[slot].data();
        for (size_t i = 0; i < count; ++i)
            events[i].Frame = std::min(events[i].Frame, frames - 1);
        if (!mixed) {
            instrument->Process(events, count, left, right, frames);
            FDcBlockers[slot].Process(left, right, frames);
            mixed = true;
            continue;
        }
        instrument->Process(events, count, scratchLeft, scratchRight, frames);
        FDcBlockers[slot].Process(scratchLeft, scratchRight, frames);
        for (uint32_t i = 0; i < frames; ++i) {
            left[i] += scratchLeft[i];
            right[i] += scratchRight[i];
        }
    }
    if (!mixed) {
        std::fill(left, left + frames, 0.0f);
        std::fill(right, right + frames, 0.0f);
    }
    const float gain = Gain.load(std::memory_order_relaxed);
    if (gain != 1.0f) {
        for (uint32_t i = 0; i < frames; ++i) {
            left[i] *= gain;
            right[i] *= gain;
        }
    }
    Limiter.Process(left, right, frames);
}

void TAudioProcess::Run(float* left, float* right, uint32_t frames) noexcept
{
    TakeQueued();
    if (frames == 0) {
        for (int slot = 0; slot < kSlots; ++slot)
            Flush(slot);
    }
    for (uint32_t done = 0; done < frames;) {
        const uint32_t chunk = std::min(frames - done, kMaxFrames);
        RenderChunk(left + done, right + done, chunk, done == 0);
        done += chunk;
    }
    FEventCount.fill(0);
    Periods.fetch_add(1, std::memory_order_release);
}

} // namespace zw
