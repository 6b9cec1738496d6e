#include "midi/MidiOut.h"
#include "support/MidiTestSupport.h"
#include "support/ScriptedDialogs.h"

#include <gtest/gtest.h>

#include <thread>

namespace zw {
namespace {

using TCall = TScriptedMidiBinding::TCall;
using TBytes = std::vector<uint8_t>;

class MidiOutput : public ::testing::Test {
protected:
    MidiOutput() { midi.OutDevices = {"Synth A", "Synth B"}; }

    // An output port open on "Synth B", with the records cleared.
    std::unique_ptr<TMidiOutput> OpenOnB()
    {
        auto port = std::make_unique<TMidiOutput>(nullptr, &midi);
        port->SetProductName("Synth B");
        EXPECT_TRUE(port->OpenPort());
        midi.ClearRecords();
        return port;
    }

    TScriptedMidiBinding midi;
};

TEST_F(MidiOutput, StartsClosedOnDeviceZeroWithoutAskingTheSystem)
{
    TMidiOutput port(nullptr, &midi);
    EXPECT_EQ(port.DeviceID(), 0u);
    EXPECT_TRUE(port.ProductName().isEmpty());
    EXPECT_FALSE(port.IsOpen());
    EXPECT_TRUE(midi.Calls().empty());
}

TEST_F(MidiOutput, SelectsByNumberAndCopiesTheCapabilities)
{
    TMidiOutput port(nullptr, &midi);
    port.SetDeviceID(1);
    EXPECT_EQ(port.ProductName(), "Synth B");
    EXPECT_EQ(port.Technology(), MOD_MIDIPORT);
    EXPECT_EQ(port.ChannelMask(), 0xFFFF);
    EXPECT_EQ(port.DriverVersion(), 0x0100u);

    port.SetDeviceID(MIDI_MAPPER);
    EXPECT_EQ(port.DeviceID(), MIDI_MAPPER);
    EXPECT_EQ(port.ProductName(), "Scripted mapper");
    EXPECT_EQ(port.Technology(), MOD_MAPPER);

    ExpectRaises<EmidioutputError>([&] { port.SetDeviceID(2); }, "Invalid MIDI out device ID");
    ExpectRaises<EmidioutputError>([&] { port.SetDeviceID(0xFFFFFFFE); }, "Invalid MIDI out device ID");
    EXPECT_EQ(port.DeviceID(), MIDI_MAPPER);
}

TEST_F(MidiOutput, WithoutDevicesOnlyTheMapperCanBeSelected)
{
    midi.OutDevices.clear();
    TMidiOutput port(nullptr, &midi);
    ExpectRaises<EmidioutputError>([&] { port.SetDeviceID(0); }, "Invalid MIDI out device ID");
    port.SetProductName("Scripted mapper");
    EXPECT_EQ(port.DeviceID(), MIDI_MAPPER);
    EXPECT_EQ(midi.Calls(), (std::vector<std::string>{"OutGetDevCaps", "OutGetDevCaps"}))
        << "no device to scan: the mapper's query, then the selection's";
}

TEST_F(MidiOutput, AFailedCapabilityQueryKeepsTheNumberButNotTheName)
{
    TMidiOutput port(nullptr, &midi);
    port.SetDeviceID(0);
    midi.Fail(TCall::OutGetDevCaps, MMSYSERR_NOMEM);
    ExpectRaises<EmidioutputError>([&] { port.SetDeviceID(1); }, BindingText(MMSYSERR_NOMEM));
    EXPECT_EQ(port.DeviceID(), 1u);
    EXPECT_EQ(port.ProductName(), "Synth A");
    EXPECT_EQ(port.LastError(), MMSYSERR_NOMEM);
}

TEST_F(MidiOutput, SelectsByExactNameOrRaisesNotInstalled)
{
    TMidiOutput port(nullptr, &midi);
    port.SetProductName("Synth B");
    EXPECT_EQ(port.DeviceID(), 1u);

    const std::string notInstalled = "The MIDI output device \"synth a\" is not installed";
    ExpectRaises<EmidioutputError>([&] { port.SetProductName("synth a"); }, notInstalled);
    ExpectRaises<EmidioutputError>([&] { port.SetProductName("Synth"); },
                                   "The MIDI output device \"Synth\" is not installed");
    EXPECT_EQ(port.DeviceID(), 1u);
    EXPECT_EQ(port.ProductName(), "Synth B");

    // The device has gone since it was selected: the selection stays.
    midi.OutDevices = {"Synth A"};
    ExpectRaises<EmidioutputError>([&] { port.SetProductName("Synth B"); },
                                   "The MIDI output device \"Synth B\" is not installed");
    EXPECT_EQ(port.DeviceID(), 1u);
    EXPECT_EQ(port.ProductName(), "Synth B");

    midi.Fail(TCall::OutGetDevCaps, MMSYSERR_ERROR);
    ExpectRaises<EmidioutputError>([&] { port.SetProductName("Synth A"); }, BindingText(MMSYSERR_ERROR));
}

TEST_F(MidiOutput, RefusesSelectionWhileOpen)
{
    auto port = OpenOnB();
    ExpectRaises<EmidioutputError>([&] { port->SetDeviceID(1); },
                                   "Change to MIDI out Device ID while device was open");
    ExpectRaises<EmidioutputError>([&] { port->SetProductName("Synth A"); },
                                   "Change to ProductName while MIDI out device was open");
    EXPECT_EQ(port->DeviceID(), 1u);
    EXPECT_TRUE(midi.Calls().empty());
}

TEST_F(MidiOutput, OpenAndCloseTalkToTheSelectedDevice)
{
    TMidiOutput port(nullptr, &midi);
    port.SetDeviceID(MIDI_MAPPER);
    EXPECT_TRUE(port.OpenPort());
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(midi.OpenDeviceCount(), 1u);
    midi.ClearRecords();

    EXPECT_TRUE(port.ClosePort());
    EXPECT_EQ(midi.Calls(), (std::vector<std::string>{"OutReset", "OutClose"}));
    EXPECT_EQ(midi.OpenDeviceCount(), 0u);

    midi.ClearRecords();
    EXPECT_FALSE(port.ClosePort());
    EXPECT_TRUE(midi.Calls().empty()) << "closing a closed port makes no call";

    // Reopening reuses the port's callback block.
    EXPECT_TRUE(port.OpenPort());
    EXPECT_TRUE(port.ClosePort());
}

TEST_F(MidiOutput, AFailedOpenRaisesAndLeavesThePortClosed)
{
    TMidiOutput port(nullptr, &midi);
    midi.Fail(TCall::OutOpen, MMSYSERR_ALLOCATED);
    ExpectRaises<EmidioutputError>([&] { port.OpenPort(); }, BindingText(MMSYSERR_ALLOCATED));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(midi.OpenDeviceCount(), 0u);
    EXPECT_TRUE(port.OpenPort()) << "the next open works";
}

TEST_F(MidiOutput, ASecondOpenIsRefusedAndKeepsTheOpenDevice)
{
    auto port = OpenOnB();
    ExpectRaises<EmidioutputError>([&] { port->OpenPort(); }, BindingText(MMSYSERR_ALLOCATED));
    EXPECT_EQ(midi.OpenDeviceCount(), 1u);
    const uint8_t cc[] = {0xB0, 1, 2};
    port->SendLong(cc, 3);
    EXPECT_EQ(midi.Sent().size(), 1u);
}

TEST_F(MidiOutput, AFailedCloseKeepsThePortOpenForAnotherTry)
{
    auto port = OpenOnB();
    midi.Fail(TCall::OutReset, MMSYSERR_INVALHANDLE);
    ExpectRaises<EmidioutputError>([&] { port->ClosePort(); }, BindingText(MMSYSERR_INVALHANDLE));
    EXPECT_TRUE(port->IsOpen());

    midi.Fail(TCall::OutClose, MIDIERR_STILLPLAYING);
    ExpectRaises<EmidioutputError>([&] { port->ClosePort(); }, BindingText(MIDIERR_STILLPLAYING));
    EXPECT_TRUE(port->IsOpen());

    EXPECT_TRUE(port->ClosePort());
    EXPECT_EQ(midi.OpenDeviceCount(), 0u);
}

TEST_F(MidiOutput, SendShortPacksStatusAndDataIntoOneWord)
{
    auto port = OpenOnB();
    port->SendShort(0x92, 0x3C, 0x7F);
    const auto sent = midi.Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_FALSE(sent[0].Long);
    EXPECT_EQ(sent[0].Word, 0x7F3C92u);
    EXPECT_EQ(sent[0].DeviceId, 1u);

    port->ClosePort();
    ExpectRaises<EmidioutputError>([&] { port->SendShort(0x90, 1, 2); }, BindingText(MMSYSERR_INVALHANDLE));
}

TEST_F(MidiOutput, SendLongSendsTheBytesAsTheyAreAndReleasesThemWhenDone)
{
    auto port = OpenOnB();
    int done = 0;
    port->SetOnmidioutput([&](TMidiOutput* sender) {
        EXPECT_EQ(sender, port.get());
        ++done;
    });
    const TBytes anything = {0x01, 0xB0, 0xF7, 0x45}; // no framing is looked at
    port->SendLong(anything.data(), static_cast<uint16_t>(anything.size()));
    const TBytes cc = {0xB3, 0x07, 0x64};
    port->SendLong(cc.data(), 3);
    const auto sent = midi.Sent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_TRUE(sent[0].Long);
    EXPECT_EQ(sent[0].Bytes, anything);
    EXPECT_EQ(sent[1].Bytes, cc);
    EXPECT_EQ(midi.Calls(), (std::vector<std::string>{"OutPrepareHeader", "OutLongMsg", "OutPrepareHeader",
                                                      "OutLongMsg"}));

    EXPECT_EQ(done, 0) << "completion reaches the GUI thread only through the queue";
    EXPECT_EQ(port->OutstandingCount(), 2u);
    DeliverNotices();
    EXPECT_EQ(done, 2);
    EXPECT_EQ(port->OutstandingCount(), 0u);
    EXPECT_EQ(midi.Calls().back(), "OutUnprepareHeader");
}

TEST_F(MidiOutput, SendLongOfLengthZeroDoesNothing)
{
    auto port = OpenOnB();
    port->SendLong(nullptr, 0);
    const uint8_t byte = 0xF8;
    port->SendLong(&byte, 0);
    EXPECT_TRUE(midi.Calls().empty());
}

TEST_F(MidiOutput, AFailedSendLeavesNothingOutstanding)
{
    auto port = OpenOnB();
    const uint8_t cc[] = {0xB0, 1, 2};
    midi.Fail(TCall::OutPrepareHeader, MMSYSERR_NOMEM);
    ExpectRaises<EmidioutputError>([&] { port->SendLong(cc, 3); }, BindingText(MMSYSERR_NOMEM));
    EXPECT_EQ(port->OutstandingCount(), 0u);
    EXPECT_EQ(midi.Calls(), (std::vector<std::string>{"OutPrepareHeader"}));

    midi.ClearRecords();
    midi.Fail(TCall::OutLongMsg, MIDIERR_NOTREADY);
    ExpectRaises<EmidioutputError>([&] { port->SendLong(cc, 3); }, BindingText(MIDIERR_NOTREADY));
    EXPECT_EQ(port->OutstandingCount(), 0u);
    EXPECT_EQ(midi.Calls(), (std::vector<std::string>{"OutPrepareHeader", "OutLongMsg", "OutUnprepareHeader"}));
    EXPECT_TRUE(midi.Sent().empty());

    port->ClosePort();
    ExpectRaises<EmidioutputError>([&] { port->SendLong(cc, 3); }, BindingText(MMSYSERR_INVALHANDLE));
    EXPECT_EQ(port->OutstandingCount(), 0u);
}

TEST_F(MidiOutput, QueuedLongMessagesAreHandedBackByCloseAndReleased)
{
    midi.HoldLongMessages = true;
    auto port = OpenOnB();
    int done = 0;
    port->SetOnmidioutput([&](TMidiOutput*) { ++done; });
    const uint8_t cc[] = {0xB0, 1, 2};
    for (int i = 0; i < 3; ++i)
        port->SendLong(cc, 3);
    DeliverNotices();
    EXPECT_EQ(done, 0);
    EXPECT_EQ(port->OutstandingCount(), 3u);

    EXPECT_TRUE(port->ClosePort());
    DeliverNotices();
    EXPECT_EQ(done, 3);
    EXPECT_EQ(port->OutstandingCount(), 0u);
}

TEST_F(MidiOutput, CompletionFromTheDriversThreadIsHandledInTheGuiThread)
{
    midi.HoldLongMessages = true;
    auto port = OpenOnB();
    std::vector<std::thread::id> threads;
    port->SetOnmidioutput([&](TMidiOutput*) { threads.push_back(std::this_thread::get_id()); });
    const uint8_t cc[] = {0xB0, 1, 2};
    for (int i = 0; i < 50; ++i)
        port->SendLong(cc, 3);
    std::thread driver([&] { midi.CompleteHeld(); });
    driver.join();
    DeliverNotices();
    ASSERT_EQ(threads.size(), 50u);
    for (const auto& id : threads)
        EXPECT_EQ(id, std::this_thread::get_id());
    EXPECT_EQ(port->OutstandingCount(), 0u);
}

TEST_F(MidiOutput, NoticesLeftWhenThePortGoesAreDroppedWithoutLeaks)
{
    bool raised = false;
    {
        auto port = OpenOnB();
        port->SetOnmidioutput([&](TMidiOutput*) { raised = true; });
        const uint8_t cc[] = {0xB0, 1, 2};
        port->SendLong(cc, 3);
        port->SendLong(cc, 3);
        EXPECT_EQ(port->OutstandingCount(), 2u);
    } // destroyed open, notices still queued
    DeliverNotices();
    EXPECT_FALSE(raised);
    EXPECT_EQ(midi.OpenDeviceCount(), 0u) << "destruction closes the device";
}

TEST_F(MidiOutput, DestroyingAClosedPortMakesNoCall)
{
    {
        TMidiOutput port(nullptr, &midi);
        port.SetDeviceID(0);
        midi.ClearRecords();
    }
    EXPECT_TRUE(midi.Calls().empty());
}

TEST_F(MidiOutput, SendEventChoosesShortOrLong)
{
    TMidiOutput port(nullptr, &midi);
    ExpectRaises<EmidioutputError>([&] { port.SendEvent(TMyMidiEvent{0x90, 60, 100, 0, nullptr}); },
                                   "MIDI Output device not open");
    EXPECT_TRUE(midi.Calls().empty());

    port.OpenPort();
    port.SendEvent(TMyMidiEvent{0x90, 60, 100, 0, nullptr});
    const uint8_t sysex[] = {0xF0, 0x7E, 0xF7};
    port.SendEvent(TMyMidiEvent{0x90, 60, 100, 3, sysex});
    const auto sent = midi.Sent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].Word, 0x643C90u);
    EXPECT_EQ(sent[1].Bytes, TBytes(sysex, sysex + 3));
    DeliverNotices();
}

