#include "midi/RtMidiBinding.h"

#include "midi/JackWatch.h"
#include "midi/MidiSplitter.h"

#include <QCoreApplication>

#include <rtmidi/RtMidi.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include <unistd.h>

namespace zw {

namespace {

using namespace std::chrono_literals;

enum class TApi { None, Alsa, Jack };

// JACK carries what a client writes in one process cycle; RtMidi drops, without
// a word, what does not fit its ring buffer (16 KiB) or the cycle's port
// buffer. So a sender writes at most kJackBudget bytes (each message costing
// its length plus kJackEventCost) per window of two cycles.
constexpr uint32_t kJackBudget = 4096;
constexpr uint32_t kJackEventCost = 16;
constexpr size_t kJackMaxMessage = 8192;
// A server that runs no cycle for this long counts as stalled: sending goes on
// unpaced and the next call reports it, rather than hanging.
constexpr auto kStallTimeout = 1s;
// The ALSA sequencer refuses an event while its queue is full; the sender
// retries for a while, then reports the message as not sent.
constexpr int kSendAttempts = 50;
constexpr auto kSendRetryPause = 1ms;

const char* const kOutPortName = "MIDI out";
const char* const kInPortName = "MIDI in";
const char* const kVirtualPortName = "virtual output";

TMidiResult CodeOf(RtMidiError::Type type)
{
    switch (type) {
    case RtMidiError::NO_DEVICES_FOUND:
    case RtMidiError::INVALID_DEVICE: return MIDIERR_NODEVICE;
    case RtMidiError::MEMORY_ERROR: return MMSYSERR_NOMEM;
    case RtMidiError::INVALID_PARAMETER: return MMSYSERR_INVALPARAM;
    case RtMidiError::INVALID_USE: return MMSYSERR_ERROR;
    default: return MIDIERR_DRIVER; // warnings too: RtMidi warns of failed sends
    }
}

// Takes what RtMidi reports through its error callback, so that RtMidi never
// throws once the callback is set, and hands it to the next caller.
class TRtErrorSink {
public:
    static void Report(RtMidiError::Type type, const std::string&, void* self)
    {
        static_cast<TRtErrorSink*>(self)->FCode.store(CodeOf(type));
    }
    TMidiResult Take() { return FCode.exchange(MMSYSERR_NOERROR); }
    // Take, after opening a port: a driver error there means the open failed.
    TMidiResult TakeOpenResult()
    {
        const TMidiResult failure = Take();
        return failure == MIDIERR_DRIVER ? MIDIERR_OPENFAILED : failure;
    }
    void Set(TMidiResult code) { FCode.store(code); }

private:
    std::atomic<TMidiResult> FCode{MMSYSERR_NOERROR};
};

std::string DeviceName(TApi api, const std::string& raw)
{
    return api == TApi::Alsa ? AlsaDeviceName(raw) : raw;
}

RtMidi::Api RtApi(TApi api)
{
    return api == TApi::Alsa ? RtMidi::LINUX_ALSA : RtMidi::UNIX_JACK;
}

template <typename TRt>
int FindPort(TRt& rt, const std::string& rawName)
{
    const unsigned count = rt.getPortCount();
    for (unsigned i = 0; i < count; ++i)
        if (rt.getPortName(i) == rawName)
            return static_cast<int>(i);
    return -1;
}

// Connects `rt`, through a port of ours named `ownName`, to the port listed as
// `rawName`; false when no port is listed so. A refused connection is left in
// `errors` for TakeOpenResult.
template <typename TRt>
bool ConnectPort(TRt& rt, const std::string& rawName, const char* ownName, TRtErrorSink& errors)
{
    const int index = FindPort(rt, rawName);
    if (index < 0)
        return false;
    rt.openPort(static_cast<unsigned>(index), ownName);
    if (!rt.isPortOpen())
        errors.Set(MIDIERR_OPENFAILED);
    return true;
}

// One open output: its own RtMidi client and a sender thread, so that a long
// message is queued at once and reported done from the sender's thread.
class TRtOutDevice {
public:
    TRtOutDevice(TApi api, TJackWatch* watch, TMidiHandle handle, TMidiCallback callback, uintptr_t instance)
        : FApi(api), FWatch(watch), FHandle(handle), FCallback(callback), FInstance(instance)
    {
    }

    ~TRtOutDevice() { Close(); }

