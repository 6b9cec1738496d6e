#include "midi/MidiIn.h"
#include "support/MidiTestSupport.h"

#include <gtest/gtest.h>

#include <thread>

namespace zw {
namespace {

using TCall = TScriptedMidiBinding::TCall;
using TBytes = std::vector<uint8_t>;

class MidiInput : public ::testing::Test {
protected:
    MidiInput() { midi.InDevices = {"Keys", "Pads"}; }

    // An input port on "Pads", open and started, counting its events.
    std::unique_ptr<TMidiInput> Started(uint16_t capacity = 1024, uint16_t buffers = 16)
    {
        auto port = std::make_unique<TMidiInput>(nullptr, &midi);
        port->SetProductName("Pads");
        port->SetCapacity(capacity);
        port->SetSysexBufferCount(buffers);
        port->SetSysexBufferSize(8);
        port->SetOnMidiInput([this](TMidiInput*) { ++inputs; });
        port->SetOnOverflow([this](TMidiInput*) { ++overflows; });
        port->OpenPort();
        EXPECT_TRUE(port->IsOpen());
        port->StartInput();
        midi.ClearRecords();
        return port;
    }

    TScriptedMidiBinding midi;
    int inputs = 0;
    int overflows = 0;
};

TEST_F(MidiInput, ConstructionSelectsDeviceZeroWithTheDefaults)
{
    TMidiInput port(nullptr, &midi);
    EXPECT_EQ(port.ProductName(), "Keys");
    EXPECT_EQ(port.DeviceID(), 0u);
    EXPECT_EQ(port.Capacity(), 1024);
    EXPECT_EQ(port.SysexBufferSize(), 4096);
    EXPECT_EQ(port.SysexBufferCount(), 16);
    EXPECT_FALSE(port.SysexOnly());
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.ProductID(), 1);
}

TEST_F(MidiInput, WithoutDevicesNothingIsSelectedAndNothingRaised)
{
    midi.InDevices.clear();
    TMidiInput port(nullptr, &midi);
    EXPECT_TRUE(port.ProductName().isEmpty());
    port.SetDeviceID(3);
    port.SetProductName("Keys");
    EXPECT_TRUE(port.ProductName().isEmpty());
    EXPECT_EQ(port.DeviceID(), 0u);

    port.OpenPort(); // fails without a word
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.Error(), MMSYSERR_BADDEVICEID);
}

TEST_F(MidiInput, AFailingQueryAtConstructionIsSwallowed)
{
    midi.Fail(TCall::InGetDevCaps, MMSYSERR_NOMEM);
    TMidiInput port(nullptr, &midi);
    EXPECT_TRUE(port.ProductName().isEmpty());
}

TEST_F(MidiInput, SelectsByNumberAndByExactName)
{
    TMidiInput port(nullptr, &midi);
    port.SetDeviceID(1);
    EXPECT_EQ(port.ProductName(), "Pads");
    ExpectRaises<EMidiInputError>([&] { port.SetDeviceID(2); }, "Invalid MIDI in device ID");
    EXPECT_EQ(port.DeviceID(), 1u);

    port.SetProductName("Keys");
    EXPECT_EQ(port.DeviceID(), 0u);
    for (const char* unknown : {"keys", "Drums", ""}) {
        port.SetProductName(unknown);
        EXPECT_EQ(port.ProductName(), "Keys") << unknown;
        EXPECT_EQ(port.DeviceID(), 0u);
    }
    // The device has gone since it was selected: nothing changes.
    midi.InDevices = {"Pads"};
    port.SetProductName("Keys");
    EXPECT_EQ(port.ProductName(), "Keys");

    midi.Fail(TCall::InGetDevCaps, MMSYSERR_ERROR);
    ExpectRaises<EMidiInputError>([&] { port.SetProductName("Pads"); }, BindingText(MMSYSERR_ERROR));
}

