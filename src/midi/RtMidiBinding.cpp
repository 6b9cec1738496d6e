#include "midi/RtMidiBinding.h"

#include "midi/JackPacer.h"
#include "midi/JackWatch.h"
#include "midi/MidiSplitter.h"
#include "midi/RtInDevice.h"
#include "midi/RtMidiCommon.h"
#include "midi/RtOutDevice.h"

#include <QCoreApplication>

#include <algorithm>
#include <map>
#include <vector>

#include <unistd.h>

namespace zw {

namespace {

// The device table: lists the devices of the MIDI system in use, opens them
// and finds each open device by its handle.
class TRtMidiBinding : public TMidiBinding {
public:
    explicit TRtMidiBinding(TMidiSystem system)
    {
        FClientName = QCoreApplication::applicationName().toStdString();
        if (FClientName.empty())
            FClientName = "Zwirbels";
        const bool alsa = system != TMidiSystem::Jack && TryAlsa();
        if (!alsa && system != TMidiSystem::Alsa)
            TryJack();
    }

    ~TRtMidiBinding() override
    {
        FOutputs.clear();
        FInputs.clear();
        FOutLister.reset();
        FInLister.reset();
    }

    uint32_t OutGetNumDevs() override
    {
        return Snapshot(FOutLister.get(), FOutListErrors, FOutNames);
    }

    TMidiResult OutGetDevCaps(uint32_t deviceId, TMidiOutCaps& caps) override
    {
        caps = TMidiOutCaps{};
        caps.vDriverVersion = RTMIDI_DRIVER_VERSION;
        caps.wChannelMask = 0xFFFF;
        if (deviceId == MIDI_MAPPER) {
            caps.szPname = FClientName + " " + kRtVirtualPortName;
            caps.wTechnology = MOD_MAPPER;
            return MMSYSERR_NOERROR;
        }
        std::string raw;
        if (const TMidiResult failure = RawName(FOutLister.get(), FOutListErrors, FOutNames, deviceId, raw))
            return failure;
        caps.szPname = DeviceName(raw);
        caps.wTechnology = MOD_MIDIPORT;
        return MMSYSERR_NOERROR;
    }

    TMidiResult OutOpen(TMidiHandle& handle, uint32_t deviceId, TMidiCallback callback, uintptr_t instance,
                        uint32_t flags) override
    {
        if (flags != CALLBACK_FUNCTION || !callback)
            return MMSYSERR_INVALFLAG;
        if (const TMidiResult failure = ServerState())
            return failure;
        std::string target;
        if (deviceId != MIDI_MAPPER)
            if (const TMidiResult failure = RawName(FOutLister.get(), FOutListErrors, FOutNames, deviceId, target))
                return failure;
        return Open(FOutputs, handle, target, callback, instance);
    }

    TMidiResult OutShortMsg(TMidiHandle handle, uint32_t message) override
    {
        TRtOutDevice* device = Find(FOutputs, handle);
        if (!device)
            return MMSYSERR_INVALHANDLE;
        const uint8_t bytes[3] = {static_cast<uint8_t>(message), static_cast<uint8_t>(message >> 8),
                                  static_cast<uint8_t>(message >> 16)};
        const int dataLength = MidiDataLength(bytes[0]);
        if (dataLength < 0)
            return MMSYSERR_INVALPARAM;
        return device->Enqueue(nullptr, std::vector<uint8_t>(bytes, bytes + 1 + dataLength));
    }

    TMidiResult OutPrepareHeader(TMidiHandle handle, TMidiHdr* header, uint32_t size) override
    {
        return Prepare(Find(FOutputs, handle) != nullptr, header, size);
    }

    TMidiResult OutLongMsg(TMidiHandle handle, TMidiHdr* header, uint32_t size) override
    {
        TRtOutDevice* device = Find(FOutputs, handle);
        if (!device)
            return MMSYSERR_INVALHANDLE;
        if (const TMidiResult failure = CheckMidiHeaderQueueable(header, size))
            return failure;
        if (FApi == TRtApi::Jack && LongestMessage(header) > kJackMaxMessage)
            return MIDIERR_TOOLONG;
        MarkMidiHeaderQueued(header);
        const TMidiResult result = device->Enqueue(header, {});
        if (result != MMSYSERR_NOERROR)
            header->dwFlags &= ~MHDR_INQUEUE;
        return result;
    }

