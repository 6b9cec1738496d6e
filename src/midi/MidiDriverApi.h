#pragma once

#include "midi/Circbuf.h"

#include <cstdint>
#include <string>

// The MIDI driver API the ports are written against, in the shape of the old
// multimedia-system MIDI services: devices are numbered (the mapper has a
// number of its own), every call returns a result code that has a text, the
// driver reports through one callback with numbered notices, and long
// messages travel in headers that are prepared, queued and handed back.
// TMidiBinding (MidiBinding.h) is the set of calls; this header holds their
// numbers and records, and the port-side owner of a long-message header.
namespace zw {

// --- Device numbers, notices, header flags, result codes ---------------------

// Device number of the MIDI mapper: on this platform the program's own virtual
// output port, which synthesizers and patchbays connect to.
constexpr uint32_t MIDI_MAPPER = 0xFFFFFFFF;

// How the driver reports to the callback given at open.
constexpr uint32_t CALLBACK_FUNCTION = 0x30000;

// Notices of the driver to the callback.
constexpr uint32_t MIM_OPEN = 0x3C1;
constexpr uint32_t MIM_CLOSE = 0x3C2;
constexpr uint32_t MIM_DATA = 0x3C3;
constexpr uint32_t MIM_LONGDATA = 0x3C4;
constexpr uint32_t MIM_ERROR = 0x3C5;
constexpr uint32_t MIM_LONGERROR = 0x3C6;
constexpr uint32_t MOM_OPEN = 0x3C7;
constexpr uint32_t MOM_CLOSE = 0x3C8;
constexpr uint32_t MOM_DONE = 0x3C9;

// Flags of a long-message header.
constexpr uint32_t MHDR_DONE = 0x01;
constexpr uint32_t MHDR_PREPARED = 0x02;
constexpr uint32_t MHDR_INQUEUE = 0x04;

// Result codes of the binding; 0 is success. Each has a text (TMidiBinding::GetErrorText).
using TMidiResult = uint16_t;
constexpr TMidiResult MMSYSERR_NOERROR = 0;
constexpr TMidiResult MMSYSERR_ERROR = 1;
constexpr TMidiResult MMSYSERR_BADDEVICEID = 2;
constexpr TMidiResult MMSYSERR_ALLOCATED = 4;
constexpr TMidiResult MMSYSERR_INVALHANDLE = 5;
constexpr TMidiResult MMSYSERR_NODRIVER = 6;
constexpr TMidiResult MMSYSERR_NOMEM = 7;
constexpr TMidiResult MMSYSERR_INVALFLAG = 10;
constexpr TMidiResult MMSYSERR_INVALPARAM = 11;
constexpr TMidiResult MIDIERR_UNPREPARED = 64;
constexpr TMidiResult MIDIERR_STILLPLAYING = 65;
constexpr TMidiResult MIDIERR_NOTREADY = 67;
constexpr TMidiResult MIDIERR_NODEVICE = 68;
// Codes of this platform's MIDI servers.
constexpr TMidiResult MIDIERR_SERVERSTOPPED = 100;
constexpr TMidiResult MIDIERR_OPENFAILED = 101;
constexpr TMidiResult MIDIERR_SENDFAILED = 102;
constexpr TMidiResult MIDIERR_TOOLONG = 103;
constexpr TMidiResult MIDIERR_DRIVER = 104;
// The built-in synthesizer could not start (its binding tells why).
constexpr TMidiResult MIDIERR_SYNTHFAILED = 105;

// --- Records exchanged with the binding ---------------------------------------

// Handle of an open device; 0 while closed. The binding checks every handle it
// is given, so a stale one yields MMSYSERR_INVALHANDLE and is never followed.
using TMidiHandle = uintptr_t;

// The one driver callback: (device handle, notice, instance value given at
// open, first parameter, second parameter). Runs on the driver's thread.
using TMidiCallback = void (*)(TMidiHandle handle, uint32_t message, uintptr_t instance,
                               uintptr_t param1, uintptr_t param2);

// Long-message header: the driver reads (output) or fills (input) lpData.
struct TMidiHdr {
    uint8_t* lpData;
    uint32_t dwBufferLength;
    uint32_t dwBytesRecorded;
    uintptr_t dwUser;  // the owner's object, handed back with the completion notice
    uint32_t dwFlags;  // MHDR_*
};
constexpr uint32_t kMidiHdrSize = sizeof(TMidiHdr);

// Capability records. Names are kept whole: server port names are often longer
// than 31 characters, and a cut name could match another device.
struct TMidiOutCaps {
    uint16_t wMid = 0;
    uint16_t wPid = 0;
    uint32_t vDriverVersion = 0;
    std::string szPname;
    uint16_t wTechnology = 0;
    uint16_t wVoices = 0;
    uint16_t wNotes = 0;
    uint16_t wChannelMask = 0;
    uint32_t dwSupport = 0;
};

struct TMidiInCaps {
    uint16_t wMid = 0;
    uint16_t wPid = 0;
    uint32_t vDriverVersion = 0;
    std::string szPname;
    uint32_t dwSupport = 0;
};

// Technology codes of an output device.
constexpr uint16_t MOD_MIDIPORT = 1;
constexpr uint16_t MOD_MAPPER = 5;

// --- What the ports build on them ---------------------------------------------

// One event for TMidiOutput::SendEvent: a short message, or a data block
// sent as one long message when Data is not null.
struct TMyMidiEvent {
    uint8_t MidiMessage = 0; // status byte
    uint8_t Data1 = 0;
    uint8_t Data2 = 0;
    uint16_t SysexLength = 0;
    const uint8_t* Sysex = nullptr;
};

// Owns one long-message header and its data block. Whoever hands the header to
// the driver stores the object in the header's dwUser, so that the completion
// notice, which carries only the header, leads back to the object to free.
class TMyMidiHdr {
public:
    // Length 0 allocates nothing; so does a failed allocation (Header() is then null).
    explicit TMyMidiHdr(uint16_t length);
    ~TMyMidiHdr();
    TMyMidiHdr(const TMyMidiHdr&) = delete;
    TMyMidiHdr& operator=(const TMyMidiHdr&) = delete;

    TMidiHdr* Header() const { return FHeader; }
    uint8_t* Data() const { return FData; }

    // Position of an input buffer in its port's list, 1-based: what a ring
    // buffer record refers to. 0 for output headers.
    uint32_t Number = 0;

private:
    TLockedHandle FHeaderHandle = nullptr;
    TMidiHdr* FHeader = nullptr;
    TLockedHandle FDataHandle = nullptr;
    uint8_t* FData = nullptr;
};

} // namespace zw