TEST_F(MidiInput, RefusesDeviceAndBufferChangesWhileOpen)
{
    auto port = Started();
    ExpectRaises<EMidiInputError>([&] { port->SetDeviceID(0); }, "Change to DeviceID while MIDI in device was open");
    ExpectRaises<EMidiInputError>([&] { port->SetProductName("Keys"); },
                                  "Change to ProductName while MIDI in device was open");
    ExpectRaises<EMidiInputError>([&] { port->SetSysexBufferSize(16); },
                                  "Change to SysexBufferSize while MIDI in device was open");
    ExpectRaises<EMidiInputError>([&] { port->SetSysexBufferCount(2); },
                                  "Change to SysexBuffercount while MIDI in device was open");
    EXPECT_EQ(port->SysexBufferSize(), 8);
    EXPECT_EQ(port->SysexBufferCount(), 16);
    port->SetCapacity(10); // for the next open
    EXPECT_EQ(port->Capacity(), 10);
    EXPECT_EQ(port->RingBuffer()->Capacity, 1024);
}

TEST_F(MidiInput, OpenPreparesAndQueuesTheSysexBuffersInOrder)
{
    TMidiInput port(nullptr, &midi);
    port.SetSysexBufferCount(2);
    midi.ClearRecords();
    port.OpenPort();
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(midi.Calls(), (std::vector<std::string>{"InOpen", "InPrepareHeader", "InPrepareHeader", "InAddBuffer",
                                                      "InAddBuffer"}));
    EXPECT_EQ(port.SysexBufferListSize(), 2u);
    ASSERT_NE(port.RingBuffer(), nullptr);
    EXPECT_EQ(port.RingBuffer()->Capacity, 1024);

    midi.ClearRecords();
    port.ClosePort();
    EXPECT_EQ(midi.Calls(), (std::vector<std::string>{"InReset", "InUnprepareHeader", "InUnprepareHeader", "InClose"}));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.RingBuffer(), nullptr);
    EXPECT_EQ(port.SysexBufferListSize(), 0u);
}

TEST_F(MidiInput, NoSysexBuffersWhenCountOrSizeIsZero)
{
    TMidiInput port(nullptr, &midi);
    port.SetSysexBufferCount(0);
    midi.ClearRecords();
    port.OpenPort();
    EXPECT_EQ(midi.Calls(), std::vector<std::string>{"InOpen"});
    port.ClosePort();

    port.SetSysexBufferCount(4);
    port.SetSysexBufferSize(0);
    midi.ClearRecords();
    port.OpenPort();
    EXPECT_EQ(midi.Calls(), std::vector<std::string>{"InOpen"});
}

TEST_F(MidiInput, AFailedOpenIsSilentAndLeavesNothingBehind)
{
    struct TCase {
        TCall Call;
        TMidiResult Code;
    };
    for (const TCase& c : {TCase{TCall::InOpen, MMSYSERR_ALLOCATED}, TCase{TCall::InPrepareHeader, MMSYSERR_NOMEM},
                           TCase{TCall::InAddBuffer, MIDIERR_NOTREADY}}) {
        TMidiInput port(nullptr, &midi);
        midi.Fail(c.Call, c.Code);
        port.OpenPort();
        EXPECT_FALSE(port.IsOpen());
        EXPECT_EQ(port.Error(), c.Code);
        EXPECT_EQ(port.RingBuffer(), nullptr);
        EXPECT_EQ(port.SysexBufferListSize(), 0u);
        EXPECT_EQ(midi.OpenDeviceCount(), 0u) << "a device opened before the failure is closed again";
        EXPECT_FALSE(midi.InjectShort(0, 0x90, 0));
        port.OpenPort();
        EXPECT_TRUE(port.IsOpen()) << "the next open works";
    }
}

