#pragma once

#include "midi/Midicons.h"

#include <cstdint>
#include <string>

// The records the ports exchange with the platform binding.
namespace zw {

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

} // namespace zw
