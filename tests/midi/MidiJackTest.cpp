// Against a running JACK server (scripts/run-tests starts `jackd -d dummy`).
#include "midi/FrmMidDlg.h"
#include "midi/MidiCallback.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"
#include "midi/MidiScheduler.h"
#include "midi/RtMidiBinding.h"
#include "support/AllocationCounter.h"
#include "support/JackPeer.h"
#include "support/MidiTestSupport.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFile>

#include <gtest/gtest.h>

#include <thread>
#include <unistd.h>

namespace zw {
namespace {

using namespace std::chrono_literals;

// Lets the GUI thread take its notices until `done` holds; false on timeout.
template <typename F>
bool PumpUntil(F done, std::chrono::milliseconds timeout = 10s)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

std::vector<std::string> OutputNames(TMidiBinding& binding)
{
    std::vector<std::string> names;
    for (uint32_t i = 0; i < binding.OutGetNumDevs(); ++i) {
        TMidiOutCaps caps;
        EXPECT_EQ(binding.OutGetDevCaps(i, caps), MMSYSERR_NOERROR);
        names.push_back(caps.szPname);
    }
    return names;
}

std::vector<std::string> InputNames(TMidiBinding& binding)
{
    std::vector<std::string> names;
    for (uint32_t i = 0; i < binding.InGetNumDevs(); ++i) {
        TMidiInCaps caps;
        EXPECT_EQ(binding.InGetDevCaps(i, caps), MMSYSERR_NOERROR);
        names.push_back(caps.szPname);
    }
    return names;
}

bool Contains(const std::vector<std::string>& names, const std::string& name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

class JackMidi : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(JackServerAnswers())
            << "No JACK server answers. `make test` starts one (scripts/run-tests); by hand start "
               "`jackd --no-realtime -d dummy &` first.";
        binding = MakeRtMidiBinding(TMidiSystem::Jack);
        peer = std::make_unique<TJackPeer>("zwpeer" + std::to_string(getpid()));
    }

    std::unique_ptr<TMidiOutput> OutputToPeer()
    {
        auto port = std::make_unique<TMidiOutput>(nullptr, binding.get());
        port->SetProductName(QString::fromStdString(peer->InPortName()));
        port->OpenPort();
        return port;
    }