TEST_F(MidiInput, CapacityAboveTheLimitFailsTheOpenSilently)
{
    TMidiInput port(nullptr, &midi);
    port.SetCapacity(kMaxRingCapacity + 1);
    midi.ClearRecords();
    port.OpenPort();
    EXPECT_FALSE(port.IsOpen());
    EXPECT_TRUE(midi.Calls().empty());

    port.SetCapacity(kMaxRingCapacity);
    port.OpenPort();
    EXPECT_TRUE(port.IsOpen());
}

TEST_F(MidiInput, CapacityZeroOpensWithoutBufferAndDropsEverything)
{
    auto port = Started(0);
    EXPECT_EQ(port->RingBuffer(), nullptr);
    EXPECT_TRUE(midi.InjectShort(1, 0x90, 1));
    DeliverNotices();
    EXPECT_EQ(inputs, 0);
    EXPECT_EQ(overflows, 0);
    EXPECT_EQ(port->PendingEventCount(), 0);
}

TEST_F(MidiInput, StoresShortMessagesWithTheirTimeStamps)
{
    auto port = Started();
    midi.InjectShort(1, 0x407F90, 17);
    midi.InjectShort(1, 0x000AC2, 42);
    EXPECT_EQ(port->PendingEventCount(), 2);
    EXPECT_EQ(inputs, 0) << "events are raised in the GUI thread";
    DeliverNotices();
    EXPECT_EQ(inputs, 2);
    const TRingEvent* events = port->RingBuffer()->Start;
    EXPECT_EQ(events[0].Timestamp, 17u);
    EXPECT_EQ(events[0].Message, 0x407F90u);
    EXPECT_EQ(events[0].Header, 0u);
    EXPECT_EQ(events[1].Timestamp, 42u);
    EXPECT_EQ(events[1].Message, 0x000AC2u);
}

TEST_F(MidiInput, DropsActiveSensingAndClockButNoOtherRealTime)
{
    auto port = Started();
    midi.InjectShort(1, 0xFE, 1);
    midi.InjectShort(1, 0xF8, 2);
    midi.InjectShort(1, 0xFA, 3);
    midi.InjectShort(1, 0xFF, 4);
    midi.InjectShort(1, 0xFE00, 5); // only the exact value is active sensing
    DeliverNotices();
    EXPECT_EQ(port->PendingEventCount(), 3);
    EXPECT_EQ(inputs, 3);
    EXPECT_EQ(port->RingBuffer()->Start[0].Message, 0xFAu);
    EXPECT_EQ(port->RingBuffer()->Start[1].Message, 0xFFu);
    EXPECT_EQ(overflows, 0);
}

TEST_F(MidiInput, StoresSystemExclusiveDataInTheQueuedBuffers)
{
    auto port = Started(1024, 3);
    const TBytes sysex = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7}; // 11 bytes, buffers of 8
    EXPECT_TRUE(midi.InjectSysex(1, sysex, 99));
    DeliverNotices();
    EXPECT_EQ(port->PendingEventCount(), 2);
    EXPECT_EQ(inputs, 2);
    const TRingEvent* events = port->RingBuffer()->Start;
    EXPECT_EQ(events[0].Message, 0u);
    EXPECT_EQ(events[0].Timestamp, 99u);
    ASSERT_EQ(events[0].Header, 1u);
    ASSERT_EQ(events[1].Header, 2u);
    const TMidiHdr* first = port->SysexBuffer(1)->Header();
    const TMidiHdr* second = port->SysexBuffer(2)->Header();
    EXPECT_EQ(TBytes(first->lpData, first->lpData + first->dwBytesRecorded), TBytes(sysex.begin(), sysex.begin() + 8));
    EXPECT_EQ(TBytes(second->lpData, second->lpData + second->dwBytesRecorded), TBytes(sysex.begin() + 8, sysex.end()));

    // Buffers are not handed back: once all are used the driver drops the rest.
    EXPECT_TRUE(midi.InjectSysex(1, {0xF0, 1, 0xF7}, 100));
    EXPECT_FALSE(midi.InjectSysex(1, {0xF0, 2, 0xF7}, 101));
    EXPECT_EQ(port->PendingEventCount(), 3);
    EXPECT_EQ(port->SysexBuffer(0), nullptr);
    EXPECT_EQ(port->SysexBuffer(4), nullptr);
}

