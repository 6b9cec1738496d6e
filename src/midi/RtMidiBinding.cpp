#include "midi/RtMidiBinding.h"

#include "midi/JackPacer.h"
#include "midi/MidiSplitter.h"
#include "midi/RtInDevice.h"
#include "midi/RtOutDevice.h"
#include "midi/RtSystem.h"
#include "midi/RtSystemMonitor.h"

#include <algorithm>
#include <map>
#include <set>
#include <vector>

namespace zw {

namespace {

// The device table: lists the devices of the MIDI system in use, opens them
// and finds each open device by its handle. When that system stops, or none
// answered, the monitor looks for one; the next call takes what it found.
class TRtMidiBinding : public TSystemMidiBinding {
public:
    TRtMidiBinding(TMidiSystem system, TMidiLook look) : FChoice(system)
    {
        if (look == TMidiLook::InBackground) {
            FMonitor.LookNow(system);
            return;
        }
        FSystem = TRtSystem::Probe(system);
        if (!FSystem)
            FMonitor.LookFor(system);
    }

    ~TRtMidiBinding() override
    {
        FOutputs.clear();
        FInputs.clear();
        FMonitor.ListOutputs(nullptr);
    }

    TMidiResult SetSystem(TMidiSystem system, TMidiLook look) override
    {
        if (system != FChoice) {
            FChoice = system;
            FOutNames.clear();
            FInNames.clear();
            FMonitor.ListOutputs(nullptr);
            FSystem.reset();
            FServerStopped = false;
            if (look == TMidiLook::InBackground) {
                FMonitor.LookNow(system); // what it may still find of the former choice is dropped
                return MMSYSERR_NOERROR;
            }
            FSystem = TRtSystem::Probe(system);
            if (FSystem)
                FMonitor.StopLooking(); // what it finds would be of the former choice
            else
                FMonitor.LookFor(system);
            WatchOutputs();
        }
        if (look == TMidiLook::InBackground)
            return MMSYSERR_NOERROR;
        return Current() ? MMSYSERR_NOERROR : MMSYSERR_NODRIVER;
    }

    bool Looking() const override { return !FSystem && !FMonitor.Answered(); }

    uint32_t OutGetNumDevs() override
    {
        return Snapshot(FOutNames, FOutShown, FOutputs, [](TRtSystem& s) { return s.OutputNames(); });
    }

    TMidiResult OutGetDevCaps(uint32_t deviceId, TMidiOutCaps& caps) override
    {
        caps = TMidiOutCaps{};
        caps.vDriverVersion = RTMIDI_DRIVER_VERSION;
        caps.wChannelMask = 0xFFFF;
        if (deviceId == MIDI_MAPPER) {
            caps.szPname = std::string(kMidiClientName) + " " + kRtVirtualPortName;
            caps.wTechnology = MOD_MAPPER;
            return MMSYSERR_NOERROR;
        }
        if (const TMidiResult failure = Listed(FOutNames, deviceId))
            return failure;
        caps.szPname = FOutShown[deviceId];
        caps.wTechnology = MOD_MIDIPORT;
        return MMSYSERR_NOERROR;
    }

    TMidiResult OutOpen(TMidiHandle& handle, uint32_t deviceId, TMidiCallback callback, uintptr_t instance,
                        uint32_t flags) override
    {
        if (flags != CALLBACK_FUNCTION || !callback)
            return MMSYSERR_INVALFLAG;
        std::string target;
        if (deviceId != MIDI_MAPPER) {
            if (const TMidiResult failure = Listed(FOutNames, deviceId))
                return failure;
            target = FOutNames[deviceId];
        } else if (const TMidiResult failure = ServerState()) {
            return failure;
        }
        const TMidiResult result =
            Open(FOutputs, handle, target, deviceId == MIDI_MAPPER ? std::string() : FOutShown[deviceId], callback,
                 instance);
        WatchOutputs();
        return result;
    }

    TMidiResult OutShortMsg(TMidiHandle handle, uint32_t message) override
    {
        TOpen<TRtOutDevice>* open = Find(FOutputs, handle);
        if (!open)
            return MMSYSERR_INVALHANDLE;
        if (const TMidiResult failure = Presence(*open))
            return failure;
        uint8_t bytes[3];
        const size_t length = UnpackShortMessage(message, bytes);
        if (length == 0)
            return MMSYSERR_INVALPARAM;
        return open->Device->SendShort(bytes, length);
    }