    TMidiResult OutUnprepareHeader(TMidiHandle handle, TMidiHdr* header, uint32_t size) override
    {
        return Unprepare(Find(FOutputs, handle) != nullptr, header, size);
    }

    TMidiResult OutReset(TMidiHandle handle) override { return Reset(FOutputs, handle); }

    TMidiResult OutClose(TMidiHandle handle) override { return Close(FOutputs, handle); }

    bool OutGetErrorText(TMidiResult code, std::string& text) override { return MidiResultText(code, text); }

    uint32_t InGetNumDevs() override
    {
        return Snapshot(FInLister.get(), FInListErrors, FInNames);
    }

    TMidiResult InGetDevCaps(uint32_t deviceId, TMidiInCaps& caps) override
    {
        caps = TMidiInCaps{};
        caps.vDriverVersion = RTMIDI_DRIVER_VERSION;
        std::string raw;
        if (const TMidiResult failure = RawName(FInLister.get(), FInListErrors, FInNames, deviceId, raw))
            return failure;
        caps.szPname = DeviceName(raw);
        return MMSYSERR_NOERROR;
    }

    TMidiResult InOpen(TMidiHandle& handle, uint32_t deviceId, TMidiCallback callback, uintptr_t instance,
                       uint32_t flags) override
    {
        if (flags != CALLBACK_FUNCTION || !callback)
            return MMSYSERR_INVALFLAG;
        if (const TMidiResult failure = ServerState())
            return failure;
        std::string source;
        if (const TMidiResult failure = RawName(FInLister.get(), FInListErrors, FInNames, deviceId, source))
            return failure;
        return Open(FInputs, handle, source, callback, instance);
    }

    TMidiResult InPrepareHeader(TMidiHandle handle, TMidiHdr* header, uint32_t size) override
    {
        return Prepare(Find(FInputs, handle) != nullptr, header, size);
    }

    TMidiResult InAddBuffer(TMidiHandle handle, TMidiHdr* header, uint32_t size) override
    {
        TRtInDevice* device = Find(FInputs, handle);
        if (!device)
            return MMSYSERR_INVALHANDLE;
        if (const TMidiResult failure = CheckMidiHeaderQueueable(header, size))
            return failure;
        MarkMidiHeaderQueued(header);
        header->dwBytesRecorded = 0;
        device->AddBuffer(header);
        return MMSYSERR_NOERROR;
    }

    TMidiResult InUnprepareHeader(TMidiHandle handle, TMidiHdr* header, uint32_t size) override
    {
        return Unprepare(Find(FInputs, handle) != nullptr, header, size);
    }

    TMidiResult InStart(TMidiHandle handle) override
    {
        TRtInDevice* device = Find(FInputs, handle);
        if (!device)
            return MMSYSERR_INVALHANDLE;
        if (const TMidiResult failure = device->Health())
            return failure;
        device->Start();
        return MMSYSERR_NOERROR;
    }

    TMidiResult InStop(TMidiHandle handle) override
    {
        TRtInDevice* device = Find(FInputs, handle);
        if (!device)
            return MMSYSERR_INVALHANDLE;
        device->Stop();
        return device->Health();
    }

    TMidiResult InReset(TMidiHandle handle) override { return Reset(FInputs, handle); }

    TMidiResult InClose(TMidiHandle handle) override { return Close(FInputs, handle); }

    bool InGetErrorText(TMidiResult code, std::string& text) override { return MidiResultText(code, text); }

private:
    static constexpr uint32_t RTMIDI_DRIVER_VERSION = 0x0500;

    bool TryAlsa()
    {
        // Without the device there is nothing to try (and ALSA would say so on stderr).
        if (access("/dev/snd/seq", R_OK | W_OK) != 0)
            return false;
        // False without a sequencer (no /dev/snd/seq, or no permission).
        return TryListers(TRtApi::Alsa, FClientName);
    }

    bool TryJack()
    {
        // The watch proves that a server answers before RtMidi is asked, so
        // RtMidi never meets a missing server.
        FWatch = TJackWatch::Open(FClientName + " watch");
        if (!FWatch)
            return false;
        if (TryListers(TRtApi::Jack, FClientName + " list"))
            return true;
        FWatch.reset();
        return false;
    }

