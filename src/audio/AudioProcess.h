#pragma once

#include "audio/AudioInstrument.h"
#include "audio/Limiter.h"
#include "common/SpscQueue.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

namespace zw {

// What goes to the audio thread: a message for the instrument in a slot, a
// new instrument for a slot, or the silencing of every instrument.
struct TAudioCommand {
    enum class TKind : uint8_t { Midi, SetInstrument, Silence };
    TKind Kind = TKind::Midi;
    uint8_t Slot = 0;
    TMidiEvent Event;
    TAudioInstrument* Instrument = nullptr;
};

// What comes back from it: an instrument it no longer uses, to be destroyed
// off the audio thread.
struct TAudioNotice {
    TAudioInstrument* Released = nullptr;
};

// Everything the audio thread touches, in one place. Functions marked
// "Audio thread" run inside the output's callback (or on the thread that
// renders offline, which then stands in for it): they allocate nothing, take
// no lock and never block. Only the consumer of ToAudio, the single audio
// thread of the moment, calls them.
struct TAudioProcess {
    static constexpr int kSlots = 8;
    static constexpr uint32_t kMaxFrames = 4096; // rendered in chunks of at most this
    static constexpr size_t kQueueSize = 4096;

    TAudioProcess();

    // Control thread, while Run does not run: the sample rate for the
    // limiter and the instruments' DC blockers.
    void Prepare(double sampleRate);

    // Audio thread: takes every waiting command, then renders `frames` frames.
    void Run(float* left, float* right, uint32_t frames) noexcept;
    // Audio thread: takes every waiting command; messages are played with no
    // frames rendered.
    void TakeCommands() noexcept;

    TSpscQueue<TAudioCommand, kQueueSize> ToAudio;
    TSpscQueue<TAudioNotice, 256> FromAudio;

    std::atomic<float> Gain{1.0f};
    std::atomic<uint64_t> Periods{0};     // Run calls completed
    std::atomic<uint64_t> Xruns{0};
    std::atomic<uint64_t> Unreturned{0}; // released instruments FromAudio had no room for

    double SampleRate = 48000.0;
    std::array<TAudioInstrument*, kSlots> Instruments{};
    TLimiter Limiter;

private:
    // Takes what was queued when it began, and no more: producers that keep
    // the queue filled do not hold the period up.
    void TakeQueued() noexcept;
    void Take(const TAudioCommand& command) noexcept;
    void Flush(int slot) noexcept;
    void Release(TAudioInstrument* instrument) noexcept;
    void RenderChunk(float* left, float* right, uint32_t frames, bool withEvents) noexcept;

    std::array<std::vector<TMidiEvent>, kSlots> FEvents; // reserved in full, never grown here
    std::array<size_t, kSlots> FEventCount{};
    std::array<TDcBlocker, kSlots> FDcBlockers; // per instrument
    std::vector<float> FScratchLeft;
    std::vector<float> FScratchRight;
};

} // namespace zw
