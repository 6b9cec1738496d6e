#pragma once

#include "audio/AudioInstrument.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace zw {

struct TAudioProcess;

// Where every sound of the program is made: up to kSlots instruments, mixed,
// scaled by the gain and limited to -1 dBFS. An output backend calls Process
// on its audio thread; with no backend streaming, the control thread may call
// Render itself (offline: tests, export, the command-line renderer), and the
// engine sounds the same either way.
//
// Threads: one control thread (the one that made the engine) sets
// instruments, starts and ends streams and renders offline. Any number of
// other threads may Send. The audio thread only runs Process. They meet only
// in two lock-free queues, to the audio thread and back.
class TAudioEngine {
public:
    static constexpr int kSlots = 8;
    static constexpr double kDefaultSampleRate = 48000.0;

    TAudioEngine();
    ~TAudioEngine();
    TAudioEngine(const TAudioEngine&) = delete;
    TAudioEngine& operator=(const TAudioEngine&) = delete;

    // Control thread. Puts `instrument` (prepared here) in `slot`, null to
    // empty it; the one there before is destroyed once the audio thread has let
    // go of it. Messages sent before reach the previous instrument.
    void SetInstrument(int slot, std::unique_ptr<TAudioInstrument> instrument);
    // Control thread; only while no stream runs. Prepares every instrument anew.
    void SetSampleRate(double sampleRate);
    double SampleRate() const;

    // Any thread but the audio thread. The messages reach the instrument in
    // `slot` together, in order, at the start of the next period; nothing sent
    // meanwhile from another thread lands among them (an NRPN stays whole).
    // False when the queue has no room for all of them: then none is sent.
    bool Send(int slot, const TMidiEvent* events, size_t count);
    // One complete message (see TMidiEvent); false when it is too long or the
    // queue is full.
    bool Send(int slot, const uint8_t* message, size_t length);
    // Every instrument ends its sounds at the start of the next period.
    void Silence();

    // 0 ..; applied to the mix before the limiter.
    void SetGain(float gain);
    float Gain() const;

    // Control thread, no stream running: renders the next `frames` frames.
    void Render(float* left, float* right, uint32_t frames);

    // Control thread, for an output backend: before the backend's audio
    // thread first runs Process. Messages that waited meanwhile are played
    // without sound, then every instrument is silenced, so that a stream that
    // starts late plays no burst of old notes.
    void BeginStream();
    // Control thread: after the backend's audio thread has stopped for good.
    void EndStream();
    // Audio thread: the backend's callback.
    void Process(float* left, float* right, uint32_t frames) noexcept;
    // Audio thread: the backend reports an overrun or underrun.
    void CountXrun() noexcept;

    uint64_t Xruns() const;
    // Periods rendered so far (Process and Render calls).
    uint64_t Periods() const;
    // Messages Send could not queue.
    uint64_t Dropped() const { return FDropped.load(std::memory_order_relaxed); }

private:
    // Control thread: destroys the instruments the audio thread gave back.
    void CollectReleased();
    // Control thread, no stream running: stands in for the audio thread.
    void TakeCommands();
    bool Push(const struct TAudioCommand* commands, size_t count);

    std::unique_ptr<TAudioProcess> FProcess;
    bool FStreaming = false; // control thread only
    // Instruments handed to the engine, installed or on their way out.
    std::vector<std::unique_ptr<TAudioInstrument>> FOwned;
    std::mutex FSendMutex; // makes the senders one producer; never taken by the audio thread
    std::atomic<uint64_t> FDropped{0};
};

} // namespace zw
