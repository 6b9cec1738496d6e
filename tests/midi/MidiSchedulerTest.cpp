// The MIDI scheduler against the scripted binding: audition phrases on the
// voices' channels, note-offs on every stop, thru mapping and filtering.
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"
#include "midi/MidiScheduler.h"
#include "support/MidiTestSupport.h"

#include <functional>
#include <memory>

namespace zw {
namespace {

using namespace std::chrono_literals;

uint32_t Word(uint32_t status, uint32_t data1, uint32_t data2 = 0) { return status | data1 << 8 | data2 << 16; }

class MidiScheduler : public ::testing::Test {
protected:
    MidiScheduler()
    {
        midi.OutDevices = {"Synth"};
        midi.InDevices = {"Keys"};
        out.SetDeviceID(0);
        out.OpenPort();
    }

    // A scheduler playing on the open output.
    std::unique_ptr<TMidiScheduler> Scheduler()
    {
        auto scheduler = std::make_unique<TMidiScheduler>();
        scheduler->SetOutput(&midi, out.Handle());
        return scheduler;
    }

    bool WaitForShorts(size_t count)
    {
        return WaitUntil([&] { return ShortWords(midi).size() >= count; });
    }

    TScriptedMidiBinding midi;
    TMidiOutput out{nullptr, &midi};
};

TEST_F(MidiScheduler, EachActiveVoicePlaysThePhraseInTurnOnItsChannel)
{
    auto scheduler = Scheduler();
    scheduler->SetPhrase({{48, 55}, 90, 30ms, 10ms});
    scheduler->SetVoice(0, true, 2);
    scheduler->SetVoice(1, true, 9);
    scheduler->SetVoice(2, false, 4);
    scheduler->SetPlaying(true);
    ASSERT_TRUE(WaitForShorts(16));
    scheduler->SetPlaying(false);
    const std::vector<uint32_t> words = ShortWords(midi);

    std::map<uint32_t, std::vector<uint32_t>> byChannel;
    for (const uint32_t word : words)
        byChannel[word & 0x0F].push_back(word);
    ASSERT_EQ(byChannel.size(), 2u);
    for (const uint32_t channel : {2u, 9u}) {
        const std::vector<uint32_t>& played = byChannel[channel];
        EXPECT_EQ(played.size() % 2, 0u) << "the last note was not ended";
        for (size_t i = 0; i < played.size(); ++i) {
            const uint32_t note = i / 2 % 2 == 0 ? 48 : 55;
            EXPECT_EQ(played[i], i % 2 == 0 ? Word(0x90 | channel, note, 90) : Word(0x80 | channel, note)) << i;
        }
    }
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(ShortWords(midi).size(), words.size()) << "played after stopping";
}

TEST_F(MidiScheduler, EveryStopPathEndsTheSoundingNoteAtOnce)
{
    const std::pair<const char*, std::function<void(std::unique_ptr<TMidiScheduler>&)>> paths[] = {
        {"stop", [](auto& s) { s->SetPlaying(false); }},
        {"voice off", [](auto& s) { s->SetVoice(0, false, 3); }},
        {"other channel", [](auto& s) { s->SetVoice(0, true, 5); }},
        {"output gone", [](auto& s) { s->SetOutput(nullptr, 0); }},
        {"end", [](auto& s) { s.reset(); }},
        {"restart", [](auto& s) { s->Restart(0); }},
    };
    for (const auto& [name, stop] : paths) {
        midi.ClearRecords();
        auto scheduler = Scheduler();
        scheduler->SetPhrase({{60}, 100, 10s, 10s});
        scheduler->SetVoice(0, true, 3);
        scheduler->SetPlaying(true);
        ASSERT_TRUE(WaitForShorts(1)) << name;
        stop(scheduler);
        const std::vector<uint32_t> words = ShortWords(midi);
        ASSERT_GE(words.size(), 2u) << name;
        EXPECT_EQ(words[0], Word(0x93, 60, 100)) << name;
        EXPECT_EQ(words[1], Word(0x83, 60)) << name;
        // A restart plays the phrase's first note again, at once.
        if (std::string_view(name) == "restart") {
            EXPECT_TRUE(WaitUntil([&] { return ShortWords(midi).size() == 3; }));
        }
    }
}

TEST_F(MidiScheduler, ThruPassesChannelMessagesToTheRoutedChannelsOnly)
{
    auto scheduler = Scheduler();
    TMidiScheduler::TThruRoutes routes{};
    routes[0] = 1 << 3 | 1 << 7;
    routes[4] = 1 << 4;
    scheduler->SetThruRoutes(routes);
    TMidiInput in(nullptr, &midi);
    in.SetThruSink(scheduler.get());
    in.OpenPort();
    in.StartInput();
    midi.ClearRecords();

    for (const uint32_t message : {Word(0x90, 60, 100), Word(0xF8, 0), Word(0xFE, 0), Word(0xE0, 0, 64),
                                   Word(0xC0, 5), Word(0x91, 61, 100), Word(0xB4, 7, 99)})
        EXPECT_TRUE(midi.InjectShort(0, message, 0));
    midi.InjectSysex(0, {0xF0, 0x7E, 0xF7}, 0);
    const std::vector<uint32_t> expected = {Word(0x93, 60, 100), Word(0x97, 60, 100), Word(0xE3, 0, 64),
                                            Word(0xE7, 0, 64),   Word(0xC3, 5),       Word(0xC7, 5),
                                            Word(0xB4, 7, 99)};
    ASSERT_TRUE(WaitForShorts(expected.size()));
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(ShortWords(midi), expected);

    // New routes end the thru note still sounding where the old ones sent it.
    midi.ClearRecords();
    routes[0] = 1 << 1;
    scheduler->SetThruRoutes(routes);
    EXPECT_EQ(ShortWords(midi), (std::vector<uint32_t>{Word(0x83, 60), Word(0x87, 60)}));
    in.SetThruSink(nullptr);
    in.ClosePort();
    EXPECT_EQ(scheduler->ThruDropped(), 0u);
}

// A held key's note ends however the thru path is cut: the input closed
// (also when its close fails half-way), changed or lost, or the output
// changed. A note-on still queued when the input closes ends too.
TEST_F(MidiScheduler, ThruNotesEndOnEveryInputCloseAndOutputChange)
{
    const std::pair<const char*, std::function<void(TMidiInput&, TMidiScheduler&)>> cuts[] = {
        {"input closed", [](TMidiInput& in, TMidiScheduler&) { in.ClosePort(); }},
        {"input close failing", [this](TMidiInput& in, TMidiScheduler&) {
             midi.Fail(TScriptedMidiBinding::TCall::InClose, MMSYSERR_ERROR);
             EXPECT_THROW(in.ClosePort(), EMidiInputError);
         }},
        // The note-on must have reached the old output before it changes;
        // one still queued would rightly go to the new output instead.
        {"output changed", [this](TMidiInput&, TMidiScheduler& s) {
             ASSERT_TRUE(WaitForShorts(1));
             s.SetOutput(&midi, out.Handle() + 1000);
         }},
    };
    for (const auto& [name, cut] : cuts) {
        auto scheduler = Scheduler();
        TMidiScheduler::TThruRoutes routes{};
        routes[0] = 1 << 3;
        scheduler->SetThruRoutes(routes);
        TMidiInput in(nullptr, &midi);
        in.SetThruSink(scheduler.get());
        in.OpenPort();
        in.StartInput();
        midi.ClearRecords();
        ASSERT_TRUE(midi.InjectShort(0, Word(0x90, 60, 100), 0)) << name;
        cut(in, *scheduler);
        std::this_thread::sleep_for(30ms);
        EXPECT_EQ(ShortWords(midi), (std::vector<uint32_t>{Word(0x93, 60, 100), Word(0x83, 60)})) << name;
        in.SetThruSink(nullptr);
    }
}

// A voice with an instrument of its own: its audition notes and the thru of
// its input reach that instrument only, and end there when it is taken away.
TEST_F(MidiScheduler, AVoiceWithItsOwnInstrumentPlaysThereOnly)
{
    struct TRecordingSink : TMidiVoiceSink {
        void Play(uint32_t message) noexcept override
        {
            std::lock_guard lock(Mutex);
            Played.push_back(message);
        }
        std::vector<uint32_t> Taken()
        {
            std::lock_guard lock(Mutex);
            return Played;
        }
        std::mutex Mutex;
        std::vector<uint32_t> Played;
    } instrument;
    auto scheduler = Scheduler();
    scheduler->SetPhrase({{48}, 90, 1000ms, 800ms});
    scheduler->SetVoiceSink(0, &instrument);
    scheduler->SetVoice(0, true, 0);
    scheduler->SetVoice(1, true, 0); // the same channel, on the output
    scheduler->SetThruRoutes({}, {0, 0, 1 << 0}); // input channel 3 to voice 0's instrument
    TMidiInput in(nullptr, &midi);
    in.SetThruSink(scheduler.get());
    in.OpenPort();
    in.StartInput();
    scheduler->SetPlaying(true);
    ASSERT_TRUE(WaitForShorts(1));
    EXPECT_TRUE(midi.InjectShort(0, Word(0x92, 64, 80), 0));
    ASSERT_TRUE(WaitUntil([&] { return instrument.Taken().size() >= 2; }));
    EXPECT_EQ(ShortWords(midi), (std::vector<uint32_t>{Word(0x90, 48, 90)})) << "only voice 1's note";
    scheduler->SetVoiceSink(0, nullptr);
    EXPECT_EQ(instrument.Taken(),
              (std::vector<uint32_t>{Word(0x90, 48, 90), Word(0x90, 64, 80), Word(0x80, 48), Word(0x80, 64)}));
    in.SetThruSink(nullptr);
    in.ClosePort();
}

} // namespace
} // namespace zw
