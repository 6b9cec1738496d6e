#include "support/ScriptedMidiBinding.h"

#include <algorithm>
#include <cstring>

namespace zw {

namespace {

const char* CallName(TScriptedMidiBinding::TCall call)
{
    using C = TScriptedMidiBinding::TCall;
    switch (call) {
    case C::OutGetDevCaps: return "OutGetDevCaps";
    case C::OutOpen: return "OutOpen";
    case C::OutShortMsg: return "OutShortMsg";
    case C::OutPrepareHeader: return "OutPrepareHeader";
    case C::OutLongMsg: return "OutLongMsg";
    case C::OutUnprepareHeader: return "OutUnprepareHeader";
    case C::OutReset: return "OutReset";
    case C::OutClose: return "OutClose";
    case C::InGetDevCaps: return "InGetDevCaps";
    case C::InOpen: return "InOpen";
    case C::InPrepareHeader: return "InPrepareHeader";
    case C::InAddBuffer: return "InAddBuffer";
    case C::InUnprepareHeader: return "InUnprepareHeader";
    case C::InStart: return "InStart";
    case C::InStop: return "InStop";
    case C::InReset: return "InReset";
    case C::InClose: return "InClose";
    }
    return "?";
}

} // namespace

TScriptedMidiBinding::TScriptedMidiBinding() = default;
TScriptedMidiBinding::~TScriptedMidiBinding() = default;

void TScriptedMidiBinding::Fail(TCall call, TMidiResult code, int times)
{
    std::lock_guard lock(FMutex);
    FFailures[call] = TFailure{code, times};
}

std::vector<TScriptedMidiBinding::TSent> TScriptedMidiBinding::Sent() const
{
    std::lock_guard lock(FMutex);
    return FSent;
}

std::vector<std::string> TScriptedMidiBinding::Calls() const
{
    std::lock_guard lock(FMutex);
    return FCalls;
}

void TScriptedMidiBinding::ClearRecords()
{
    std::lock_guard lock(FMutex);
    FSent.clear();
    FCalls.clear();
}

size_t TScriptedMidiBinding::OpenDeviceCount() const
{
    std::lock_guard lock(FMutex);
    return FDevices.size();
}

TMidiResult TScriptedMidiBinding::Enter(TCall call)
{
    FCalls.emplace_back(CallName(call));
    const auto found = FFailures.find(call);
    if (found == FFailures.end())
        return MMSYSERR_NOERROR;
    const TMidiResult code = found->second.Code;
    if (found->second.Times > 0 && --found->second.Times == 0)
        FFailures.erase(found);
    return code;
}

TScriptedMidiBinding::TDevice* TScriptedMidiBinding::Find(TMidiHandle handle, bool input)
{
    const auto found = FDevices.find(handle);
    if (found == FDevices.end() || found->second.Input != input)
        return nullptr;
    return &found->second;
}

TMidiResult TScriptedMidiBinding::EnterDevice(TCall call, TMidiHandle handle, bool input, TDevice*& device)
{
    if (const TMidiResult failure = Enter(call))
        return failure;
    device = Find(handle, input);
    return device ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
}

void TScriptedMidiBinding::ReturnHeld(TMidiHandle handle, TDevice& device)
{
    for (TMidiHdr* header : device.Queue) {
        MarkMidiHeaderDone(header);
        device.Callback(handle, MOM_DONE, device.Instance, reinterpret_cast<uintptr_t>(header), 0);
    }
    device.Queue.clear();
}

// Output

uint32_t TScriptedMidiBinding::OutGetNumDevs()
{
    std::lock_guard lock(FMutex);
    return static_cast<uint32_t>(OutDevices.size());
}

TMidiResult TScriptedMidiBinding::OutGetDevCaps(uint32_t deviceId, TMidiOutCaps& caps)
{
    std::lock_guard lock(FMutex);
    if (const TMidiResult failure = Enter(TCall::OutGetDevCaps))
        return failure;
    caps = TMidiOutCaps{};
    if (deviceId == MIDI_MAPPER) {
        caps.szPname = MapperName;
        caps.wTechnology = MOD_MAPPER;
    } else if (deviceId < OutDevices.size()) {
        caps.szPname = OutDevices[deviceId];
        caps.wTechnology = MOD_MIDIPORT;
    } else {
        return MMSYSERR_BADDEVICEID;
    }
    caps.vDriverVersion = 0x0100;
    caps.wChannelMask = 0xFFFF;
    return MMSYSERR_NOERROR;
}

TMidiResult TScriptedMidiBinding::Open(TMidiHandle& handle, bool input, uint32_t deviceId,
                                       TMidiCallback callback, uintptr_t instance)
{
    if (const TMidiResult failure = Enter(input ? TCall::InOpen : TCall::OutOpen))
        return failure;
    const size_t count = input ? InDevices.size() : OutDevices.size();
    if (deviceId >= count && (input || deviceId != MIDI_MAPPER))
        return MMSYSERR_BADDEVICEID;
    handle = FNextHandle++;
    TDevice& device = FDevices[handle];
    device.Input = input;
    device.DeviceId = deviceId;
    device.Callback = callback;
    device.Instance = instance;
    return MMSYSERR_NOERROR;
}

TMidiResult TScriptedMidiBinding::OutOpen(TMidiHandle& handle, uint32_t deviceId, TMidiCallback callback,
                                          uintptr_t instance, uint32_t flags)
{
    std::lock_guard lock(FMutex);
    if (flags != CALLBACK_FUNCTION)
        return MMSYSERR_INVALFLAG;
    return Open(handle, false, deviceId, callback, instance);
}

TMidiResult TScriptedMidiBinding::OutShortMsg(TMidiHandle handle, uint32_t message)
{
    std::lock_guard lock(FMutex);
    TDevice* device = nullptr;
    if (const TMidiResult failure = EnterDevice(TCall::OutShortMsg, handle, false, device))
        return failure;
    FSent.push_back(TSent{device->DeviceId, false, message, {}});
    return MMSYSERR_NOERROR;
}

TMidiResult TScriptedMidiBinding::Prepare(TMidiHandle handle, bool input, TMidiHdr* header, uint32_t size,
                                          TCall call)
{
    TDevice* device = nullptr;
    if (const TMidiResult failure = EnterDevice(call, handle, input, device))
        return failure;
    return PrepareMidiHeader(header, size);
}

TMidiResult TScriptedMidiBinding::Unprepare(TMidiHandle handle, bool input, TMidiHdr* header, uint32_t size,
                                            TCall call)
{
    TDevice* device = nullptr;
    if (const TMidiResult failure = EnterDevice(call, handle, input, device))
        return failure;
    return UnprepareMidiHeader(header, size);
}

TMidiResult TScriptedMidiBinding::OutPrepareHeader(TMidiHandle handle, TMidiHdr* header, uint32_t size)
{
    std::lock_guard lock(FMutex);
    return Prepare(handle, false, header, size, TCall::OutPrepareHeader);
}

TMidiResult TScriptedMidiBinding::OutLongMsg(TMidiHandle handle, TMidiHdr* header, uint32_t size)
{
    std::lock_guard lock(FMutex);
    TDevice* device = nullptr;
    if (const TMidiResult failure = EnterDevice(TCall::OutLongMsg, handle, false, device))
        return failure;
    if (const TMidiResult failure = CheckMidiHeaderQueueable(header, size))
        return failure;
    FSent.push_back(TSent{device->DeviceId, true, 0,
                          std::vector<uint8_t>(header->lpData, header->lpData + header->dwBufferLength)});
    if (HoldLongMessages) {
        header->dwFlags |= MHDR_INQUEUE;
        device->Queue.push_back(header);
    } else {
        header->dwFlags |= MHDR_DONE;
        device->Callback(handle, MOM_DONE, device->Instance, reinterpret_cast<uintptr_t>(header), 0);
    }
    return MMSYSERR_NOERROR;
}

TMidiResult TScriptedMidiBinding::OutUnprepareHeader(TMidiHandle handle, TMidiHdr* header, uint32_t size)
{
    std::lock_guard lock(FMutex);
    return Unprepare(handle, false, header, size, TCall::OutUnprepareHeader);
}

void TScriptedMidiBinding::CompleteHeld()
{
    std::lock_guard lock(FMutex);
    for (auto& [handle, device] : FDevices) {
        if (!device.Input)
            ReturnHeld(handle, device);
    }
}

TMidiResult TScriptedMidiBinding::OutReset(TMidiHandle handle)
{
    std::lock_guard lock(FMutex);
    TDevice* device = nullptr;
    if (const TMidiResult failure = EnterDevice(TCall::OutReset, handle, false, device))
        return failure;
    ReturnHeld(handle, *device);
    return MMSYSERR_NOERROR;
}

TMidiResult TScriptedMidiBinding::Close(TMidiHandle handle, bool input, TCall call)
{
    TDevice* device = nullptr;
    if (const TMidiResult failure = EnterDevice(call, handle, input, device))
        return failure;
    if (!device->Queue.empty())
        return MIDIERR_STILLPLAYING;
    FDevices.erase(handle);
    return MMSYSERR_NOERROR;
}

TMidiResult TScriptedMidiBinding::OutClose(TMidiHandle handle)
{
    std::lock_guard lock(FMutex);
    return Close(handle, false, TCall::OutClose);
}

bool TScriptedMidiBinding::OutGetErrorText(TMidiResult code, std::string& text)
{
    return MidiResultText(code, text);
}

// Input

uint32_t TScriptedMidiBinding::InGetNumDevs()
{
    std::lock_guard lock(FMutex);
    return static_cast<uint32_t>(InDevices.size());
}

TMidiResult TScriptedMidiBinding::InGetDevCaps(uint32_t deviceId, TMidiInCaps& caps)
{
    std::lock_guard lock(FMutex);
    if (const TMidiResult failure = Enter(TCall::InGetDevCaps))
        return failure;
    if (deviceId >= InDevices.size())
        return MMSYSERR_BADDEVICEID;
    caps = TMidiInCaps{};
    caps.szPname = InDevices[deviceId];
    caps.vDriverVersion = 0x0100;
    caps.wMid = 1;
    caps.wPid = static_cast<uint16_t>(deviceId + 1);
    return MMSYSERR_NOERROR;
}

TMidiResult TScriptedMidiBinding::InOpen(TMidiHandle& handle, uint32_t deviceId, TMidiCallback callback,
                                         uintptr_t instance, uint32_t flags)
{
    std::lock_guard lock(FMutex);
    if (flags != CALLBACK_FUNCTION)
        return MMSYSERR_INVALFLAG;
    return Open(handle, true, deviceId, callback, instance);
}

TMidiResult TScriptedMidiBinding::InPrepareHeader(TMidiHandle handle, TMidiHdr* header, uint32_t size)
{
    std::lock_guard lock(FMutex);
    return Prepare(handle, true, header, size, TCall::InPrepareHeader);
}

TMidiResult TScriptedMidiBinding::InAddBuffer(TMidiHandle handle, TMidiHdr* header, uint32_t size)
{
    std::lock_guard lock(FMutex);
    TDevice* device = nullptr;
    if (const TMidiResult failure = EnterDevice(TCall::InAddBuffer, handle, true, device))
        return failure;
    if (const TMidiResult failure = CheckMidiHeaderQueueable(header, size))
        return failure;
    MarkMidiHeaderQueued(header);
    header->dwBytesRecorded = 0;
    device->Queue.push_back(header);
    return MMSYSERR_NOERROR;
}

TMidiResult TScriptedMidiBinding::InUnprepareHeader(TMidiHandle handle, TMidiHdr* header, uint32_t size)
{
    std::lock_guard lock(FMutex);
    return Unprepare(handle, true, header, size, TCall::InUnprepareHeader);
}

TMidiResult TScriptedMidiBinding::InStart(TMidiHandle handle)
{
    std::lock_guard lock(FMutex);
    TDevice* device = nullptr;
    if (const TMidiResult failure = EnterDevice(TCall::InStart, handle, true, device))
        return failure;
    device->Started = true;
    return MMSYSERR_NOERROR;
}

TMidiResult TScriptedMidiBinding::InStop(TMidiHandle handle)
{
    std::lock_guard lock(FMutex);
    TDevice* device = nullptr;
    if (const TMidiResult failure = EnterDevice(TCall::InStop, handle, true, device))
        return failure;
    device->Started = false;
    return MMSYSERR_NOERROR;
}

TMidiResult TScriptedMidiBinding::InReset(TMidiHandle handle)
{
    std::lock_guard lock(FMutex);
    TDevice* device = nullptr;
    if (const TMidiResult failure = EnterDevice(TCall::InReset, handle, true, device))
        return failure;
    device->Started = false;
    // Queued buffers come back empty, as a driver hands them back.
    for (TMidiHdr* header : device->Queue) {
        MarkMidiHeaderDone(header);
        header->dwBytesRecorded = 0;
        device->Callback(handle, MIM_LONGDATA, device->Instance, reinterpret_cast<uintptr_t>(header), 0);
    }
    device->Queue.clear();
    return MMSYSERR_NOERROR;
}

TMidiResult TScriptedMidiBinding::InClose(TMidiHandle handle)
{
    std::lock_guard lock(FMutex);
    return Close(handle, true, TCall::InClose);
}

bool TScriptedMidiBinding::InGetErrorText(TMidiResult code, std::string& text)
{
    return MidiResultText(code, text);
}

bool TScriptedMidiBinding::InjectShort(uint32_t deviceId, uint32_t message, uint32_t timestamp)
{
    return InjectNotice(deviceId, MIM_DATA, message, timestamp);
}

bool TScriptedMidiBinding::InjectNotice(uint32_t deviceId, uint32_t message, uintptr_t param1, uintptr_t param2)
{
    std::lock_guard lock(FMutex);
    for (auto& [handle, device] : FDevices) {
        if (device.Input && device.DeviceId == deviceId && device.Started) {
            device.Callback(handle, message, device.Instance, param1, param2);
            return true;
        }
    }
    return false;
}

bool TScriptedMidiBinding::InjectSysex(uint32_t deviceId, const std::vector<uint8_t>& bytes, uint32_t timestamp)
{
    std::lock_guard lock(FMutex);
    for (auto& [handle, device] : FDevices) {
        if (!device.Input || device.DeviceId != deviceId || !device.Started)
            continue;
        size_t done = 0;
        while (done < bytes.size()) {
            if (device.Queue.empty())
                return false; // no buffer left: the driver drops the rest
            TMidiHdr* header = device.Queue.front();
            device.Queue.pop_front();
            const size_t part = std::min<size_t>(bytes.size() - done, header->dwBufferLength);
            std::memcpy(header->lpData, bytes.data() + done, part);
            done += part;
            header->dwBytesRecorded = static_cast<uint32_t>(part);
            MarkMidiHeaderDone(header);
            device.Callback(handle, MIM_LONGDATA, device.Instance, reinterpret_cast<uintptr_t>(header), timestamp);
        }
        return true;
    }
    return false;
}

} // namespace zw
