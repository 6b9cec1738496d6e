#include "midi/MidiOut.h"

#include "midi/MidiCallback.h"

#include "common/TextLines.h"

#include <cstring>

namespace zw {

TMidiOutput::TMidiOutput(QObject* owner, TMidiBinding* binding) : TMidiPort(owner, binding) {}

TMidiOutput::~TMidiOutput()
{
    if (FOpen) {
        try {
            ClosePort();
        } catch (...) {
            // Nothing can be reported from here; what can be released still is.
        }
    }
    ReleaseCallbackBlock();
    // Notices still queued die with the window; the headers they carried are freed here.
    StopNotices();
    FOutstanding.clear();
}

bool TMidiOutput::DriverErrorText(TMidiResult code, std::string& text) const
{
    return FBinding.OutGetErrorText(code, text);
}

void TMidiOutput::Raise(const std::string& message) const
{
    throw EmidioutputError(message);
}

void TMidiOutput::SetDeviceID(uint32_t value)
{
    if (FOpen)
        throw EmidioutputError("Change to MIDI out Device ID while device was open");
    if (value >= FBinding.OutGetNumDevs() && value != MIDI_MAPPER)
        throw EmidioutputError("Invalid MIDI out device ID");
    FDeviceID = value;
    TMidiOutCaps caps;
    Check(FBinding.OutGetDevCaps(value, caps));
    FProductName = QString::fromStdString(caps.szPname);
    FDriverVersion = caps.vDriverVersion;
    FTechnology = static_cast<uint8_t>(caps.wTechnology & 0xFF);
    FVoices = caps.wVoices;
    FNotes = caps.wNotes;
    FChannelMask = caps.wChannelMask;
    FSupport = caps.dwSupport;
}

void TMidiOutput::SetProductName(const QString& value)
{
    if (FOpen)
        throw EmidioutputError("Change to ProductName while MIDI out device was open");
    const uint32_t count = FBinding.OutGetNumDevs();
    TMidiOutCaps caps;
    for (uint32_t i = 0; i < count; ++i) {
        Check(FBinding.OutGetDevCaps(i, caps));
        if (QString::fromStdString(caps.szPname) == value) {
            SetDeviceID(i);
            return;
        }
    }
    Check(FBinding.OutGetDevCaps(MIDI_MAPPER, caps));
    if (QString::fromStdString(caps.szPname) == value) {
        SetDeviceID(MIDI_MAPPER);
        return;
    }
    throw EmidioutputError("The MIDI output device \"" + Escaped(value.toStdString()) + "\" is not installed");
}

bool TMidiOutput::OpenPort()
{
    // A second open would lose the device that is open, and its callback block with it.
    if (FOpen)
        Check(MMSYSERR_ALLOCATED);
    try {
        TMidiHandle handle = 0;
        Check(FBinding.OutOpen(handle, FDeviceID, &MidiDriverCallback, CallbackInstance(), CALLBACK_FUNCTION));
        FHandle = handle;
    } catch (...) {
        ReleaseCallbackBlock();
        throw;
    }
    FOpen = true;
    return true;
}

bool TMidiOutput::ClosePort()
{
    const bool wasOpen = FOpen;
    if (FOpen) {
        Check(FBinding.OutReset(FHandle));
        Check(FBinding.OutClose(FHandle));
    }
    FHandle = 0;
    FOpen = false;
    return wasOpen;
}

void TMidiOutput::SendShort(uint8_t status, uint8_t data1, uint8_t data2)
{
    const uint32_t message = status | (static_cast<uint32_t>(data1) << 8) | (static_cast<uint32_t>(data2) << 16);
    Check(FBinding.OutShortMsg(FHandle, message));
}

void TMidiOutput::SendLong(const uint8_t* data, uint16_t length)
{
    if (length == 0)
        return;
    if (!data)
        Check(MMSYSERR_INVALPARAM);
    auto owner = std::make_unique<TMyMidiHdr>(length);
    TMidiHdr* header = owner->Header();
    if (!header)
        Check(MMSYSERR_NOMEM);
    std::memcpy(owner->Data(), data, length);
    header->dwUser = reinterpret_cast<uintptr_t>(owner.get());
    // Owned by the port before the driver sees it, so the notice always finds it.
    FOutstanding.emplace(header, std::move(owner));
    const TMidiResult prepared = FBinding.OutPrepareHeader(FHandle, header, kMidiHdrSize);
    if (prepared != MMSYSERR_NOERROR)
        FOutstanding.erase(header); // never reached the device
    Check(prepared);
    if (FBatching) {
        FBatch.push_back(header);
        return;
    }
    HandOver(&header, 1);
    if (header->dwIncomplete > 0)
        throw EmidioutputError(IncompleteText(header->dwIncomplete));
}

void TMidiOutput::BeginBatch()
{
    FBatching = true;
}

std::vector<uint32_t> TMidiOutput::EndBatch()
{
    FBatching = false;
    std::vector<TMidiHdr*> batch;
    batch.swap(FBatch);
    if (batch.empty())
        return {};
    HandOver(batch.data(), static_cast<uint32_t>(batch.size()));
    std::vector<uint32_t> incomplete;
    incomplete.reserve(batch.size());
    for (const TMidiHdr* header : batch)
        incomplete.push_back(header->dwIncomplete);
    return incomplete;
}

void TMidiOutput::HandOver(TMidiHdr* const* headers, uint32_t count)
{
    uint32_t queued = 0;
    const TMidiResult result = FBinding.OutLongMsgs(FHandle, headers, count, kMidiHdrSize, queued);
    for (uint32_t i = queued; i < count; ++i) { // never reached the device
        FBinding.OutUnprepareHeader(FHandle, headers[i], kMidiHdrSize);
        FOutstanding.erase(headers[i]);
    }
    Check(result);
}

std::string TMidiOutput::IncompleteText(uint32_t bytes)
{
    return std::to_string(bytes) + (bytes == 1 ? " byte makes" : " bytes make") +
           " no complete MIDI message; not sent.";
}

void TMidiOutput::SendEvent(const TMyMidiEvent& event)
{
    if (!FOpen)
        throw EmidioutputError("MIDI Output device not open");
    if (event.Sysex)
        SendLong(event.Sysex, event.SysexLength);
    else
        SendShort(event.MidiMessage, event.Data1, event.Data2);
}

void TMidiOutput::NoticeReceived(TMidiNotice notice, uintptr_t param)
{
    if (notice == TMidiNotice::Failed) { // a send that failed after its call had returned
        const auto raise = [this, param] { Check(static_cast<TMidiResult>(param)); };
        if (FOnSendFailed)
            FOnSendFailed(raise);
        else
            raise();
        return;
    }
    if (notice != TMidiNotice::Done)
        return;
    auto* header = reinterpret_cast<TMidiHdr*>(param);
    const auto found = FOutstanding.find(header);
    if (found == FOutstanding.end())
        return;
    FBinding.OutUnprepareHeader(FHandle, header, kMidiHdrSize); // result ignored: the header goes either way
    FOutstanding.erase(found);
    if (FOnmidioutput)
        FOnmidioutput(this);
}

TMidiOutBatch::~TMidiOutBatch()
{
    if (!FPort.Batching())
        return;
    try {
        FPort.EndBatch();
    } catch (...) {
        // The exception that ended the collecting is the one reported.
    }
}

std::vector<uint32_t> TMidiOutBatch::End()
{
    return FPort.EndBatch();
}

} // namespace zw