    TMidiResult OutPrepareHeader(TMidiHandle handle, TMidiHdr* header, uint32_t size) override
    {
        return Prepare(Find(FOutputs, handle) != nullptr, header, size);
    }

    TMidiResult OutLongMsg(TMidiHandle handle, TMidiHdr* header, uint32_t size) override
    {
        uint32_t queued = 0;
        return OutLongMsgs(handle, &header, 1, size, queued);
    }

    TMidiResult OutLongMsgs(TMidiHandle handle, TMidiHdr* const* headers, uint32_t count, uint32_t size,
                            uint32_t& queued) override
    {
        queued = 0;
        TOpen<TRtOutDevice>* open = Find(FOutputs, handle);
        if (!open)
            return MMSYSERR_INVALHANDLE;
        // The device takes the good ones before the first bad one.
        uint32_t good = 0;
        TMidiResult failure = MMSYSERR_NOERROR;
        while (good < count && (failure = CheckMidiHeaderQueueable(headers[good], size)) == MMSYSERR_NOERROR)
            ++good;
        if (good == 0)
            return failure;
        if (const TMidiResult gone = Presence(*open))
            return gone;
        if (const TMidiResult refused = open->Device->SendLong(headers, good, queued))
            return refused;
        return failure;
    }

    TMidiResult OutUnprepareHeader(TMidiHandle handle, TMidiHdr* header, uint32_t size) override
    {
        return Unprepare(Find(FOutputs, handle) != nullptr, header, size);
    }

    TMidiResult OutReset(TMidiHandle handle) override { return Reset(FOutputs, handle); }

    TMidiResult OutClose(TMidiHandle handle) override
    {
        const TMidiResult result = Close(FOutputs, handle);
        WatchOutputs();
        return result;
    }

    bool OutGetErrorText(TMidiResult code, std::string& text) override { return ResultText(code, text); }

    uint32_t InGetNumDevs() override
    {
        return Snapshot(FInNames, FInShown, FInputs, [](TRtSystem& s) { return s.InputNames(); });
    }

    TMidiResult InGetDevCaps(uint32_t deviceId, TMidiInCaps& caps) override
    {
        caps = TMidiInCaps{};
        caps.vDriverVersion = RTMIDI_DRIVER_VERSION;
        if (const TMidiResult failure = Listed(FInNames, deviceId))
            return failure;
        caps.szPname = FInShown[deviceId];
        return MMSYSERR_NOERROR;
    }

    TMidiResult InOpen(TMidiHandle& handle, uint32_t deviceId, TMidiCallback callback, uintptr_t instance,
                       uint32_t flags) override
    {
        if (flags != CALLBACK_FUNCTION || !callback)
            return MMSYSERR_INVALFLAG;
        if (const TMidiResult failure = Listed(FInNames, deviceId))
            return failure;
        return Open(FInputs, handle, FInNames[deviceId], FInShown[deviceId], callback, instance);
    }

    TMidiResult InPrepareHeader(TMidiHandle handle, TMidiHdr* header, uint32_t size) override
    {
        return Prepare(Find(FInputs, handle) != nullptr, header, size);
    }

    TMidiResult InAddBuffer(TMidiHandle handle, TMidiHdr* header, uint32_t size) override
    {
        TOpen<TRtInDevice>* open = Find(FInputs, handle);
        if (!open)
            return MMSYSERR_INVALHANDLE;
        if (const TMidiResult failure = CheckMidiHeaderQueueable(header, size))
            return failure;
        MarkMidiHeaderQueued(header);
        header->dwBytesRecorded = 0;
        const TMidiResult result = open->Device->AddBuffer(header);
        if (result != MMSYSERR_NOERROR)
            header->dwFlags &= ~MHDR_INQUEUE;
        return result;
    }

    TMidiResult InUnprepareHeader(TMidiHandle handle, TMidiHdr* header, uint32_t size) override
    {
        return Unprepare(Find(FInputs, handle) != nullptr, header, size);
    }

    TMidiResult InStart(TMidiHandle handle) override
    {
        TOpen<TRtInDevice>* open = Find(FInputs, handle);
        if (!open)
            return MMSYSERR_INVALHANDLE;
        if (const TMidiResult failure = open->Device->Health())
            return failure;
        open->Device->Start();
        return MMSYSERR_NOERROR;
    }

    TMidiResult InStop(TMidiHandle handle) override
    {
        TOpen<TRtInDevice>* open = Find(FInputs, handle);
        if (!open)
            return MMSYSERR_INVALHANDLE;
        open->Device->Stop();
        return open->Device->Health();
    }