TEST_F(MidiOutput, ErrorTextForCodesWithAndWithoutText)
{
    TMidiOutput port(nullptr, &midi);
    EXPECT_EQ(port.ErrorText(MMSYSERR_BADDEVICEID), BindingText(MMSYSERR_BADDEVICEID));
    EXPECT_EQ(port.ErrorText(MIDIERR_SERVERSTOPPED), BindingText(MIDIERR_SERVERSTOPPED));
    EXPECT_EQ(port.ErrorText(9999), "Specified error number is out of range");
}

TEST_F(MidiOutput, AFailingHandlerReachesTheErrorBoxNotTheEventLoop)
{
    TScriptedDialogs dialogs;
    TScopedDialogs use(dialogs);
    auto port = OpenOnB();
    port->SetOnmidioutput([](TMidiOutput*) { throw EmidioutputError("handler failed"); });
    const uint8_t cc[] = {0xB0, 1, 2};
    port->SendLong(cc, 3);
    DeliverNotices();
    EXPECT_EQ(dialogs.Errors, QStringList{"handler failed"});
    EXPECT_EQ(port->OutstandingCount(), 0u) << "released before the handler ran";
}

TEST_F(MidiOutput, UsesTheProcessWideBindingByDefault)
{
    TScopedMidiBinding use(&midi);
    TMidiOutput port;
    port.SetDeviceID(1);
    EXPECT_EQ(port.ProductName(), "Synth B");
}

} // namespace
} // namespace zw