    // An empty target opens the program's virtual output port (the mapper).
    TMidiResult Open(const std::string& clientName, const std::string& target)
    {
        try {
            FRt = std::make_unique<RtMidiOut>(RtApi(FApi), clientName);
            FRt->setErrorCallback(&TRtErrorSink::Report, &FErrors);
            if (target.empty())
                FRt->openVirtualPort(kVirtualPortName);
            else if (!ConnectPort(*FRt, target, kOutPortName, FErrors))
                return MIDIERR_NODEVICE;
            if (const TMidiResult failure = FErrors.TakeOpenResult())
                return failure;
            if (FWatch)
                FWindowCycle = FWatch->Cycles();
            FThread = std::thread([this] { Run(); });
            return MMSYSERR_NOERROR;
        } catch (const RtMidiError& e) {
            return CodeOf(e.getType());
        } catch (const std::bad_alloc&) {
            return MMSYSERR_NOMEM;
        } catch (const std::system_error&) {
            return MIDIERR_DRIVER;
        }
    }

    // What went wrong since the last call: a stopped server, or a send that failed.
    TMidiResult Health()
    {
        if (FWatch && FWatch->Stopped())
            return MIDIERR_SERVERSTOPPED;
        return FSendFailure.exchange(MMSYSERR_NOERROR);
    }

    TMidiResult Enqueue(TMidiHdr* header, std::vector<uint8_t> bytes)
    {
        if (const TMidiResult failure = Health())
            return failure;
        {
            std::lock_guard lock(FMutex);
            FQueue.push_back(TItem{header, std::move(bytes)});
        }
        FWake.notify_one();
        return MMSYSERR_NOERROR;
    }

    // Hands back every queued header and silences all 16 channels.
    void Reset()
    {
        std::deque<TItem> taken;
        {
            std::lock_guard lock(FMutex);
            taken.swap(FQueue);
            std::vector<uint8_t> silence;
            for (uint8_t channel = 0; channel < 16; ++channel) {
                const uint8_t status = static_cast<uint8_t>(0xB0 | channel);
                silence.insert(silence.end(), {status, 123, 0, status, 120, 0}); // all notes off, all sound off
            }
            FQueue.push_back(TItem{nullptr, std::move(silence)});
        }
        FWake.notify_one();
        for (const TItem& item : taken)
            if (item.Header)
                Complete(item.Header);
    }

    // Sends what is queued, then ends the sender; no callback comes after this.
    void Close()
    {
        if (FThread.joinable()) {
            {
                std::lock_guard lock(FMutex);
                FClosing = true;
            }
            FWake.notify_one();
            FThread.join();
        }
        WaitUntilFlushed();
        FRt.reset();
    }

private:
    struct TItem {
        TMidiHdr* Header; // null: Bytes are to be sent
        std::vector<uint8_t> Bytes;
    };

    void Complete(TMidiHdr* header)
    {
        MarkMidiHeaderDone(header);
        FCallback(FHandle, MOM_DONE, FInstance, reinterpret_cast<uintptr_t>(header), 0);
    }

    void Run()
    {
        for (;;) {
            TItem item;
            {
                std::unique_lock lock(FMutex);
                FWake.wait(lock, [this] { return !FQueue.empty() || FClosing; });
                if (FQueue.empty())
                    return;
                item = std::move(FQueue.front());
                FQueue.pop_front();
            }
            try {
                if (item.Header)
                    SendStream(item.Header->lpData, item.Header->dwBufferLength);
                else
                    SendStream(item.Bytes.data(), item.Bytes.size());
            } catch (...) {
                FSendFailure.store(MIDIERR_SENDFAILED);
            }
            if (item.Header)
                Complete(item.Header);
        }
    }

    void SendStream(const uint8_t* data, size_t length)
    {
        SplitMidiMessages(data, length, [this](const uint8_t* message, size_t size) {
            if (FWatch) {
                if (FWatch->Stopped())
                    return;
                Pace(size);
            }
            SendOne(message, size);
        });
    }

    void SendOne(const uint8_t* message, size_t size)
    {
        for (int attempt = 1;; ++attempt) {
            FRt->sendMessage(message, size);
            if (FErrors.Take() == MMSYSERR_NOERROR)
                return;
            if (attempt == kSendAttempts) {
                FSendFailure.store(MIDIERR_SENDFAILED);
                return;
            }
            std::this_thread::sleep_for(kSendRetryPause);
        }
    }

