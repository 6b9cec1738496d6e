#include "midi/RtMidiCommon.h"

namespace zw {

TMidiResult RtResultCode(RtMidiError::Type type)
{
    switch (type) {
    case RtMidiError::NO_DEVICES_FOUND:
    case RtMidiError::INVALID_DEVICE: return MIDIERR_NODEVICE;
    case RtMidiError::MEMORY_ERROR: return MMSYSERR_NOMEM;
    case RtMidiError::INVALID_PARAMETER: return MMSYSERR_INVALPARAM;
    case RtMidiError::INVALID_USE: return MMSYSERR_ERROR;
    default: return MIDIERR_DRIVER; // warnings too: RtMidi warns of failed sends
    }
}

void TRtErrorSink::Report(RtMidiError::Type type, const std::string&, void* self)
{
    static_cast<TRtErrorSink*>(self)->FCode.store(RtResultCode(type));
}

TMidiResult TRtErrorSink::TakeOpenResult()
{
    const TMidiResult failure = Take();
    return failure == MIDIERR_DRIVER ? MIDIERR_OPENFAILED : failure;
}

} // namespace zw