    TMidiResult InReset(TMidiHandle handle) override { return Reset(FInputs, handle); }

    TMidiResult InClose(TMidiHandle handle) override { return Close(FInputs, handle); }

    bool InGetErrorText(TMidiResult code, std::string& text) override { return ResultText(code, text); }

private:
    static constexpr uint32_t RTMIDI_DRIVER_VERSION = 0x0500;

    // The system in use; null while none answers. A stopped one is let go
    // (devices open on it keep it until they close) and looked for again.
    TRtSystem* Current()
    {
        if (FSystem && FSystem->Stopped()) {
            FSystem.reset();
            FServerStopped = true;
            FOutNames.clear();
            FInNames.clear();
            FMonitor.LookFor(FChoice);
        }
        if (!FSystem) {
            FSystem = FMonitor.TakeFound();
            if (FSystem) {
                FServerStopped = false;
                WatchOutputs();
            }
            else
                FMonitor.LookFor(FChoice);
        }
        return FSystem.get();
    }

    TMidiResult ServerState()
    {
        if (Current())
            return MMSYSERR_NOERROR;
        return FServerStopped ? MIDIERR_SERVERSTOPPED : MMSYSERR_NODRIVER;
    }

    bool ResultText(TMidiResult code, std::string& text) const
    {
        if (code == MMSYSERR_NODRIVER) {
            text = NoMidiSystemText(FChoice);
            return true;
        }
        return MidiResultText(code, text);
    }

    TMidiResult Listed(const std::vector<std::string>& names, uint32_t deviceId)
    {
        if (const TMidiResult failure = ServerState())
            return failure;
        if (deviceId >= names.size() || names[deviceId].empty())
            return MMSYSERR_BADDEVICEID;
        return MMSYSERR_NOERROR;
    }

    // An open device, the system it was opened on, and what it was opened to.
    template <typename TDevice>
    struct TOpen {
        std::shared_ptr<TRtSystem> System;
        std::string Target; // empty: the virtual output
        std::string Shown;  // the name it was opened by
        TRtSystemMonitor::TClock::time_point OpenedAt;
        std::unique_ptr<TDevice> Device; // last: goes first, while its system is still there
    };
    template <typename TDevice>
    using TDevices = std::map<TMidiHandle, TOpen<TDevice>>;

    // Device numbers refer to the list as it was at the last count, so that a
    // number chosen by name still means that name when the device is opened,
    // even if ports have come or gone since; a port that has gone is then
    // reported as gone instead of opening whatever took its place.
    template <typename TDevice, typename TList>
    uint32_t Snapshot(std::vector<std::string>& names, std::vector<std::string>& shown,
                      const TDevices<TDevice>& open, TList list)
    {
        TRtSystem* system = Current();
        names = system ? list(*system) : std::vector<std::string>{};
        std::map<std::string, std::string> kept; // the open devices' names
        for (const auto& entry : open)
            if (entry.second.System == FSystem && !entry.second.Target.empty())
                kept.emplace(entry.second.Target, entry.second.Shown);
        shown = DeviceDisplayNames(names, system && system->Api() == TRtApi::Alsa, kept);
        return static_cast<uint32_t>(names.size());
    }

    template <typename TDevice>
    TMidiResult Open(TDevices<TDevice>& devices, TMidiHandle& handle, const std::string& rawName,
                     const std::string& shown, TMidiCallback callback, uintptr_t instance)
    {
        auto device =
            std::make_unique<TDevice>(TRtDeviceContext{FSystem->Api(), FSystem->Watch(), FNextHandle, callback, instance});
        if (const TMidiResult failure = device->Open(kMidiClientName, rawName))
            return failure;
        handle = FNextHandle++;
        devices.emplace(handle,
                        TOpen<TDevice>{FSystem, rawName, shown, TRtSystemMonitor::TClock::now(), std::move(device)});
        return MMSYSERR_NOERROR;
    }

    // An output to a port that is no longer listed has gone, though the server
    // would go on taking what is sent to it.
    TMidiResult Presence(const TOpen<TRtOutDevice>& open) const
    {
        if (open.System->Stopped())
            return MIDIERR_SERVERSTOPPED;
        if (!open.Target.empty() && !FMonitor.Listed(open.Target, open.OpenedAt))
            return MIDIERR_NODEVICE;
        return MMSYSERR_NOERROR;
    }

    // The monitor lists the outputs while some are open to a port of the system in use.
    void WatchOutputs()
    {
        const bool named = std::any_of(FOutputs.begin(), FOutputs.end(), [this](const auto& entry) {
            return entry.second.System == FSystem && !entry.second.Target.empty();
        });
        if (named)
            FMonitor.ListOutputs(FSystem);
        else if (FSystem)
            FMonitor.ListOutputs(nullptr);
    }

