#pragma once

#include "GeneTestUtil.h"
#include "worms/Gene.h"
#include "worms/Worm.h"

#include <cstdint>
#include <vector>

namespace zw::test {

inline std::vector<uint8_t> GenesOf(const TWorm& worm) { return GenesOf(worm.Gene()); }

// Gives the worm exactly these genes (the draws of the resize are spent).
inline void SetGenes(TWorm& worm, const std::vector<uint8_t>& values)
{
    const TGene gene = MakeGene(values);
    worm.AssignGenes(&gene);
}

} // namespace zw::test
