#pragma once

#include "midi/Circbuf.h"
#include "midi/Mididefs.h"

#include <cstdint>

namespace zw {

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