    // JACK flushes what the sender wrote in its next process cycle; a port
    // removed before that cycle has run loses the last messages (the
    // silencing sent on close among them). Two cycles make sure, unless the
    // server has stopped or stalls.
    void WaitUntilFlushed() const
    {
        if (!FWatch)
            return;
        const uint64_t target = FWatch->Cycles() + 2;
        const auto deadline = std::chrono::steady_clock::now() + kStallTimeout;
        while (!FWatch->Stopped() && FWatch->Cycles() < target && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(200us);
    }

    void Pace(size_t size)
    {
        const uint64_t cost = size + kJackEventCost;
        if (FWatch->Cycles() >= FWindowCycle + 2) {
            FWindowCycle = FWatch->Cycles();
            FWindowCost = 0;
        }
        if (FWindowCost > 0 && FWindowCost + cost > kJackBudget) {
            const auto deadline = std::chrono::steady_clock::now() + kStallTimeout;
            while (!FWatch->Stopped() && FWatch->Cycles() < FWindowCycle + 2) {
                if (std::chrono::steady_clock::now() > deadline) {
                    FSendFailure.store(MIDIERR_NOTREADY);
                    break;
                }
                std::this_thread::sleep_for(200us);
            }
            FWindowCycle = FWatch->Cycles();
            FWindowCost = 0;
        }
        FWindowCost += cost;
    }

    const TApi FApi;
    TJackWatch* const FWatch; // JACK only
    const TMidiHandle FHandle;
    const TMidiCallback FCallback;
    const uintptr_t FInstance;
    TRtErrorSink FErrors; // outlives FRt, which reports into it
    std::atomic<TMidiResult> FSendFailure{MMSYSERR_NOERROR}; // reported by the next call
    std::unique_ptr<RtMidiOut> FRt;
    std::mutex FMutex;
    std::condition_variable FWake;
    std::deque<TItem> FQueue;
    bool FClosing = false;
    uint64_t FWindowCycle = 0; // sender thread only
    uint64_t FWindowCost = 0;
    std::thread FThread;
};

// One open input: RtMidi's thread delivers whole messages; short ones go to
// the callback packed, system-exclusive ones into the queued buffers.
class TRtInDevice {
public:
    TRtInDevice(TApi api, TJackWatch* watch, TMidiHandle handle, TMidiCallback callback, uintptr_t instance)
        : FApi(api), FWatch(watch), FHandle(handle), FCallback(callback), FInstance(instance)
    {
    }

    ~TRtInDevice() { Close(); }

    TMidiResult Open(const std::string& clientName, const std::string& source)
    {
        try {
            FRt = std::make_unique<RtMidiIn>(RtApi(FApi), clientName);
            FRt->setErrorCallback(&TRtErrorSink::Report, &FErrors);
            FRt->ignoreTypes(false, false, false); // the port filters itself
            FRt->setCallback(&TRtInDevice::Received, this);
            if (!ConnectPort(*FRt, source, kInPortName, FErrors))
                return MIDIERR_NODEVICE;
            return FErrors.TakeOpenResult();
        } catch (const RtMidiError& e) {
            return CodeOf(e.getType());
        } catch (const std::bad_alloc&) {
            return MMSYSERR_NOMEM;
        }
    }

    TMidiResult Health()
    {
        if (FWatch && FWatch->Stopped())
            return MIDIERR_SERVERSTOPPED;
        return FErrors.Take();
    }

    void AddBuffer(TMidiHdr* header)
    {
        std::lock_guard lock(FMutex);
        FBuffers.push_back(header);
    }

    void Start()
    {
        FStart.store(std::chrono::steady_clock::now().time_since_epoch().count());
        FStarted.store(true);
    }

    void Stop() { FStarted.store(false); }

    // Stops input and hands back every queued buffer, empty.
    void Reset()
    {
        Stop();
        std::lock_guard lock(FMutex);
        for (TMidiHdr* header : FBuffers) {
            header->dwBytesRecorded = 0;
            MarkMidiHeaderDone(header);
            FCallback(FHandle, MIM_LONGDATA, FInstance, reinterpret_cast<uintptr_t>(header), 0);
        }
        FBuffers.clear();
    }

