#include "midi/MidiDriverApi.h"

namespace zw {

TMyMidiHdr::TMyMidiHdr(uint16_t length)
{
    if (length == 0)
        return;
    FHeader = static_cast<TMidiHdr*>(AllocLockedBlock(sizeof(TMidiHdr), FHeaderHandle));
    FData = static_cast<uint8_t*>(AllocLockedBlock(length, FDataHandle));
    if (!FHeader || !FData) {
        FreeLockedBlock(FHeaderHandle);
        FreeLockedBlock(FDataHandle);
        FHeaderHandle = FDataHandle = nullptr;
        FHeader = nullptr;
        FData = nullptr;
        return;
    }
    FHeader->lpData = FData;
    FHeader->dwBufferLength = length;
}

TMyMidiHdr::~TMyMidiHdr()
{
    FreeLockedBlock(FHeaderHandle);
    FreeLockedBlock(FDataHandle);
}

} // namespace zw
