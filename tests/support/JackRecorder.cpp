#include "support/JackRecorder.h"

#include <jack/jack.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace zw {

TJackRecorder::TJackRecorder(const std::string& name, std::chrono::seconds capacity)
{
    FClient = jack_client_open(name.c_str(), JackNoStartServer, nullptr);
    if (!FClient)
        throw std::runtime_error("no JACK server answers");
    FSamples.resize(static_cast<size_t>(capacity.count()) * jack_get_sample_rate(FClient));
    FInput = jack_port_register(FClient, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(FClient, &TJackRecorder::Process, this);
    if (!FInput || jack_activate(FClient) != 0) {
        jack_client_close(FClient);
        throw std::runtime_error("the JACK recorder cannot start");
    }
}

TJackRecorder::~TJackRecorder()
{
    jack_client_close(FClient);
}

bool TJackRecorder::ConnectFrom(const std::string& client, std::chrono::milliseconds timeout)
{
    const std::string pattern = "^" + client + ":";
    for (const auto end = std::chrono::steady_clock::now() + timeout; std::chrono::steady_clock::now() < end;) {
        if (const char** ports = jack_get_ports(FClient, pattern.c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput)) {
            // A client's ports show before it is activated; until then a
            // connection is refused, so it is tried again.
            const bool connected = jack_connect(FClient, ports[0], jack_port_name(FInput)) == 0;
            jack_free(ports);
            if (connected)
                return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

std::vector<float> TJackRecorder::Samples() const
{
    return std::vector<float>(FSamples.begin(), FSamples.begin() + static_cast<std::ptrdiff_t>(Frames()));
}

unsigned TJackRecorder::SampleRate() const { return jack_get_sample_rate(FClient); }

int TJackRecorder::Process(unsigned frames, void* self)
{
    auto& recorder = *static_cast<TJackRecorder*>(self);
    const auto* input = static_cast<const float*>(jack_port_get_buffer(recorder.FInput, frames));
    const size_t done = recorder.FFrames.load(std::memory_order_relaxed);
    const size_t taken = std::min<size_t>(frames, recorder.FSamples.size() - done);
    std::memcpy(recorder.FSamples.data() + done, input, taken * sizeof(float));
    recorder.FFrames.store(done + taken, std::memory_order_release);
    return 0;
}

} // namespace zw
