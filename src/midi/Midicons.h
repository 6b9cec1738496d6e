#pragma once

#include <cstdint>

// Numbers shared by the ports, the driver callback and the platform bindings:
// the driver's notices, header flags and result codes.
namespace zw {

// Device number of the MIDI mapper: on this platform the program's own virtual
// output port, which synthesizers and patchbays connect to.
constexpr uint32_t MIDI_MAPPER = 0xFFFFFFFF;

// How the driver reports to the callback given at open.
constexpr uint32_t CALLBACK_FUNCTION = 0x30000;

// Notices of the driver to the callback, and the overflow notice of the input port.
constexpr uint32_t MIM_OPEN = 0x3C1;
constexpr uint32_t MIM_CLOSE = 0x3C2;
constexpr uint32_t MIM_DATA = 0x3C3;
constexpr uint32_t MIM_LONGDATA = 0x3C4;
constexpr uint32_t MIM_ERROR = 0x3C5;
constexpr uint32_t MIM_LONGERROR = 0x3C6;
constexpr uint32_t MOM_OPEN = 0x3C7;
constexpr uint32_t MOM_CLOSE = 0x3C8;
constexpr uint32_t MOM_DONE = 0x3C9;
constexpr uint32_t WM_USER = 0x400;

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

} // namespace zw