    // Ends RtMidi's client and with it its thread: no callback comes after this.
    void Close()
    {
        Stop();
        FRt.reset();
    }

private:
    static void Received(double, std::vector<unsigned char>* message, void* self) noexcept
    {
        if (message && !message->empty())
            static_cast<TRtInDevice*>(self)->Deliver(message->data(), message->size());
    }

    void Deliver(const uint8_t* data, size_t size) noexcept
    {
        if (!FStarted.load())
            return;
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        const auto elapsed = std::chrono::steady_clock::duration(now - FStart.load());
        const auto timestamp =
            static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
        if (data[0] == 0xF0) {
            std::lock_guard lock(FMutex);
            size_t done = 0;
            while (done < size && !FBuffers.empty()) { // no buffer left: the rest is dropped
                TMidiHdr* header = FBuffers.front();
                FBuffers.pop_front();
                const size_t part = std::min<size_t>(size - done, header->dwBufferLength);
                std::copy(data + done, data + done + part, header->lpData);
                done += part;
                header->dwBytesRecorded = static_cast<uint32_t>(part);
                MarkMidiHeaderDone(header);
                FCallback(FHandle, MIM_LONGDATA, FInstance, reinterpret_cast<uintptr_t>(header), timestamp);
            }
        } else if (size <= 3) {
            uint32_t word = 0;
            for (size_t i = 0; i < size; ++i)
                word |= static_cast<uint32_t>(data[i]) << (8 * i);
            FCallback(FHandle, MIM_DATA, FInstance, word, timestamp);
        } else {
            FCallback(FHandle, MIM_ERROR, FInstance, 0, timestamp);
        }
    }

    const TApi FApi;
    TJackWatch* const FWatch;
    const TMidiHandle FHandle;
    const TMidiCallback FCallback;
    const uintptr_t FInstance;
    TRtErrorSink FErrors;
    std::mutex FMutex;
    std::deque<TMidiHdr*> FBuffers;
    std::atomic<bool> FStarted{false};
    std::atomic<std::chrono::steady_clock::rep> FStart{0};
    std::unique_ptr<RtMidiIn> FRt; // last: destroyed first, while the rest is still there
};

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
            caps.szPname = FClientName + " " + kVirtualPortName;
            caps.wTechnology = MOD_MAPPER;
            return MMSYSERR_NOERROR;
        }
        std::string raw;
        if (const TMidiResult failure = RawName(FOutLister.get(), FOutListErrors, FOutNames, deviceId, raw))
            return failure;
        caps.szPname = DeviceName(FApi, raw);
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
        if (FApi == TApi::Jack && LongestMessage(header) > kJackMaxMessage)
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
        caps.szPname = DeviceName(FApi, raw);
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
        try {
            auto out = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, FClientName);
            auto in = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, FClientName);
            Adopt(std::move(out), std::move(in));
            FApi = TApi::Alsa;
            return true;
        } catch (const RtMidiError&) {
            return false; // no sequencer (no /dev/snd/seq, or no permission)
        }
    }

    bool TryJack()
    {
        // The watch proves that a server answers before RtMidi is asked, so
        // RtMidi never meets a missing server.
        FWatch = TJackWatch::Open(FClientName + " watch");
        if (!FWatch)
            return false;
        try {
            auto out = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, FClientName + " list");
            auto in = std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, FClientName + " list");
            Adopt(std::move(out), std::move(in));
            FApi = TApi::Jack;
            return true;
        } catch (const RtMidiError&) {
            FWatch.reset();
            return false;
        }
    }

    void Adopt(std::unique_ptr<RtMidiOut> out, std::unique_ptr<RtMidiIn> in)
    {
        out->setErrorCallback(&TRtErrorSink::Report, &FOutListErrors);
        in->setErrorCallback(&TRtErrorSink::Report, &FInListErrors);
        FOutLister = std::move(out);
        FInLister = std::move(in);
    }

    bool Available() const { return FApi != TApi::None && !(FWatch && FWatch->Stopped()); }

    TMidiResult ServerState() const
    {
        if (FApi == TApi::None)
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
        auto device = std::make_unique<TDevice>(FApi, FWatch.get(), FNextHandle, callback, instance);
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

    static size_t LongestMessage(const TMidiHdr* header)
    {
        size_t longest = 0;
        SplitMidiMessages(header->lpData, header->dwBufferLength,
                          [&longest](const uint8_t*, size_t size) { longest = std::max(longest, size); });
        return longest;
    }

    TApi FApi = TApi::None;
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
