// The engine's output on the JACK server: the client's name and connections,
// and no allocation on its audio thread while four channels audition and
// genomes arrive.
#include "audio/AudioOutput.h"
#include "midi/MidiOut.h"
#include "midi/MidiScheduler.h"
#include "midi/SynthBinding.h"
#include "support/AllocationCounter.h"
#include "support/AudioThreadMarker.h"
#include "support/MidiTestSupport.h"

#include <jack/jack.h>

#include <atomic>
#include <string>

// Every operator new on a thread marked as the audio thread is counted. The C
// library's mallocs there are counted apart (through the sanitizers' hook):
// Debian's FluidSynth enters an OpenMP parallel region on every render, and
// libgomp allocates a thread team each time, which no setting avoids.
namespace {
std::atomic<int> gAudioMallocs{0};

void CountMalloc(const volatile void*, size_t) { gAudioMallocs += zw::AllocationsCountedOnThisThread(); }
void IgnoreFree(const volatile void*) {}
} // namespace

extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, size_t),
                                                         void (*)(const volatile void*)) __attribute__((weak));

namespace zw {
namespace {

using namespace std::chrono_literals;

// The ports `port` is connected to.
std::vector<std::string> Connections(jack_client_t* client, const std::string& port)
{
    std::vector<std::string> names;
    if (jack_port_t* found = jack_port_by_name(client, port.c_str())) {
        const char** connections = jack_port_get_all_connections(client, found);
        for (const char** name = connections; name && *name; ++name)
            names.emplace_back(*name);
        jack_free(connections);
    }
    return names;
}

TEST(AudioOnJack, ClientZwirbelsAudioPlaysToTheSystemAndAllocatesNothingOnItsThread)
{
    ASSERT_TRUE(JackServerAnswers()) << "No JACK server answers; `make test` starts one.";
    if (__sanitizer_install_malloc_and_free_hooks)
        __sanitizer_install_malloc_and_free_hooks(&CountMalloc, &IgnoreFree);
    TScriptedMidiBinding system;
    TSynthBinding synth(system, TSynthOutput::Audio);
    TMidiOutput out(nullptr, &synth); // the output opens with the synthesizer's first use
    out.SetProductName(kSynthDeviceName);
    out.OpenPort();
    ASSERT_TRUE(WaitUntil([&] { return synth.Audio().Status().Sounding; }, 10s)) << synth.Audio().Status().Failure;
    EXPECT_EQ(synth.Audio().Status().Description.rfind("JACK", 0), 0u) << synth.Audio().Status().Description;

    jack_status_t status{};
    jack_client_t* client = jack_client_open("zwirbels-audio-test", JackNoStartServer, &status);
    ASSERT_NE(client, nullptr);
    const char** ports = jack_get_ports(client, "^zwirbels-audio:", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
    std::vector<std::string> outputs;
    for (const char** port = ports; port && *port; ++port)
        outputs.emplace_back(*port);
    jack_free(ports);
    ASSERT_EQ(outputs.size(), 2u);
    EXPECT_EQ(Connections(client, outputs[0]), std::vector<std::string>{"system:playback_1"});
    EXPECT_EQ(Connections(client, outputs[1]), std::vector<std::string>{"system:playback_2"});
    jack_client_close(client);

    // Four channels auditioning, genomes sent in between, the gains changed, test tones.
    auto marker = std::make_unique<TAudioThreadMarker>();
    TAudioThreadMarker& marked = *marker;
    synth.Audio().SetInstrument(1, std::move(marker));
    TMidiScheduler scheduler;
    scheduler.SetOutput(&synth, out.Handle());
    scheduler.SetPhrase({{60, 64, 67}, 100, 100ms, 80ms});
    for (int voice = 0; voice < 4; ++voice) {
        out.SendShort(static_cast<uint8_t>(0xC0 | voice), static_cast<uint8_t>(80 + voice), 0);
        scheduler.SetVoice(voice, true, static_cast<uint8_t>(voice));
    }
    ASSERT_TRUE(WaitUntil([&] { return marked.Periods > 10; }));
    ResetCountedAllocations();
    gAudioMallocs = 0;
    scheduler.SetPlaying(true);
    for (int genome = 0; genome < 20; ++genome) {
        TMidiOutBatch batch(out);
        for (uint8_t n = 0; n < 30; ++n) {
            const uint8_t nrpn[] = {0xB0, 99, 120, 0xB0, 98, n, 0xB0, 6, static_cast<uint8_t>(genome * 3), 0xB0, 74,
                                    static_cast<uint8_t>(n * 4)};
            out.SendLong(nrpn, sizeof nrpn);
        }
        synth.Audio().Engine().SetGain(genome % 2 ? 0.5f : 1.0f);
        // The Sound dialog's gain and test tone.
        TSynthSettings settings;
        settings.Gain = genome % 2 ? 30 : 60;
        std::string failure;
        bool restarted = false;
        ASSERT_TRUE(synth.Apply(settings, failure, restarted)) << failure;
        if (genome % 5 == 0)
            synth.Audio().PlayTestTone();
        std::this_thread::sleep_for(50ms);
    }
    scheduler.SetPlaying(false);
    const int periods = marked.Periods;
    EXPECT_EQ(CountedAllocations(), 0) << "allocations on the audio thread in " << periods << " periods";
    EXPECT_GT(periods, 50);
    ::testing::Test::RecordProperty("c_mallocs_on_the_audio_thread", gAudioMallocs.load());
    if (__sanitizer_install_malloc_and_free_hooks)
        __sanitizer_install_malloc_and_free_hooks(nullptr, nullptr);
}

} // namespace
} // namespace zw
