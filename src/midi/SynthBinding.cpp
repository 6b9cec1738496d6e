#include "midi/SynthBinding.h"

#include "audio/SynthInstrument.h"
#include "midi/MidiSplitter.h"

#include <cstring>
#include <vector>

namespace zw {
namespace {

std::unique_ptr<TAudioOutput> OutputFor(TSynthOutput output)
{
    return output == TSynthOutput::Audio ? MakeRtAudioOutput() : nullptr;
}

} // namespace

TSynthBinding::TSynthBinding(std::unique_ptr<TMidiBinding> system, TSynthOutput output)
    : FOwnedSystem(std::move(system)), FSystem(*FOwnedSystem), FAudio(OutputFor(output))
{
}

TSynthBinding::TSynthBinding(TMidiBinding& system, TSynthOutput output) : FSystem(system), FAudio(OutputFor(output))
{
}

// The engine and its output (declared after the system binding) stop first.
TSynthBinding::~TSynthBinding() = default;

void TSynthBinding::Configure(const TSynthSettings& settings)
{
    std::lock_guard lock(FMutex);
    FSettings = settings;
}

bool TSynthBinding::Render(float* left, float* right, int frames)
{
    std::lock_guard lock(FMutex);
    return FSynthOpen && frames >= 0 && FAudio.Render(left, right, static_cast<uint32_t>(frames));
}

bool TSynthBinding::SynthOpen()
{
    std::lock_guard lock(FMutex);
    return FSynthOpen;
}

TMidiResult TSynthBinding::SendToSynth(TMidiHdr* const* headers, uint32_t count)
{
    std::vector<TMidiEvent> events;
    for (uint32_t i = 0; i < count; ++i) {
        headers[i]->dwIncomplete = static_cast<uint32_t>(FSynthFraming.Split(
            headers[i]->lpData, headers[i]->dwBufferLength, [&events](const uint8_t* message, size_t length) {
                if (length > TMidiEvent::kMaxBytes)
                    return; // longer system-exclusive messages mean nothing to the synthesizer
                TMidiEvent& event = events.emplace_back();
                std::memcpy(event.Bytes, message, length);
                event.Length = static_cast<uint16_t>(length);
            }));
    }
    // A full queue (no output for a long while) loses the messages, as a
    // device that is not listening would.
    FAudio.Engine().Send(kSynthSlot, events.data(), events.size());
    return MMSYSERR_NOERROR;
}

TMidiHandle TSynthBinding::SystemHandle(TMidiHandle handle)
{
    std::lock_guard lock(FMutex);
    const auto found = FSystemHandles.find(handle);
    return found == FSystemHandles.end() ? 0 : found->second;
}

uint32_t TSynthBinding::OutGetNumDevs() { return FSystem.OutGetNumDevs() + 1; }

TMidiResult TSynthBinding::OutGetDevCaps(uint32_t deviceId, TMidiOutCaps& caps)
{
    if (deviceId != kSynthDevice)
        return FSystem.OutGetDevCaps(deviceId == MIDI_MAPPER ? deviceId : deviceId - 1, caps);
    caps = TMidiOutCaps{};
    caps.szPname = kSynthDeviceName;
    caps.wTechnology = MOD_MIDIPORT;
    caps.wVoices = 256;
    caps.wNotes = 256;
    caps.wChannelMask = 0xFFFF;
    return MMSYSERR_NOERROR;
}

TMidiResult TSynthBinding::OutOpen(TMidiHandle& handle, uint32_t deviceId, TMidiCallback callback,
                                   uintptr_t instance, uint32_t flags)
{
    if (deviceId != kSynthDevice) {
        TMidiHandle system = 0;
        const TMidiResult result =
            FSystem.OutOpen(system, deviceId == MIDI_MAPPER ? deviceId : deviceId - 1, callback, instance, flags);
        if (result != MMSYSERR_NOERROR)
            return result;
        std::lock_guard lock(FMutex);
        handle = FNextHandle++;
        FSystemHandles.emplace(handle, system);
        return MMSYSERR_NOERROR;
    }
    if (flags != CALLBACK_FUNCTION || !callback)
        return MMSYSERR_INVALFLAG;
    std::lock_guard lock(FMutex);
    if (FSynthOpen)
        return MMSYSERR_ALLOCATED;
    try {
        FAudio.SetInstrument(kSynthSlot, std::make_unique<TSynthInstrument>(FSettings));
    } catch (const ESynthError& e) {
        FStartFailure = e.Message();
        return MIDIERR_SYNTHFAILED;
    }
    FSynthOpen = true;
    FAudio.Activate();
    handle = FSynthHandle = FNextHandle++;
    FSynthFraming.Reset();
    FSynthCallback = callback;
    FSynthInstance = instance;
    return MMSYSERR_NOERROR;
}

TMidiResult TSynthBinding::OutShortMsg(TMidiHandle handle, uint32_t message)
{
    return Route(
        handle,
        [&] {
            uint8_t bytes[3];
            const size_t length = UnpackShortMessage(message, bytes);
            if (length == 0)
                return MMSYSERR_INVALPARAM;
            FAudio.Engine().Send(kSynthSlot, bytes, length);
            return MMSYSERR_NOERROR;
        },
        [&](TMidiHandle system) { return FSystem.OutShortMsg(system, message); });
}

TMidiResult TSynthBinding::OutPrepareHeader(TMidiHandle handle, TMidiHdr* header, uint32_t size)
{
    return Route(
        handle, [&] { return PrepareMidiHeader(header, size); },
        [&](TMidiHandle system) { return FSystem.OutPrepareHeader(system, header, size); });
}

TMidiResult TSynthBinding::OutLongMsg(TMidiHandle handle, TMidiHdr* header, uint32_t size)
{
    return Route(
        handle,
        [&] {
            if (const TMidiResult failure = CheckMidiHeaderQueueable(header, size))
                return failure;
            SendToSynth(&header, 1);
            MarkMidiHeaderDone(header);
            // Under the lock, so a close cannot free the port's callback block meanwhile.
            FSynthCallback(handle, MOM_DONE, FSynthInstance, reinterpret_cast<uintptr_t>(header), 0);
            return MMSYSERR_NOERROR;
        },
        [&](TMidiHandle system) { return FSystem.OutLongMsg(system, header, size); });
}

TMidiResult TSynthBinding::OutLongMsgs(TMidiHandle handle, TMidiHdr* const* headers, uint32_t count, uint32_t size,
                                       uint32_t& queued)
{
    queued = 0;
    {
        std::lock_guard lock(FMutex);
        if (IsSynth(handle)) {
            // A genome's messages go to the engine in one piece, so that no
            // audition or thru message from another thread lands inside one
            // of its NRPNs.
            for (uint32_t i = 0; i < count; ++i)
                if (const TMidiResult failure = CheckMidiHeaderQueueable(headers[i], size))
                    return failure;
            SendToSynth(headers, count);
            for (; queued < count; ++queued) {
                MarkMidiHeaderDone(headers[queued]);
                FSynthCallback(handle, MOM_DONE, FSynthInstance, reinterpret_cast<uintptr_t>(headers[queued]), 0);
            }
            return MMSYSERR_NOERROR;
        }
    }
    // The system's devices take a genome in one hand-off.
    const TMidiHandle system = SystemHandle(handle);
    return system ? FSystem.OutLongMsgs(system, headers, count, size, queued) : MMSYSERR_INVALHANDLE;
}

TMidiResult TSynthBinding::OutUnprepareHeader(TMidiHandle handle, TMidiHdr* header, uint32_t size)
{
    return Route(
        handle, [&] { return UnprepareMidiHeader(header, size); },
        [&](TMidiHandle system) { return FSystem.OutUnprepareHeader(system, header, size); });
}

TMidiResult TSynthBinding::OutReset(TMidiHandle handle)
{
    return Route(
        handle,
        [&] {
            FAudio.Engine().Silence();
            return MMSYSERR_NOERROR;
        },
        [&](TMidiHandle system) { return FSystem.OutReset(system); });
}

TMidiResult TSynthBinding::OutClose(TMidiHandle handle)
{
    TMidiHandle system = 0;
    {
        std::lock_guard lock(FMutex);
        if (IsSynth(handle)) {
            FAudio.SetInstrument(kSynthSlot, nullptr);
            FSynthOpen = false;
            FSynthHandle = 0;
            FSynthCallback = nullptr;
            return MMSYSERR_NOERROR;
        }
        const auto found = FSystemHandles.find(handle);
        if (found == FSystemHandles.end())
            return MMSYSERR_INVALHANDLE;
        system = found->second;
        FSystemHandles.erase(found);
    }
    return FSystem.OutClose(system);
}

bool TSynthBinding::OutGetErrorText(TMidiResult code, std::string& text)
{
    if (code == MIDIERR_SYNTHFAILED) {
        std::lock_guard lock(FMutex);
        if (!FStartFailure.empty()) {
            text = FStartFailure;
            return true;
        }
    }
    return FSystem.OutGetErrorText(code, text);
}

void ConfigureSynthesizer(TMidiBinding& binding, const TSynthSettings& settings, const TAudioSettings& audio)
{
    if (auto* synth = dynamic_cast<TSynthBinding*>(&binding)) {
        synth->Configure(settings);
        synth->Audio().Configure(audio);
    }
}

} // namespace zw
