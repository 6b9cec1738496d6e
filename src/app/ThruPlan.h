#pragma once

#include "app/ChannelSet.h"
#include "midi/MidiScheduler.h"

#include <array>
#include <cstdint>
#include <functional>

namespace zw {

// Where thru passes what comes in on each MIDI input channel: to the output
// channels of the active breeders listening there, or to the instrument of
// such a breeder that plays one. With thru off, nowhere.
struct TThruPlan {
    TMidiScheduler::TThruRoutes Routes{};
    TMidiScheduler::TThruVoices Voices{};
};

TThruPlan PlanThru(const TChannelSet& active, const std::array<int32_t, kChannelCount>& inChannels,
                   const std::array<int32_t, kChannelCount>& outChannels, bool thru,
                   const std::function<bool(TChannel)>& playsInstrument);

} // namespace zw