    template <typename TDevice>
    static TOpen<TDevice>* Find(TDevices<TDevice>& devices, TMidiHandle handle)
    {
        const auto found = devices.find(handle);
        return found == devices.end() ? nullptr : &found->second;
    }

    template <typename TDevice>
    static TMidiResult Reset(TDevices<TDevice>& devices, TMidiHandle handle)
    {
        TOpen<TDevice>* open = Find(devices, handle);
        if (!open)
            return MMSYSERR_INVALHANDLE;
        open->Device->Reset();
        return MMSYSERR_NOERROR;
    }

    // Closing is local: it works, and releases everything, also when the server has gone.
    template <typename TDevice>
    static TMidiResult Close(TDevices<TDevice>& devices, TMidiHandle handle)
    {
        if (devices.erase(handle) == 0)
            return MMSYSERR_INVALHANDLE;
        return MMSYSERR_NOERROR;
    }

    static TMidiResult Prepare(bool validHandle, TMidiHdr* header, uint32_t size)
    {
        return validHandle ? PrepareMidiHeader(header, size) : MMSYSERR_INVALHANDLE;
    }

    static TMidiResult Unprepare(bool validHandle, TMidiHdr* header, uint32_t size)
    {
        return validHandle ? UnprepareMidiHeader(header, size) : MMSYSERR_INVALHANDLE;
    }

    TMidiSystem FChoice;
    TRtSystemMonitor FMonitor; // before the system and the devices, which it may still list
    std::shared_ptr<TRtSystem> FSystem;
    bool FServerStopped = false; // the system in use stopped, and none answers since
    std::vector<std::string> FOutNames; // raw names at the last count
    std::vector<std::string> FOutShown; // and the names they are offered by
    std::vector<std::string> FInNames;
    std::vector<std::string> FInShown;
    TDevices<TRtOutDevice> FOutputs;
    TDevices<TRtInDevice> FInputs;
    TMidiHandle FNextHandle = 1;
};

} // namespace

std::string AlsaDeviceName(const std::string& raw)
{
    const size_t space = raw.find_last_of(' ');
    if (space == std::string::npos)
        return raw;
    const std::string tail = raw.substr(space + 1);
    const size_t colon = tail.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == tail.size())
        return raw;
    for (size_t i = 0; i < tail.size(); ++i)
        if (i != colon && (tail[i] < '0' || tail[i] > '9'))
            return raw;
    return raw.substr(0, space);
}

std::vector<std::string> DeviceDisplayNames(const std::vector<std::string>& rawNames, bool alsa,
                                            const std::map<std::string, std::string>& kept)
{
    std::set<std::string> taken;
    for (const std::string& raw : rawNames)
        if (const auto found = kept.find(raw); found != kept.end())
            taken.insert(found->second);
    std::vector<std::string> shown;
    std::map<std::string, int> seen;
    for (const std::string& raw : rawNames) {
        if (const auto found = kept.find(raw); found != kept.end()) {
            shown.push_back(found->second);
            continue;
        }
        const std::string base = alsa ? AlsaDeviceName(raw) : raw;
        std::string name;
        do {
            const int count = ++seen[base];
            name = count > 1 ? base + " #" + std::to_string(count) : base;
        } while (!taken.insert(name).second);
        shown.push_back(std::move(name));
    }
    return shown;
}

bool IsOwnMidiPort(const std::string& rawName)
{
    const std::string name = AlsaDeviceName(rawName);
    const size_t colon = name.find(':');
    if (colon == std::string::npos)
        return false;
    const std::string client = name.substr(0, colon);
    const std::string port = name.substr(colon + 1);
    if (port != kRtOutPortName && port != kRtInPortName && port != kRtVirtualPortName)
        return false;
    // JACK names a second client of the same name "zwirbels-01", and so on.
    const std::string own = kMidiClientName;
    if (client.compare(0, own.size(), own) != 0)
        return false;
    const std::string suffix = client.substr(own.size());
    if (suffix.empty())
        return true;
    return suffix.size() > 1 && suffix[0] == '-' &&
           std::all_of(suffix.begin() + 1, suffix.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::unique_ptr<TSystemMidiBinding> MakeRtMidiBinding(TMidiSystem system, TMidiLook look)
{
    return std::make_unique<TRtMidiBinding>(system, look);
}

} // namespace zw
