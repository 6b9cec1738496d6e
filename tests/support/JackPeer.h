#pragma once

#include "audio/AudioOutput.h" // JackServerAnswers

#include <rtmidi/RtMidi.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zw {

using TMidiBytes = std::vector<uint8_t>;

// Another program on the JACK server: a MIDI input port that records what
// arrives (with the time of arrival) and a MIDI output port that sends.
class TJackPeer {
public:
    explicit TJackPeer(const std::string& name);
    ~TJackPeer();

    // Full JACK names of the two ports.
    std::string InPortName() const { return FName + "-in:in"; }
    std::string OutPortName() const { return FName + "-out:out"; }

    void Send(const TMidiBytes& message);
    // Connects the recording input to another program's output port instead.
    bool ListenTo(const std::string& portNameEnd);

    // Waits until `count` messages have arrived; false on timeout.
    bool WaitFor(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    std::vector<TMidiBytes> Received();
    std::vector<std::chrono::steady_clock::time_point> ArrivalTimes();
    void Clear();

private:
    // What arrived. The callbacks write into it; it outlives the peer, since
    // after its server was killed libjack may still deliver once the clients
    // are closed.
    struct TRecord {
        std::mutex Mutex;
        std::condition_variable Arrival;
        std::vector<TMidiBytes> Received;
        std::vector<std::chrono::steady_clock::time_point> Times;
    };
    static void Arrived(double, std::vector<unsigned char>* message, void* record);

    std::string FName;
    std::shared_ptr<TRecord> FRecord;
    std::unique_ptr<RtMidiIn> FIn;
    std::unique_ptr<RtMidiIn> FListener;
    std::unique_ptr<RtMidiOut> FOut;
};

} // namespace zw