    // The clients that list the devices; the table uses `api` once both are made.
    bool TryListers(TRtApi api, const std::string& clientName)
    {
        try {
            FOutLister = NewRtClient<RtMidiOut>(api, clientName, FOutListErrors);
            FInLister = NewRtClient<RtMidiIn>(api, clientName, FInListErrors);
            FApi = api;
            return true;
        } catch (const RtMidiError&) {
            FOutLister.reset();
            FInLister.reset();
            return false;
        }
    }

    bool Available() const { return FApi != TRtApi::None && !(FWatch && FWatch->Stopped()); }

    TMidiResult ServerState() const
    {
        if (FApi == TRtApi::None)
            return MMSYSERR_NODRIVER;
        if (FWatch && FWatch->Stopped())
            return MIDIERR_SERVERSTOPPED;
        return MMSYSERR_NOERROR;
    }

    // Device numbers refer to the list as it was at the last count, so that a
    // number chosen by name still means that name when the device is opened,
    // even if ports have come or gone since; a port that has gone is then
    // reported as gone instead of opening whatever took its place.
    template <typename TRt>
    uint32_t Snapshot(TRt* lister, TRtErrorSink& errors, std::vector<std::string>& names)
    {
        names.clear();
        if (!Available())
            return 0;
        const unsigned count = lister->getPortCount();
        for (unsigned i = 0; i < count; ++i)
            names.push_back(lister->getPortName(i));
        errors.Take(); // a port that went while listing is simply listed by its empty name
        return static_cast<uint32_t>(names.size());
    }

    template <typename TRt>
    TMidiResult RawName(TRt* lister, TRtErrorSink& errors, std::vector<std::string>& names, uint32_t deviceId,
                        std::string& raw)
    {
        if (const TMidiResult failure = ServerState())
            return failure;
        if (deviceId >= names.size())
            Snapshot(lister, errors, names);
        if (deviceId >= names.size() || names[deviceId].empty())
            return MMSYSERR_BADDEVICEID;
        raw = names[deviceId];
        return MMSYSERR_NOERROR;
    }

    // The output and the input devices are kept alike; these serve both.
    template <typename TDevice>
    using TDevices = std::map<TMidiHandle, std::unique_ptr<TDevice>>;

    template <typename TDevice>
    TMidiResult Open(TDevices<TDevice>& devices, TMidiHandle& handle, const std::string& rawName,
                     TMidiCallback callback, uintptr_t instance)
    {
        auto device = std::make_unique<TDevice>(TRtDeviceContext{FApi, FWatch.get(), FNextHandle, callback, instance});
        if (const TMidiResult failure = device->Open(FClientName, rawName))
            return failure;
        handle = FNextHandle++;
        devices.emplace(handle, std::move(device));
        return MMSYSERR_NOERROR;
    }

    template <typename TDevice>
    static TDevice* Find(const TDevices<TDevice>& devices, TMidiHandle handle)
    {
        const auto found = devices.find(handle);
        return found == devices.end() ? nullptr : found->second.get();
    }

    template <typename TDevice>
    static TMidiResult Reset(TDevices<TDevice>& devices, TMidiHandle handle)
    {
        TDevice* device = Find(devices, handle);
        if (!device)
            return MMSYSERR_INVALHANDLE;
        device->Reset();
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

    std::string DeviceName(const std::string& raw) const
    {
        return FApi == TRtApi::Alsa ? AlsaDeviceName(raw) : raw;
    }

    static size_t LongestMessage(const TMidiHdr* header)
    {
        size_t longest = 0;
        SplitMidiMessages(header->lpData, header->dwBufferLength,
                          [&longest](const uint8_t*, size_t size) { longest = std::max(longest, size); });
        return longest;
    }

    TRtApi FApi = TRtApi::None;
    std::string FClientName;
    std::unique_ptr<TJackWatch> FWatch; // outlives every device, which reads it
    TRtErrorSink FOutListErrors;
    TRtErrorSink FInListErrors;
    std::unique_ptr<RtMidiOut> FOutLister;
    std::unique_ptr<RtMidiIn> FInLister;
    std::vector<std::string> FOutNames; // raw names at the last count
    std::vector<std::string> FInNames;
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

std::unique_ptr<TMidiBinding> MakeRtMidiBinding(TMidiSystem system)
{
    return std::make_unique<TRtMidiBinding>(system);
}

} // namespace zw