    std::unique_ptr<TMidiBinding> binding;
    std::unique_ptr<TJackPeer> peer;
};

TEST_F(JackMidi, DeviceListsNameTheServersPorts)
{
    EXPECT_TRUE(Contains(OutputNames(*binding), peer->InPortName()));
    EXPECT_TRUE(Contains(InputNames(*binding), peer->OutPortName()));

    TMidiOutCaps mapper;
    ASSERT_EQ(binding->OutGetDevCaps(MIDI_MAPPER, mapper), MMSYSERR_NOERROR);
    // Fixed, although this test program has a name of its own.
    EXPECT_EQ(mapper.szPname, "zwirbels virtual output");

    TFormMidiDialog dialog(nullptr, binding.get());
    auto* outputs = dialog.findChild<QComboBox*>("ComboBoxOutputs");
    EXPECT_EQ(outputs->itemText(0).toStdString(), mapper.szPname);
    EXPECT_GE(outputs->findText(QString::fromStdString(peer->InPortName())), 1);
    EXPECT_GE(dialog.findChild<QComboBox*>("ComboBoxInputs")->findText(QString::fromStdString(peer->OutPortName())), 0);
}

TEST_F(JackMidi, WithoutAnAlsaSequencerTheAutomaticChoiceIsJack)
{
    if (QFile::exists("/dev/snd/seq"))
        GTEST_SKIP() << "an ALSA sequencer is present, so the automatic choice is ALSA";
    auto automatic = MakeRtMidiBinding();
    EXPECT_TRUE(Contains(OutputNames(*automatic), peer->InPortName()));
}

TEST_F(JackMidi, LongMessagesArriveExactlyAndInOrder)
{
    auto port = OutputToPeer();
    int done = 0;
    port->SetOnmidioutput([&](TMidiOutput*) { ++done; });

    std::vector<TMidiBytes> expected;
    int sends = 0;
    auto sendLong = [&](const TMidiBytes& bytes) {
        port->SendLong(bytes.data(), static_cast<uint16_t>(bytes.size()));
        ++sends;
    };
    // A burst of 120 control changes, one long message each, as a rule result goes out.
    for (uint8_t gene = 0; gene < 120; ++gene) {
        const TMidiBytes cc = {static_cast<uint8_t>(0xB0 | gene % 16), gene, static_cast<uint8_t>(127 - gene)};
        sendLong(cc);
        expected.push_back(cc);
    }
    // System exclusive data, then one long message holding several messages with running status.
    TMidiBytes sysex = {0xF0, 0x7D};
    for (int i = 0; i < 1000; ++i)
        sysex.push_back(static_cast<uint8_t>(i % 128));
    sysex.push_back(0xF7);
    sendLong(sysex);
    expected.push_back(sysex);
    sendLong({0x93, 60, 100, 62, 101, 0xC3, 5});
    expected.insert(expected.end(), {{0x93, 60, 100}, {0x93, 62, 101}, {0xC3, 5}});
    port->SendShort(0xE0, 0x00, 0x40);
    expected.push_back({0xE0, 0x00, 0x40});

    ASSERT_TRUE(peer->WaitFor(expected.size())) << "arrived: " << peer->Received().size();
    std::this_thread::sleep_for(50ms); // nothing more may come
    EXPECT_EQ(peer->Received(), expected);
    EXPECT_TRUE(PumpUntil([&] { return done == sends; })) << done << " of " << sends << " completed";
    EXPECT_EQ(port->OutstandingCount(), 0u);
    EXPECT_TRUE(port->ClosePort());
}

TEST_F(JackMidi, IncompleteBytesAreNeverSentHalfAndAreReported)
{
    auto port = OutputToPeer();
    const TMidiBytes bytes = {0x05, 0xB0, 7, 0xF0, 9, 0xF0, 1, 2, 0xB1, 7, 64};
    ExpectRaises<EmidioutputError>([&] { port->SendLong(bytes.data(), static_cast<uint16_t>(bytes.size())); },
                                   TMidiOutput::IncompleteText(8));
    // Running status goes on from the last call, as on a serial line.
    const TMidiBytes dataOnly = {9, 10};
    port->SendLong(dataOnly.data(), 2);
    ASSERT_TRUE(peer->WaitFor(2));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(peer->Received(), (std::vector<TMidiBytes>{{0xB1, 7, 64}, {0xB1, 9, 10}}));
}

TEST_F(JackMidi, ClosingSilencesAllChannels)
{
    auto port = OutputToPeer();
    port->ClosePort();
    ASSERT_TRUE(peer->WaitFor(32));
    const auto received = peer->Received();
    for (uint8_t channel = 0; channel < 16; ++channel) {
        EXPECT_EQ(received[2 * channel], (TMidiBytes{static_cast<uint8_t>(0xB0 | channel), 123, 0}));
        EXPECT_EQ(received[2 * channel + 1], (TMidiBytes{static_cast<uint8_t>(0xB0 | channel), 120, 0}));
    }
}

TEST_F(JackMidi, AMessageTooLongForTheServerIsRefusedWhole)
{
    auto port = OutputToPeer();
    TMidiBytes sysex(9000, 0x11);
    sysex.front() = 0xF0;
    sysex.back() = 0xF7;
    ExpectRaises<EmidioutputError>([&] { port->SendLong(sysex.data(), static_cast<uint16_t>(sysex.size())); },
                                   BindingText(MIDIERR_TOOLONG));
    EXPECT_EQ(port->OutstandingCount(), 0u);
    EXPECT_FALSE(peer->WaitFor(1, 100ms));
}

TEST_F(JackMidi, InputStoresMessagesAndSysexButNotSensingOrClock)
{
    TMidiInput port(nullptr, binding.get());
    port.SetProductName(QString::fromStdString(peer->OutPortName()));
    ASSERT_EQ(port.ProductName().toStdString(), peer->OutPortName());
    int inputs = 0;
    port.SetOnMidiInput([&](TMidiInput*) { ++inputs; });
    port.OpenPort();
    ASSERT_TRUE(port.IsOpen()) << port.ErrorText(port.Error());
    port.StartInput();

    TMidiBytes sysex = {0xF0, 0x43, 0x10};
    for (int i = 0; i < 200; ++i)
        sysex.push_back(static_cast<uint8_t>(i % 100));
    sysex.push_back(0xF7);
    peer->Send({0xFE});
    peer->Send({0x90, 60, 100});
    peer->Send({0xF8});
    peer->Send(sysex);
    peer->Send({0xC2, 7});
    peer->Send({0xFA});
    ASSERT_TRUE(PumpUntil([&] { return inputs == 4; })) << "events: " << inputs;
    std::this_thread::sleep_for(50ms);
    QCoreApplication::processEvents();
    EXPECT_EQ(port.PendingEventCount(), 4);
    EXPECT_EQ(inputs, 4);

    const TRingEvent* events = port.RingBuffer()->Start;
    EXPECT_EQ(events[0].Message, 0x643C90u);
    EXPECT_EQ(events[1].Message, 0u);
    ASSERT_EQ(events[1].Header, 1u);
    EXPECT_EQ(events[2].Message, 0x07C2u);
    EXPECT_EQ(events[3].Message, 0xFAu);
    for (int i = 0; i < 4; ++i)
        EXPECT_LT(events[i].Timestamp, 10000u) << "milliseconds since StartInput";

    // Time stamps count milliseconds.
    peer->Send({0x80, 60, 0});
    ASSERT_TRUE(PumpUntil([&] { return inputs == 5; }));
    std::this_thread::sleep_for(300ms);
    peer->Send({0x80, 61, 0});
    ASSERT_TRUE(PumpUntil([&] { return inputs == 6; }));
    const uint32_t gap = events[5].Timestamp - events[4].Timestamp;
    EXPECT_GE(gap, 280u);
    EXPECT_LT(gap, 1000u);
    const TMidiHdr* header = port.SysexBuffer(1)->Header();
    EXPECT_EQ(TMidiBytes(header->lpData, header->lpData + header->dwBytesRecorded), sysex);

    port.StopInput();
    port.ClosePort();
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(JackMidi, TheMapperIsAPortOthersConnectTo)
{
    TMidiOutput port(nullptr, binding.get());
    port.SetProductName("zwirbels virtual output");
    EXPECT_EQ(port.DeviceID(), MIDI_MAPPER);
    port.OpenPort();
    TMidiInput input(nullptr, binding.get());
    input.SetProductName(QString::fromStdString(peer->OutPortName()));
    input.OpenPort();
    // Neither the virtual output nor the input's own port is offered: no self-loops.
    for (const std::vector<std::string>& names : {InputNames(*binding), OutputNames(*binding)})
        for (const std::string& name : names)
            EXPECT_EQ(name.rfind("zwirbels", 0), std::string::npos) << "own port offered: " << name;
    ASSERT_TRUE(peer->ListenTo(":virtual output"));
    std::this_thread::sleep_for(50ms); // the connection takes effect with the next cycle
    const TMidiBytes cc = {0xB5, 74, 33};
    port.SendLong(cc.data(), 3);
    ASSERT_TRUE(peer->WaitFor(1));
    EXPECT_EQ(peer->Received().front(), cc);
}

TEST_F(JackMidi, ADeviceThatHasGoneGivesClearErrors)
{
    TMidiOutput output(nullptr, binding.get());
    output.SetProductName(QString::fromStdString(peer->InPortName()));
    TMidiInput input(nullptr, binding.get());
    input.SetProductName(QString::fromStdString(peer->OutPortName()));
    const QString name = QString::fromStdString(peer->InPortName());
    peer.reset();
    std::this_thread::sleep_for(50ms);

    ExpectRaises<EmidioutputError>([&] { output.OpenPort(); }, BindingText(MIDIERR_NODEVICE));
    EXPECT_FALSE(output.IsOpen());
    ExpectRaises<EmidioutputError>([&] { output.SetProductName(name); },
                                   "The MIDI output device \"" + name.toStdString() + "\" is not installed");
    input.OpenPort();
    EXPECT_FALSE(input.IsOpen());
    EXPECT_EQ(input.Error(), MIDIERR_NODEVICE);
}

// Marks its thread as delivering input, then is the ports' driver callback.
void MarkingCallback(TMidiHandle handle, uint32_t message, uintptr_t instance, uintptr_t param1,
                     uintptr_t param2) noexcept
{
    CountAllocationsOnThisThread(true);
    MidiDriverCallback(handle, message, instance, param1, param2);
}

// On JACK, input arrives inside the server's process cycle: after the first
// delivery nothing is allocated there, not for a delivery longer than any
// before (a SysEx dump) nor in passing messages on to thru, and a delivery
// holding several messages (an NRPN) is split into them.
TEST_F(JackMidi, InputDeliveryAllocatesNothingAndSplitsSeveralMessages)
{
    TMidiScheduler thru; // no output: it takes the messages and drops them
    int inputs = 0;
    TMidiNotifier notifier([&](TMidiNotice notice, uintptr_t) { inputs += notice == TMidiNotice::Input; });
    TCallbackBlock* block = AllocCallbackBlock(); // a port's parts, around the marking callback
    block->RingBuffer = AllocRingBuffer(64);
    block->NotificationWindow = &notifier;
    block->ThruSink = &thru;
    const auto names = InputNames(*binding);
    const auto device = static_cast<uint32_t>(std::find(names.begin(), names.end(), peer->OutPortName()) - names.begin());
    TMidiHandle handle = 0;
    ASSERT_EQ(binding->InOpen(handle, device, &MarkingCallback, reinterpret_cast<uintptr_t>(block), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    ASSERT_EQ(binding->InStart(handle), MMSYSERR_NOERROR);

    peer->Send({0xB0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
    ASSERT_TRUE(PumpUntil([&] { return inputs == 8; }));
    ResetCountedAllocations();
    TMidiBytes dump(4000, 0x11); // no sysex buffer is queued: dropped, but delivered whole first
    dump.front() = 0xF0;
    dump.back() = 0xF7;
    peer->Send(dump);
    peer->Send({0x90, 60, 100});
    peer->Send({0xF8}); // clock: not stored
    peer->Send({0xB0, 0x63, 0x01, 0x62, 0x05, 0x06, 0x40, 0xB0, 0x26, 0x00});
    peer->Send({0x40, 0x41, 0xC0, 0x07}); // begins with data bytes
    ASSERT_TRUE(PumpUntil([&] { return inputs == 8 + 6; })) << "events: " << inputs;
    EXPECT_EQ(CountedAllocations(), 0) << "allocations on the delivery thread";
    const uint32_t expected[] = {0x643C90, 0x0163B0, 0x0562B0, 0x4006B0, 0x0026B0, 0x07C0};
    for (size_t i = 0; i < std::size(expected); ++i)
        EXPECT_EQ(block->RingBuffer->Start[8 + i].Message, expected[i]) << "event " << i;

    EXPECT_EQ(binding->InClose(handle), MMSYSERR_NOERROR);
    EXPECT_EQ(thru.ThruDropped(), 0u);
    FreeRingBuffer(block->RingBuffer);
    FreeCallbackBlock(block);
}

} // namespace
} // namespace zw
