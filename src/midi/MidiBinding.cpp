#include "midi/MidiBinding.h"

#include "midi/RtMidiBinding.h"
#include "midi/SynthBinding.h"

#include <QString>

#include <memory>

namespace zw {

namespace {

TMidiBinding* GInstalledBinding = nullptr;
TMidiSystem GMidiSystem = TMidiSystem::Auto;
TSystemMidiBinding* GRealBinding = nullptr; // once made

TSystemMidiBinding& RealBinding()
{
    // Made on first use. It looks for a server in the background, so that one
    // that has stalled does not hold up the start.
    static const std::unique_ptr<TSystemMidiBinding> real =
        MakeRtMidiBinding(GMidiSystem, TMidiLook::InBackground);
    GRealBinding = real.get();
    return *real;
}

} // namespace

TMidiBinding& MidiBinding()
{
    if (GInstalledBinding)
        return *GInstalledBinding;
    // Made on first use, after the system binding it wraps (which it outlives not).
    // The system's devices come with the built-in synthesizer.
    static const std::unique_ptr<TMidiBinding> withSynth =
        std::make_unique<TSynthBinding>(RealBinding(), TSynthOutput::Audio);
    return *withSynth;
}

const char* MidiSystemName(TMidiSystem system)
{
    switch (system) {
    case TMidiSystem::Alsa: return "alsa";
    case TMidiSystem::Jack: return "jack";
    case TMidiSystem::Auto: break;
    }
    return "auto";
}

bool ParseMidiSystem(const std::string& name, TMidiSystem& system)
{
    for (TMidiSystem candidate : {TMidiSystem::Auto, TMidiSystem::Alsa, TMidiSystem::Jack}) {
        if (QString::fromStdString(name).compare(MidiSystemName(candidate), Qt::CaseInsensitive) == 0) {
            system = candidate;
            return true;
        }
    }
    return false;
}

std::string NoMidiSystemText(TMidiSystem system)
{
    switch (system) {
    case TMidiSystem::Alsa: return "No MIDI system is available: the ALSA sequencer, chosen in the MIDI settings, does not answer.";
    case TMidiSystem::Jack: return "No MIDI system is available: no JACK server, chosen in the MIDI settings, answers.";
    case TMidiSystem::Auto: break;
    }
    return "No MIDI system is available: neither the ALSA sequencer nor a JACK server answers.";
}

TMidiResult SetMidiSystem(TMidiSystem system, TMidiLook look)
{
    GMidiSystem = system;
    // Not made yet: it is made with this choice.
    TSystemMidiBinding& real = GRealBinding ? *GRealBinding : RealBinding();
    return real.SetSystem(system, look);
}

bool MidiSystemLooking()
{
    // A binding put in place stands for the real one, whatever it is doing.
    return !GInstalledBinding && GRealBinding && GRealBinding->Looking();
}

TMidiSystem MidiSystemChoice()
{
    return GMidiSystem;
}

void SetMidiBinding(TMidiBinding* binding)
{
    GInstalledBinding = binding;
}

TScopedMidiBinding::TScopedMidiBinding(TMidiBinding* binding) : FPrevious(GInstalledBinding)
{
    SetMidiBinding(binding);
}

TScopedMidiBinding::~TScopedMidiBinding()
{
    SetMidiBinding(FPrevious);
}

TMidiResult TMidiBinding::OutLongMsgs(TMidiHandle handle, TMidiHdr* const* headers, uint32_t count, uint32_t size,
                                      uint32_t& queued)
{
    for (queued = 0; queued < count; ++queued)
        if (const TMidiResult failure = OutLongMsg(handle, headers[queued], size))
            return failure;
    return MMSYSERR_NOERROR;
}

bool MidiResultText(TMidiResult code, std::string& text)
{
    switch (code) {
    case MMSYSERR_NOERROR: text = "The operation completed successfully."; return true;
    case MMSYSERR_ERROR: text = "Unspecified MIDI error."; return true;
    case MMSYSERR_BADDEVICEID: text = "The MIDI device number is out of range."; return true;
    case MMSYSERR_ALLOCATED: text = "The MIDI device is already in use."; return true;
    case MMSYSERR_INVALHANDLE: text = "The MIDI device handle is invalid (is the device open?)."; return true;
    case MMSYSERR_NODRIVER: text = NoMidiSystemText(TMidiSystem::Auto); return true;
    case MMSYSERR_NOMEM: text = "Not enough memory for the MIDI operation."; return true;
    case MMSYSERR_INVALFLAG: text = "An invalid flag was passed to the MIDI system."; return true;
    case MMSYSERR_INVALPARAM: text = "An invalid parameter was passed to the MIDI system."; return true;
    case MIDIERR_UNPREPARED: text = "The MIDI buffer has not been prepared."; return true;
    case MIDIERR_STILLPLAYING: text = "MIDI buffers are still queued on the device."; return true;
    case MIDIERR_NOTREADY: text = "The MIDI device is busy."; return true;
    case MIDIERR_NODEVICE: text = "The MIDI device has gone: its port no longer exists. It reopens by itself when it is back."; return true;
    case MIDIERR_SERVERSTOPPED: text = "The MIDI server has stopped; the devices reopen by themselves once it runs again."; return true;
    case MIDIERR_OPENFAILED: text = "The MIDI server could not open the port."; return true;
    case MIDIERR_SENDFAILED: text = "The MIDI server did not accept the message."; return true;
    case MIDIERR_TOOLONG: text = "The MIDI message is longer than the MIDI server can carry."; return true;
    case MIDIERR_DRIVER: text = "The MIDI server reported an error."; return true;
    case MIDIERR_SYNTHFAILED: text = "The built-in synthesizer could not start."; return true;
    default: return false;
    }
}

TMidiResult PrepareMidiHeader(TMidiHdr* header, uint32_t size)
{
    if (!header || size != kMidiHdrSize || !header->lpData)
        return MMSYSERR_INVALPARAM;
    header->dwFlags = MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

TMidiResult UnprepareMidiHeader(TMidiHdr* header, uint32_t size)
{
    if (!header || size != kMidiHdrSize)
        return MMSYSERR_INVALPARAM;
    if (header->dwFlags & MHDR_INQUEUE)
        return MIDIERR_STILLPLAYING;
    header->dwFlags &= ~MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

TMidiResult CheckMidiHeaderQueueable(const TMidiHdr* header, uint32_t size)
{
    if (!header || size != kMidiHdrSize)
        return MMSYSERR_INVALPARAM;
    if (!(header->dwFlags & MHDR_PREPARED))
        return MIDIERR_UNPREPARED;
    return MMSYSERR_NOERROR;
}

void MarkMidiHeaderQueued(TMidiHdr* header)
{
    header->dwFlags = (header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
}

void MarkMidiHeaderDone(TMidiHdr* header)
{
    header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
}

} // namespace zw