TEST_F(MidiInput, LongErrorsAreStoredLikeLongDataAndOtherNoticesIgnored)
{
    auto port = Started();
    const TMidiHdr* header = port->SysexBuffer(5)->Header();
    midi.InjectNotice(1, MIM_LONGERROR, reinterpret_cast<uintptr_t>(header), 7);
    midi.InjectNotice(1, MIM_ERROR, 0x90, 8);
    midi.InjectNotice(1, MIM_OPEN, 0, 0);
    midi.InjectNotice(1, MOM_DONE + 1, 0, 0);
    DeliverNotices();
    EXPECT_EQ(port->PendingEventCount(), 1);
    EXPECT_EQ(port->RingBuffer()->Start[0].Header, 5u);
    EXPECT_EQ(inputs, 1);
}

TEST_F(MidiInput, SysexOnlyDropsShortMessagesAndActsWhileOpen)
{
    auto port = Started();
    port->SetSysexOnly(true);
    midi.InjectShort(1, 0x90, 1);
    midi.InjectSysex(1, {0xF0, 1, 0xF7}, 2);
    ASSERT_EQ(port->PendingEventCount(), 1);
    EXPECT_EQ(port->RingBuffer()->Start[0].Header, 1u) << "the system-exclusive message is the one stored";
    port->SetSysexOnly(false);
    midi.InjectShort(1, 0x90, 3);
    ASSERT_EQ(port->PendingEventCount(), 2);
    EXPECT_EQ(port->RingBuffer()->Start[1].Message, 0x90u);
    DeliverNotices();
    EXPECT_EQ(inputs, 2);
}

TEST_F(MidiInput, AFullBufferDropsEachFurtherEventWithOneOverflow)
{
    auto port = Started(1024);
    for (uint32_t i = 0; i < 1027; ++i)
        midi.InjectShort(1, 0x80 | (i & 0x7F) << 8, i);
    DeliverNotices();
    EXPECT_EQ(port->PendingEventCount(), 1024);
    EXPECT_EQ(inputs, 1024);
    EXPECT_EQ(overflows, 3);
    const TMidiRingBuffer* ring = port->RingBuffer();
    EXPECT_EQ(ring->Start[1023].Timestamp, 1023u) << "the last stored event is the 1024th";
    EXPECT_EQ(ring->Start[0].Timestamp, 0u) << "stored events stay";
    EXPECT_EQ(ring->NextPut, ring->Start);
}

TEST_F(MidiInput, EventsAreRaisedOnlyWhileOpen)
{
    auto port = Started(1);
    midi.InjectShort(1, 0x90, 1);
    midi.InjectShort(1, 0x90, 2); // overflow
    port->StopInput();
    port->ClosePort();
    DeliverNotices();
    EXPECT_EQ(inputs, 0);
    EXPECT_EQ(overflows, 0);
    EXPECT_EQ(port->PendingEventCount(), 0);
}

TEST_F(MidiInput, NothingArrivesBeforeStartOrAfterStop)
{
    TMidiInput port(nullptr, &midi);
    port.OpenPort();
    EXPECT_FALSE(midi.InjectShort(0, 0x90, 1));
    port.StartInput();
    EXPECT_TRUE(midi.InjectShort(0, 0x90, 1));
    port.StopInput();
    EXPECT_FALSE(midi.InjectShort(0, 0x90, 1));
    EXPECT_EQ(port.PendingEventCount(), 1);
}

