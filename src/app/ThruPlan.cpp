#include "app/ThruPlan.h"

namespace zw {

TThruPlan PlanThru(const TChannelSet& active, const std::array<int32_t, kChannelCount>& inChannels,
                   const std::array<int32_t, kChannelCount>& outChannels, bool thru,
                   const std::function<bool(TChannel)>& playsInstrument)
{
    TThruPlan plan;
    if (!thru)
        return plan;
    for (TChannel c = 0; c < kChannelCount; ++c) {
        if (!active.Contains(c))
            continue;
        const auto i = static_cast<size_t>(c);
        const auto inChannel = static_cast<size_t>(inChannels[i] & 0x0F);
        if (playsInstrument(c))
            plan.Voices[inChannel] |= static_cast<uint8_t>(1u << c);
        else
            plan.Routes[inChannel] |= static_cast<uint16_t>(1u << (outChannels[i] & 0x0F));
    }
    return plan;
}

} // namespace zw
