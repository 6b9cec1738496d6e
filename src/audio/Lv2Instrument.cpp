#include "audio/Lv2Instrument.h"

namespace zw {

void TLv2Instrument::Prepare(double sampleRate, uint32_t maxFrames)
{
    if (sampleRate != FInstance->SampleRate())
        FInstance = FInstance->Remade(sampleRate, maxFrames);
}

} // namespace zw
