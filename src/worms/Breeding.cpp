#include "worms/Breeding.h"

#include "common/Random.h"

#include <algorithm>

namespace zw {

void RandomizeGenes(TGene& gene)
{
    uint8_t* genes = gene.Data();
    for (int32_t i = 0; i < gene.Size(); ++i)
        genes[i] = static_cast<uint8_t>(Random(256));
}

void MutateGenes(TGene& gene, const TBreedingParams& params, const TGeneMask* ranges)
{
    const int range = params.MutationRange;
    uint8_t* genes = gene.Data();
    for (int32_t i = 0; i < gene.Size(); ++i) {
        if (Random(100) >= params.MutationProbability)
            continue;
        const int step = range - Random(2 * range + 1);
        genes[i] = SteppedGene(genes[i], step, ranges ? ranges->Limits(i) : TGeneLimits());
    }
}

void CrossOverGenes(TGene& gene, const TGene& partner, const TBreedingParams& params, const TGeneMask* ranges)
{
    bool take = Random(100) < params.CrossOverProbability;
    const int32_t count = std::min(gene.Size(), partner.Size());
    uint8_t* genes = gene.Data();
    const uint8_t* source = partner.Data();
    for (int32_t i = 0; i < count; ++i) {
        if (take)
            genes[i] = source[i];
        if (Random(100) < params.CrossOverProbability)
            take = !take;
    }
    MutateGenes(gene, params, ranges);
}

void MorphGenes(TGene& gene, const TGene& partner, const TBreedingParams& params)
{
    const int q = params.MorphPercentage;
    const int32_t count = std::min(gene.Size(), partner.Size());
    uint8_t* genes = gene.Data();
    const uint8_t* target = partner.Data();
    for (int32_t i = 0; i < count; ++i)
        genes[i] = static_cast<uint8_t>((genes[i] * (100 - q) + target[i] * q) / 100);
}

TGene BlendGenes(const TGene& from, const TGene& to, int amount, int full)
{
    TGene gene = from;
    if (full <= 0)
        return gene;
    amount = std::clamp(amount, 0, full);
    const int32_t count = std::min(from.Size(), to.Size());
    uint8_t* genes = gene.Data();
    const uint8_t* target = to.Data();
    for (int32_t i = 0; i < count; ++i)
        genes[i] = static_cast<uint8_t>((genes[i] * (full - amount) + target[i] * amount) / full);
    return gene;
}

void KeepUnheardGenes(TGene& produced, const TGene& before, int heard)
{
    if (heard < 0)
        return;
    const int common = std::min(produced.Size(), before.Size());
    for (int i = heard; i < common; ++i)
        produced.Data()[i] = before.Data()[i];
}

} // namespace zw
