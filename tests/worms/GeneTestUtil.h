#pragma once

#include "common/Random.h"
#include "worms/Gene.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace zw::test {

inline std::vector<uint8_t> GenesOf(const TGene& gene)
{
    return std::vector<uint8_t>(gene.Data(), gene.Data() + gene.Size());
}

inline TGene MakeGene(const std::vector<uint8_t>& values)
{
    return TGene(values.data(), static_cast<int32_t>(values.size()));
}

// Distinct genes that are not all alike: 3, 10, 17, ...
inline std::vector<uint8_t> Ramp(int count)
{
    std::vector<uint8_t> genes(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        genes[static_cast<size_t>(i)] = static_cast<uint8_t>(i * 7 + 3);
    return genes;
}

// The genes a Randomize of `count` genes draws next.
inline std::vector<uint8_t> DrawRandomGenes(int count)
{
    std::vector<uint8_t> genes(static_cast<size_t>(count));
    for (uint8_t& gene : genes)
        gene = static_cast<uint8_t>(Random(256));
    return genes;
}

// Mutation replayed from the generator's next draws: Random(100) per gene,
// then Random(2R+1) for a gene that steps; steps wrap around the byte.
inline void ReplayMutate(std::vector<uint8_t>& genes, int probability, int range)
{
    for (uint8_t& gene : genes) {
        if (Random(100) >= probability)
            continue;
        const int d = Random(2 * range + 1);
        gene = static_cast<uint8_t>((gene + 256 + range - d) % 256);
    }
}

// Crossover replayed from the next draws, mutation included.
inline void ReplayCrossOver(std::vector<uint8_t>& genes, const std::vector<uint8_t>& other,
                            int crossProbability, int mutationProbability, int range)
{
    bool take = Random(100) < crossProbability;
    const size_t n = std::min(genes.size(), other.size());
    for (size_t i = 0; i < n; ++i) {
        if (take)
            genes[i] = other[i];
        if (Random(100) < crossProbability)
            take = !take;
    }
    ReplayMutate(genes, mutationProbability, range);
}

} // namespace zw::test
