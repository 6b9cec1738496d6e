#pragma once

#include "midi/JackPacer.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

typedef struct _jack_client jack_client_t;

namespace zw {

// A JACK client without ports that tells whether the server still runs and
// counts its process cycles, so that senders can pace themselves to what the
// server carries per cycle. RtMidi reports neither.
class TJackWatch : public TCycleClock {
public:
    // Null when no server answers; never starts one. libjack's complaints
    // about a missing server are not printed: a missing server is looked
    // for again and again, and is told in the program's own words.
    static std::unique_ptr<TJackWatch> Open(const std::string& clientName);
    ~TJackWatch() override;
    TJackWatch(const TJackWatch&) = delete;
    TJackWatch& operator=(const TJackWatch&) = delete;

    bool Stopped() const override { return FStopped.load(std::memory_order_acquire); }
    uint64_t Cycles() const override { return FCycles.load(std::memory_order_acquire); }
    uint32_t PeriodFrames() const { return FPeriodFrames; }
    uint32_t SampleRate() const { return FSampleRate; }
    // The full names of the server's MIDI ports that take input (inputs) or
    // give output, as RtMidi lists them. Reads the server's shared port table,
    // so it neither waits for the server nor needs a client of its own.
    std::vector<std::string> MidiPortNames(bool inputs) const;

private:
    explicit TJackWatch(jack_client_t* client);
    static int Process(uint32_t frames, void* self);
    static void Shutdown(void* self);

    jack_client_t* FClient;
    std::atomic<bool> FStopped{false};
    std::atomic<uint64_t> FCycles{0};
    uint32_t FPeriodFrames = 0;
    uint32_t FSampleRate = 0;
};

} // namespace zw
