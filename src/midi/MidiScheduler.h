#pragma once

#include "common/SpscQueue.h"
#include "common/WakeEvent.h"
#include "midi/MidiBinding.h"
#include "midi/MidiThru.h"
#include "midi/ThruFilter.h"

#include <array>
#include <atomic>
#include <bitset>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace zw {

// The notes an auditioning voice plays in turn: each starts one Period after
// the one before and sounds for Length.
struct TAuditionPhrase {
    std::vector<uint8_t> Notes{60};
    uint8_t Velocity = 100;
    std::chrono::milliseconds Period{1000};
    std::chrono::milliseconds Length{800};
};

// Plays what must be timed on the MIDI side, on a thread of its own, so that a
// busy window never delays a note: the audition phrases of up to four voices,
// and the input's channel messages passed through to the output (thru).
//
// The calls below come from one controlling thread (the GUI). Each returns
// after the note-offs it implies have gone to the output, so a caller may
// close or change the device right after. Sends go through the binding's
// OutShortMsg on the handle given with SetOutput.
class TMidiScheduler final : public TMidiThruSink {
public:
    using TClock = std::chrono::steady_clock;
    static constexpr int kVoiceCount = 4;
    static constexpr int kMidiChannels = 16;
    // Bit n set: the input channel's messages go out on channel n.
    using TThruRoutes = std::array<uint16_t, kMidiChannels>;
    // Bit n set: the input channel's messages go to voice n's own instrument.
    using TThruVoices = std::array<uint8_t, kMidiChannels>;

    TMidiScheduler();
    // Silences the output, then ends the thread.
    ~TMidiScheduler();
    TMidiScheduler(const TMidiScheduler&) = delete;
    TMidiScheduler& operator=(const TMidiScheduler&) = delete;

    // The output to play on; null or handle 0 for none. Every sounding note
    // is ended on the previous output first.
    void SetOutput(TMidiBinding* binding, TMidiHandle handle);
    // An empty note list plays nothing.
    void SetPhrase(const TAuditionPhrase& phrase);
    void SetPlaying(bool playing);
    bool Playing() const;
    // A voice plays while it is active and audition is on. Switching it off
    // or moving it to another channel ends its note first.
    void SetVoice(int voice, bool active, uint8_t channel);
    // Starts the voice's phrase from its first note now (when it plays).
    void Restart(int voice);
    // The voice plays on an instrument of its own (on its channel); null:
    // on the output. Its note and its thru notes end where they sound first.
    void SetVoiceSink(int voice, TMidiVoiceSink* sink);
    // Thru notes still sounding are ended when the routes change. Routes to a
    // voice without an instrument of its own carry nothing.
    void SetThruRoutes(const TThruRoutes& routes, const TThruVoices& voices = {});
    // The input messages thru leaves out (the program's own controls); a
    // note-off still ends a note that thru started.
    TThruFilter& ThruFilter() { return FThruFilter; }

    // Real-time thread: queues a channel message for thru; anything else is ignored.
    void Receive(uint32_t message) noexcept override;
    // Passes on what the input queued before it closed, then ends its thru notes.
    void SourceClosed() override;

    // The first failed send's result since the last call (0 = none), so the
    // owner can tell a lost device as it tells one found by its own sends.
    TMidiResult TakeSendFailure() { return FFirstFailure.exchange(MMSYSERR_NOERROR); }

    // Messages sent, thru messages dropped because the queue was full, and
    // sends the output refused.
    uint64_t SentCount() const { return FSent.load(std::memory_order_acquire); }
    uint64_t ThruDropped() const { return FThruDropped.load(std::memory_order_relaxed); }
    uint64_t SendFailures() const { return FSendFailures.load(std::memory_order_relaxed); }

private:
    struct TVoice {
        bool Active = false;
        uint8_t Channel = 0;
        TMidiVoiceSink* Sink = nullptr;
        int Sounding = -1; // the note on, or -1
        size_t Next = 0;   // index of the next note in the phrase
        TClock::time_point NoteOn = TClock::time_point::max();
        TClock::time_point NoteOff = TClock::time_point::max();
    };

    void Run();
    // The time of the next due event after playing every one due at `now`.
    TClock::time_point PlayDue(TClock::time_point now);
    void PlayVoice(TVoice& voice, TClock::time_point now);
    void StartVoice(TVoice& voice, TClock::time_point at);
    void EndNote(TVoice& voice);
    void EndThruNotes();
    void DrainThru();
    void PassThru(uint32_t message);
    void Send(uint8_t status, uint8_t data1, uint8_t data2);
    // To the voice's own instrument, or the output when it has none.
    void SendVoice(const TVoice& voice, uint8_t status, uint8_t data1, uint8_t data2);
    void Wake() noexcept;
    void WaitUntil(TClock::time_point deadline);

    // The controlling thread and the scheduler thread meet here; the
    // real-time thread never takes it.
    mutable std::mutex FMutex;
    TMidiBinding* FBinding = nullptr;
    TMidiHandle FHandle = 0;
    TAuditionPhrase FPhrase;
    bool FPlaying = false;
    bool FStopping = false;
    std::array<TVoice, kVoiceCount> FVoices{};
    TThruRoutes FThruRoutes{};
    TThruVoices FThruVoices{};
    std::array<std::bitset<128>, kMidiChannels> FThruSounding{};
    std::array<std::bitset<128>, kVoiceCount> FThruVoiceSounding{};

    TThruFilter FThruFilter;
    TSpscQueue<uint32_t, 1024> FThruQueue;
    std::atomic<uint64_t> FSent{0};
    std::atomic<uint64_t> FThruDropped{0};
    std::atomic<uint64_t> FSendFailures{0};
    std::atomic<TMidiResult> FFirstFailure{MMSYSERR_NOERROR};
    TWakeEvent FWake{"The MIDI scheduler"}; // signalled from any thread, the real-time one too
    std::thread FThread;
};

} // namespace zw
