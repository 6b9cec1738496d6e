#include "midi/SynthBinding.h"

#include "midi/MidiSplitter.h"

namespace zw {

TSynthBinding::TSynthBinding(std::unique_ptr<TMidiBinding> system, TSynthOutput output)
    : FOwnedSystem(std::move(system)), FSystem(*FOwnedSystem), FOutput(output)
{
}

TSynthBinding::TSynthBinding(TMidiBinding& system, TSynthOutput output) : FSystem(system), FOutput(output) {}

// The synthesizer (declared after the system binding) stops first.
TSynthBinding::~TSynthBinding() = default;

void TSynthBinding::Configure(const TSynthSettings& settings)
{
    std::lock_guard lock(FMutex);
    FSettings = settings;
}

bool TSynthBinding::Render(float* left, float* right, int frames)
{
    std::lock_guard lock(FMutex);
    if (!FSynth || FOutput != TSynthOutput::Offline)
        return false;
    FSynth->Render(left, right, frames);
    return true;
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
    if (FSynth)
        return MMSYSERR_ALLOCATED;
    try {
        FSynth = std::make_unique<TSynthesizer>(FSettings, FOutput);
    } catch (const ESynthError& e) {
        FStartFailure = e.Message();
        return MIDIERR_SYNTHFAILED;
    }
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
            FSynth->Play(bytes, length);
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
            // Played at once: FluidSynth takes every message into its own queue.
            header->dwIncomplete = static_cast<uint32_t>(FSynthFraming.Split(
                header->lpData, header->dwBufferLength,
                [this](const uint8_t* message, size_t length) { FSynth->Play(message, length); }));
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
    bool synth = false;
    {
        std::lock_guard lock(FMutex);
        synth = IsSynth(handle);
    }
    if (synth) // message by message, each under the lock
        return TMidiBinding::OutLongMsgs(handle, headers, count, size, queued);
    // The system's devices take a genome in one hand-off.
    queued = 0;
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
            FSynth->Silence();
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
            FSynth.reset();
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

void ConfigureSynthesizer(TMidiBinding& binding, const TSynthSettings& settings)
{
    if (auto* synth = dynamic_cast<TSynthBinding*>(&binding))
        synth->Configure(settings);
}

} // namespace zw
