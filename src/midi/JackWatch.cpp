#include "midi/JackWatch.h"

#include <jack/jack.h>

#include <cstdio>

namespace zw {

namespace {

// libjack reports through one handler per process, on the thread that met
// the trouble; only the opening thread's reports are held back.
thread_local bool GOpening = false;

void PrintJackMessage(const char* message)
{
    if (!GOpening)
        std::fprintf(stderr, "%s\n", message);
}

} // namespace

std::unique_ptr<TJackWatch> TJackWatch::Open(const std::string& clientName)
{
    jack_set_error_function(&PrintJackMessage);
    jack_set_info_function(&PrintJackMessage);
    jack_status_t status{};
    GOpening = true;
    jack_client_t* client = jack_client_open(clientName.c_str(), JackNoStartServer, &status);
    GOpening = false;
    if (!client)
        return nullptr;
    std::unique_ptr<TJackWatch> watch(new TJackWatch(client));
    jack_set_process_callback(client, &TJackWatch::Process, watch.get());
    jack_on_shutdown(client, &TJackWatch::Shutdown, watch.get());
    if (jack_activate(client) != 0)
        return nullptr;
    watch->FPeriodFrames = jack_get_buffer_size(client);
    watch->FSampleRate = jack_get_sample_rate(client);
    return watch;
}

TJackWatch::TJackWatch(jack_client_t* client) : FClient(client) {}

TJackWatch::~TJackWatch()
{
    jack_client_close(FClient);
}

std::vector<std::string> TJackWatch::MidiPortNames(bool inputs) const
{
    std::vector<std::string> names;
    if (Stopped())
        return names;
    const char** ports = jack_get_ports(FClient, nullptr, JACK_DEFAULT_MIDI_TYPE,
                                        inputs ? JackPortIsInput : JackPortIsOutput);
    for (const char** port = ports; port && *port; ++port)
        names.emplace_back(*port);
    jack_free(ports);
    return names;
}

int TJackWatch::Process(uint32_t, void* self)
{
    static_cast<TJackWatch*>(self)->FCycles.fetch_add(1, std::memory_order_acq_rel);
    return 0;
}

void TJackWatch::Shutdown(void* self)
{
    static_cast<TJackWatch*>(self)->FStopped.store(true, std::memory_order_release);
}

} // namespace zw
