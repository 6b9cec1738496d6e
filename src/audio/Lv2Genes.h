#pragma once

#include "audio/Lv2Ports.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zw {

class TLv2World;

// What one gene of a breeder that plays an LV2 instrument stands for: gene k
// drives the instrument's k-th breedable control input.
struct TLv2Gene {
    TLv2ControlPort Port;
    std::string Unit; // the symbol of the port's unit ("ct", "semi"); empty when it states none

    // The value `byte` stands for, with its unit: "0.37 semi".
    std::string ValueText(uint8_t byte) const;
};

// The genes of the instrument `uri`, one per breedable control input, in
// gene order. ELv2Error when it is not installed. Takes the world's lock.
std::vector<TLv2Gene> ReadLv2Genes(TLv2World& world, const std::string& uri, double sampleRate);

} // namespace zw
