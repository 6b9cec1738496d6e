#include "midi/MidiIn.h"

#include "midi/MidiCallback.h"
#include "midi/MidiThru.h"

namespace zw {

TMidiInput::TMidiInput(QObject* owner, TMidiBinding* binding) : TMidiPort(owner, binding)
{
    try {
        SetDeviceID(0);
    } catch (...) {
        // No usable device 0: the port starts without a device name.
    }
    FState = TState::Closed;
}

TMidiInput::~TMidiInput()
{
    if (FHandle) {
        try {
            ClosePort();
        } catch (...) {
            // Nothing can be reported from here; what can be released still is.
        }
        FHandle = 0;
    }
    FSysexHeaders.clear();
    FreeRingBuffer(FRingBuffer);
    ReleaseCallbackBlock();
    StopNotices();
}

bool TMidiInput::DriverErrorText(TMidiResult code, std::string& text) const
{
    return FBinding.InGetErrorText(code, text);
}

void TMidiInput::Raise(const std::string& message) const
{
    throw EMidiInputError(message);
}

void TMidiInput::SetDeviceID(uint32_t value)
{
    if (FState == TState::Open)
        throw EMidiInputError("Change to DeviceID while MIDI in device was open");
    const uint32_t count = FBinding.InGetNumDevs();
    if (count == 0)
        return;
    if (value >= count)
        throw EMidiInputError("Invalid MIDI in device ID");
    FDeviceID = value;
    TMidiInCaps caps;
    Check(FBinding.InGetDevCaps(value, caps));
    FProductName = QString::fromStdString(caps.szPname);
    FDriverVersion = caps.vDriverVersion;
    FManufacturerID = caps.wMid;
    FProductID = caps.wPid;
}

void TMidiInput::SetProductName(const QString& value)
{
    if (FState == TState::Open)
        throw EMidiInputError("Change to ProductName while MIDI in device was open");
    if (value.isEmpty())
        return;
    const uint32_t count = FBinding.InGetNumDevs();
    TMidiInCaps caps;
    for (uint32_t i = 0; i < count; ++i) {
        Check(FBinding.InGetDevCaps(i, caps));
        if (QString::fromStdString(caps.szPname) == value) {
            SetDeviceID(i);
            return;
        }
    }
}

void TMidiInput::SetSysexBufferSize(uint16_t value)
{
    if (FState == TState::Open)
        throw EMidiInputError("Change to SysexBufferSize while MIDI in device was open");
    FSysexBufferSize = value;
}

void TMidiInput::SetSysexBufferCount(uint16_t value)
{
    if (FState == TState::Open)
        throw EMidiInputError("Change to SysexBuffercount while MIDI in device was open");
    FSysexBufferCount = value;
}

void TMidiInput::SetSysexOnly(bool value)
{
    FSysexOnly = value;
    if (CallbackBlock())
        CallbackBlock()->SysexOnly = value;
}

void TMidiInput::SetThruSink(TMidiThruSink* sink)
{
    FThruSink = sink;
    if (CallbackBlock())
        CallbackBlock()->ThruSink = sink;
}

void TMidiInput::OpenPort()
{
    // A second open would lose the open device while its callback still
    // writes; so would an open after a close that failed half-way.
    if (FState == TState::Open || FHandle) {
        FError = MMSYSERR_ALLOCATED;
        return;
    }
    try {
        OpenDevice();
        FState = TState::Open;
    } catch (...) {
        // Swallowed on purpose: the port stays closed, and Error() tells why.
        ReleaseAfterFailedOpen();
    }
}

void TMidiInput::OpenDevice()
{
    if (!FRingBuffer)
        FRingBuffer = AllocRingBuffer(FCapacity);
    const uintptr_t instance = CallbackInstance();
    CallbackBlock()->RingBuffer = FRingBuffer;
    CallbackBlock()->SysexOnly = FSysexOnly;
    CallbackBlock()->ThruSink = FThruSink;
    TMidiHandle handle = 0;
    Check(FBinding.InOpen(handle, FDeviceID, &MidiDriverCallback, instance, CALLBACK_FUNCTION));
    FHandle = handle;
    if (FSysexBufferCount > 0 && FSysexBufferSize > 0 && FHandle) {
        FSysexHeaders.clear();
        FSysexHeaders.reserve(FSysexBufferCount);
        for (uint32_t i = 0; i < FSysexBufferCount; ++i) {
            auto owner = std::make_unique<TMyMidiHdr>(FSysexBufferSize);
            TMidiHdr* header = owner->Header();
            if (!header)
                Check(MMSYSERR_NOMEM);
            owner->Number = i + 1;
            header->dwUser = reinterpret_cast<uintptr_t>(owner.get());
            Check(FBinding.InPrepareHeader(FHandle, header, kMidiHdrSize));
            FSysexHeaders.push_back(std::move(owner));
        }
    }
    for (const auto& owner : FSysexHeaders)
        Check(FBinding.InAddBuffer(FHandle, owner->Header(), kMidiHdrSize));
}

void TMidiInput::ReleaseAfterFailedOpen()
{
    // The device may already be open: close it before its memory goes, so that
    // no callback writes into a freed ring buffer. Results are not looked at;
    // Error() keeps the code of the failure that ended the open.
    if (FHandle) {
        FBinding.InReset(FHandle);
        for (const auto& owner : FSysexHeaders)
            FBinding.InUnprepareHeader(FHandle, owner->Header(), kMidiHdrSize);
        FBinding.InClose(FHandle);
        FHandle = 0;
    }
    FSysexHeaders.clear();
    FreeRingBuffer(FRingBuffer);
    FRingBuffer = nullptr;
    ReleaseCallbackBlock();
}

void TMidiInput::StartInput()
{
    if (FState == TState::Open)
        Check(FBinding.InStart(FHandle));
}

void TMidiInput::StopInput()
{
    if (FState == TState::Open)
        Check(FBinding.InStop(FHandle));
}

void TMidiInput::ClosePort()
{
    // Also after a close that failed half-way (the handle is still set), so a
    // second ClosePort, or the destructor, finishes it.
    if (FState != TState::Open && !FHandle)
        return;
    FState = TState::Closed;
    // Notes passed on to the output end whatever the steps report: a held
    // key's note-off will not come through a closed input.
    try {
        Check(FBinding.InReset(FHandle));
        ReleaseSysexBuffers();
        Check(FBinding.InClose(FHandle));
    } catch (...) {
        if (FThruSink)
            FThruSink->SourceClosed();
        throw;
    }
    if (FThruSink)
        FThruSink->SourceClosed();
    FHandle = 0;
    if (CallbackBlock())
        CallbackBlock()->RingBuffer = nullptr;
    FreeRingBuffer(FRingBuffer);
    FRingBuffer = nullptr;
}

void TMidiInput::ReleaseSysexBuffers()
{
    // In list order; a buffer whose unprepare fails stays for the next try.
    while (!FSysexHeaders.empty()) {
        Check(FBinding.InUnprepareHeader(FHandle, FSysexHeaders.front()->Header(), kMidiHdrSize));
        FSysexHeaders.erase(FSysexHeaders.begin());
    }
}

uint16_t TMidiInput::PendingEventCount() const
{
    if (FState != TState::Open || !FRingBuffer)
        return 0;
    return FRingBuffer->EventCount.load(std::memory_order_acquire);
}

bool TMidiInput::TakeEvent(TRingEvent& event)
{
    return FState == TState::Open && FRingBuffer && TakeRingEvent(FRingBuffer, event);
}

const TMyMidiHdr* TMidiInput::SysexBuffer(uint32_t number) const
{
    if (number == 0 || number > FSysexHeaders.size())
        return nullptr;
    return FSysexHeaders[number - 1].get();
}

void TMidiInput::NoticeReceived(TMidiNotice notice, uintptr_t)
{
    if (notice == TMidiNotice::Input) {
        if (FOnMidiInput && FState == TState::Open && PendingEventCount() > 0)
            FOnMidiInput(this);
    } else if (notice == TMidiNotice::Overflow) {
        if (FOnOverflow && FState == TState::Open)
            FOnOverflow(this);
    }
}

} // namespace zw