TEST_F(MidiInput, StartAndStopDoNothingWhileClosed)
{
    TMidiInput port(nullptr, &midi);
    midi.ClearRecords();
    port.StartInput();
    port.StopInput();
    port.ClosePort();
    EXPECT_TRUE(midi.Calls().empty());
    EXPECT_EQ(port.PendingEventCount(), 0);
}

TEST_F(MidiInput, StartAndStopFailuresAreRaised)
{
    auto port = Started();
    midi.Fail(TCall::InStop, MMSYSERR_INVALHANDLE);
    ExpectRaises<EMidiInputError>([&] { port->StopInput(); }, BindingText(MMSYSERR_INVALHANDLE));
    EXPECT_EQ(port->Error(), MMSYSERR_INVALHANDLE);
    midi.Fail(TCall::InStart, MIDIERR_NODEVICE);
    ExpectRaises<EMidiInputError>([&] { port->StartInput(); }, BindingText(MIDIERR_NODEVICE));
}

TEST_F(MidiInput, AFailedCloseCanBeFinishedByAnotherClose)
{
    auto port = Started();
    midi.Fail(TCall::InUnprepareHeader, MIDIERR_STILLPLAYING);
    ExpectRaises<EMidiInputError>([&] { port->ClosePort(); }, BindingText(MIDIERR_STILLPLAYING));
    EXPECT_FALSE(port->IsOpen());
    EXPECT_EQ(midi.OpenDeviceCount(), 1u);
    EXPECT_EQ(port->SysexBufferListSize(), 16u) << "the buffer that failed stays for the next try";

    midi.Fail(TCall::InClose, MMSYSERR_ERROR);
    ExpectRaises<EMidiInputError>([&] { port->ClosePort(); }, BindingText(MMSYSERR_ERROR));
    EXPECT_EQ(port->SysexBufferListSize(), 0u);
    port->OpenPort();
    EXPECT_FALSE(port->IsOpen()) << "no second device while the first is not closed";
    EXPECT_EQ(port->Error(), MMSYSERR_ALLOCATED);
    EXPECT_EQ(midi.OpenDeviceCount(), 1u);

    port->ClosePort();
    EXPECT_EQ(midi.OpenDeviceCount(), 0u);
    EXPECT_EQ(port->RingBuffer(), nullptr);
    port->OpenPort();
    EXPECT_TRUE(port->IsOpen()) << "and the port opens again";
}

TEST_F(MidiInput, ResetHandsBackTheBuffersBeforeTheyAreFreed)
{
    auto port = Started(1024, 4);
    port->StopInput();
    port->ClosePort();
    DeliverNotices();
    EXPECT_EQ(inputs, 0) << "handed-back buffers raise nothing on a closed port";
    EXPECT_EQ(midi.OpenDeviceCount(), 0u);
}

TEST_F(MidiInput, DestructionClosesAnOpenDevice)
{
    {
        auto port = Started();
        midi.InjectShort(1, 0x90, 1);
    }
    DeliverNotices();
    EXPECT_EQ(inputs, 0);
    EXPECT_EQ(midi.OpenDeviceCount(), 0u);
}

TEST_F(MidiInput, InputFromTheDriversThreadRaisesOneEventPerStoredMessage)
{
    auto port = Started(500);
    std::thread driver([this] {
        for (uint32_t i = 0; i < 600; ++i)
            midi.InjectShort(1, i % 3 == 0 ? 0xF8 : 0xB0, i); // every third is clock
    });
    driver.join();
    DeliverNotices();
    EXPECT_EQ(port->PendingEventCount(), 400);
    EXPECT_EQ(inputs, 400);
    EXPECT_EQ(overflows, 0);
}

TEST_F(MidiInput, ErrorTextForCodesWithoutText)
{
    TMidiInput port(nullptr, &midi);
    EXPECT_EQ(port.ErrorText(12345), "Specified error number is out of range");
    EXPECT_EQ(port.ErrorText(MIDIERR_NODEVICE), BindingText(MIDIERR_NODEVICE));
}

} // namespace
} // namespace zw
