#pragma once

#include "audio/AudioHost.h"
#include "midi/MidiBinding.h"
#include "midi/MidiSplitter.h"
#include "synth/Synthesizer.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace zw {

// Where the built-in synthesizer's sound goes: the audio output (through the
// engine's stream), or nowhere until the owner renders it (tests, benchmarks).
enum class TSynthOutput { Audio, Offline };

// The system's MIDI devices plus the built-in synthesizer: output device 0 is
// the synthesizer, device n + 1 the system's output n; the mapper and the
// inputs are the system's. So the ports, the dialog and the dispatch treat the
// synthesizer as one more device. The synthesizer starts when its device
// opens, with the settings last configured, as the first instrument of the
// audio engine, and stops when it closes; a synthesizer that cannot start
// fails the open with a text that says why. A missing audio output fails
// nothing: the engine's status tells, and the output is tried again.
// Sends may come from several threads at once; each send reaches the
// synthesizer whole (a genome's messages as one unit).
class TSynthBinding : public TMidiBinding {
public:
    explicit TSynthBinding(std::unique_ptr<TMidiBinding> system, TSynthOutput output = TSynthOutput::Audio);
    // `system` must outlive this binding (tests).
    TSynthBinding(TMidiBinding& system, TSynthOutput output);
    ~TSynthBinding() override;

    // Used from the next open on.
    void Configure(const TSynthSettings& settings);
    // Offline output: renders the open synthesizer; false when it is not open.
    bool Render(float* left, float* right, int frames);
    // The engine and its output.
    TAudioHost& Audio() { return FAudio; }
    // A port holds the synthesizer.
    bool SynthOpen();

    uint32_t OutGetNumDevs() override;
    TMidiResult OutGetDevCaps(uint32_t deviceId, TMidiOutCaps& caps) override;
    TMidiResult OutOpen(TMidiHandle& handle, uint32_t deviceId, TMidiCallback callback, uintptr_t instance,
                        uint32_t flags) override;
    TMidiResult OutShortMsg(TMidiHandle handle, uint32_t message) override;
    TMidiResult OutPrepareHeader(TMidiHandle handle, TMidiHdr* header, uint32_t size) override;
    TMidiResult OutLongMsg(TMidiHandle handle, TMidiHdr* header, uint32_t size) override;
    TMidiResult OutLongMsgs(TMidiHandle handle, TMidiHdr* const* headers, uint32_t count, uint32_t size,
                            uint32_t& queued) override;
    TMidiResult OutUnprepareHeader(TMidiHandle handle, TMidiHdr* header, uint32_t size) override;
    TMidiResult OutReset(TMidiHandle handle) override;
    TMidiResult OutClose(TMidiHandle handle) override;
    bool OutGetErrorText(TMidiResult code, std::string& text) override;

    // The inputs are the system's, handles and all.
    uint32_t InGetNumDevs() override { return FSystem.InGetNumDevs(); }
    TMidiResult InGetDevCaps(uint32_t deviceId, TMidiInCaps& caps) override
    {
        return FSystem.InGetDevCaps(deviceId, caps);
    }
    TMidiResult InOpen(TMidiHandle& handle, uint32_t deviceId, TMidiCallback callback, uintptr_t instance,
                       uint32_t flags) override
    {
        return FSystem.InOpen(handle, deviceId, callback, instance, flags);
    }
    TMidiResult InPrepareHeader(TMidiHandle handle, TMidiHdr* header, uint32_t size) override
    {
        return FSystem.InPrepareHeader(handle, header, size);
    }
    TMidiResult InAddBuffer(TMidiHandle handle, TMidiHdr* header, uint32_t size) override
    {
        return FSystem.InAddBuffer(handle, header, size);
    }
    TMidiResult InUnprepareHeader(TMidiHandle handle, TMidiHdr* header, uint32_t size) override
    {
        return FSystem.InUnprepareHeader(handle, header, size);
    }
    TMidiResult InStart(TMidiHandle handle) override { return FSystem.InStart(handle); }
    TMidiResult InStop(TMidiHandle handle) override { return FSystem.InStop(handle); }
    TMidiResult InReset(TMidiHandle handle) override { return FSystem.InReset(handle); }
    TMidiResult InClose(TMidiHandle handle) override { return FSystem.InClose(handle); }
    bool InGetErrorText(TMidiResult code, std::string& text) override { return FSystem.InGetErrorText(code, text); }

private:
    static constexpr uint32_t kSynthDevice = 0;

    // Both under FMutex.
    bool IsSynth(TMidiHandle handle) const { return handle != 0 && handle == FSynthHandle; }
    static constexpr int kSynthSlot = 0; // the synthesizer's place in the engine
    // The system's handle behind one of ours; 0 when there is none.
    TMidiHandle SystemHandle(TMidiHandle handle);
    // Runs onSynth under the lock for the synthesizer's handle, else onSystem
    // with the system's handle behind ours (outside the lock: a system call
    // may wait for its server).
    template <typename OnSynth, typename OnSystem>
    TMidiResult Route(TMidiHandle handle, OnSynth onSynth, OnSystem onSystem)
    {
        {
            std::lock_guard lock(FMutex);
            if (IsSynth(handle))
                return onSynth();
        }
        const TMidiHandle system = SystemHandle(handle);
        return system ? onSystem(system) : MMSYSERR_INVALHANDLE;
    }

    // Hands complete messages to the engine as one unit; under FMutex.
    TMidiResult SendToSynth(TMidiHdr* const* headers, uint32_t count);

    std::unique_ptr<TMidiBinding> FOwnedSystem;
    TMidiBinding& FSystem;
    TAudioHost FAudio;

    // Guards everything below: the GUI thread opens and closes while other
    // threads send.
    std::mutex FMutex;
    TSynthSettings FSettings;
    bool FSynthOpen = false;
    TMidiSplitter FSynthFraming; // running status of the synthesizer's long messages
    TMidiHandle FSynthHandle = 0;
    TMidiCallback FSynthCallback = nullptr;
    uintptr_t FSynthInstance = 0;
    std::string FStartFailure; // why the synthesizer last failed to start
    // Our output handles of the system's devices, and theirs.
    std::map<TMidiHandle, TMidiHandle> FSystemHandles;
    TMidiHandle FNextHandle = 1;
};

// Gives the built-in synthesizer of `binding` and its audio output their
// settings; does nothing for a binding without them.
void ConfigureSynthesizer(TMidiBinding& binding, const TSynthSettings& settings, const TAudioSettings& audio);

} // namespace zw
