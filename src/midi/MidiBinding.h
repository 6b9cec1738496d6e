#pragma once

#include "midi/MidiDriverApi.h"

#include <string>

// The platform's MIDI services as the ports need them. The ports, the driver
// callback and the settings dialog are written against this interface only.
//
// Which binding a port or the dialog uses: the one given to its constructor,
// or, when none is given, the process-wide binding MidiBinding(). That is the
// real one (RtMidi: ALSA sequencer, else JACK, else no devices) unless a test
// has put another in place with SetMidiBinding or TScopedMidiBinding:
//
//     TScriptedMidiBinding midi;             // tests: devices set by the test
//     TScopedMidiBinding use(&midi);         // every port made from here on uses it
//     TFormMain form;                        // its ports and dialogs talk to `midi`
//
// A port keeps the binding it was made with for its whole life, so the binding
// must outlive every port and dialog made with it.
namespace zw {

class TMidiBinding {
public:
    virtual ~TMidiBinding() = default;

    // Output devices. Device MIDI_MAPPER is the mapper; it is not counted.
    virtual uint32_t OutGetNumDevs() = 0;
    virtual TMidiResult OutGetDevCaps(uint32_t deviceId, TMidiOutCaps& caps) = 0;
    virtual TMidiResult OutOpen(TMidiHandle& handle, uint32_t deviceId, TMidiCallback callback,
                                uintptr_t instance, uint32_t flags) = 0;
    virtual TMidiResult OutShortMsg(TMidiHandle handle, uint32_t message) = 0;
    virtual TMidiResult OutPrepareHeader(TMidiHandle handle, TMidiHdr* header, uint32_t size) = 0;
    // Queues the header; MOM_DONE with the header follows once it is sent or handed back.
    virtual TMidiResult OutLongMsg(TMidiHandle handle, TMidiHdr* header, uint32_t size) = 0;
    // Queues `count` headers in order as one hand-off: a binding with a
    // sending thread wakes it once for all of them. On a failure the headers
    // from the failing one on are not queued; `queued` tells how many were.
    // This default hands them over one by one with OutLongMsg.
    virtual TMidiResult OutLongMsgs(TMidiHandle handle, TMidiHdr* const* headers, uint32_t count, uint32_t size,
                                    uint32_t& queued);
    virtual TMidiResult OutUnprepareHeader(TMidiHandle handle, TMidiHdr* header, uint32_t size) = 0;
    // Silences the device and hands back every queued header (each with MOM_DONE).
    virtual TMidiResult OutReset(TMidiHandle handle) = 0;
    virtual TMidiResult OutClose(TMidiHandle handle) = 0;
    // False when the code has no text.
    virtual bool OutGetErrorText(TMidiResult code, std::string& text) = 0;

    // Input devices. Short messages arrive as MIM_DATA (packed message, time
    // stamp in ms since InStart), system-exclusive data in the queued buffers
    // as MIM_LONGDATA (header, time stamp).
    virtual uint32_t InGetNumDevs() = 0;
    virtual TMidiResult InGetDevCaps(uint32_t deviceId, TMidiInCaps& caps) = 0;
    virtual TMidiResult InOpen(TMidiHandle& handle, uint32_t deviceId, TMidiCallback callback,
                               uintptr_t instance, uint32_t flags) = 0;
    virtual TMidiResult InPrepareHeader(TMidiHandle handle, TMidiHdr* header, uint32_t size) = 0;
    virtual TMidiResult InAddBuffer(TMidiHandle handle, TMidiHdr* header, uint32_t size) = 0;
    virtual TMidiResult InUnprepareHeader(TMidiHandle handle, TMidiHdr* header, uint32_t size) = 0;
    virtual TMidiResult InStart(TMidiHandle handle) = 0;
    virtual TMidiResult InStop(TMidiHandle handle) = 0;
    // Stops input and hands back every queued buffer (each with MIM_LONGDATA).
    virtual TMidiResult InReset(TMidiHandle handle) = 0;
    virtual TMidiResult InClose(TMidiHandle handle) = 0;
    virtual bool InGetErrorText(TMidiResult code, std::string& text) = 0;
};

// The process-wide binding: the one set with SetMidiBinding, else the real one
// (made on first use, kept until the program ends).
TMidiBinding& MidiBinding();

// The MIDI system the real binding uses: with Auto the ALSA sequencer when it
// opens, else JACK. Stored in the settings by its name ("auto", "alsa", "jack").
enum class TMidiSystem { Auto, Alsa, Jack };
const char* MidiSystemName(TMidiSystem system);
// False, leaving `system` alone, for any other text; the case of letters does not matter.
bool ParseMidiSystem(const std::string& name, TMidiSystem& system);
// The text of MMSYSERR_NODRIVER when `system` is the one chosen.
std::string NoMidiSystemText(TMidiSystem system);

// How the real binding looks for a newly chosen system: now, waiting for the
// answer, or in the background.
enum class TMidiLook { Now, InBackground };

// Chooses the real binding's MIDI system. It looks for it at once; devices
// open on the former system stay open until they are closed. MMSYSERR_NODRIVER
// when the chosen system does not answer (it is looked for again later); in
// the background the answer comes later, and MidiSystemLooking() tells when.
TMidiResult SetMidiSystem(TMidiSystem system, TMidiLook look = TMidiLook::Now);
TMidiSystem MidiSystemChoice();
// True while the real binding, in use, has not had an answer from its look in
// the background. The real binding made by MidiBinding() first looks in the
// background.
bool MidiSystemLooking();
// nullptr goes back to the real binding.
void SetMidiBinding(TMidiBinding* binding);

// Puts a binding in place for its lifetime (tests).
class TScopedMidiBinding {
public:
    explicit TScopedMidiBinding(TMidiBinding* binding);
    ~TScopedMidiBinding();
    TScopedMidiBinding(const TScopedMidiBinding&) = delete;
    TScopedMidiBinding& operator=(const TScopedMidiBinding&) = delete;

private:
    TMidiBinding* FPrevious;
};

// Texts of the result codes in MidiDriverApi.h, shared by the bindings; false for
// a code without a text.
bool MidiResultText(TMidiResult code, std::string& text);

// The long-message header rules every binding keeps, once it has found the
// handle good. A missing header, or a size other than kMidiHdrSize, is an
// invalid parameter.
// Marks the header prepared; one without data is an invalid parameter too.
TMidiResult PrepareMidiHeader(TMidiHdr* header, uint32_t size);
// Clears the prepared mark; refused while the header is queued.
TMidiResult UnprepareMidiHeader(TMidiHdr* header, uint32_t size);
// Whether the header may be queued (sent, or added as an input buffer).
TMidiResult CheckMidiHeaderQueueable(const TMidiHdr* header, uint32_t size);
// The flags of a header taken into the queue, and of one handed back.
void MarkMidiHeaderQueued(TMidiHdr* header);
void MarkMidiHeaderDone(TMidiHdr* header);

} // namespace zw
