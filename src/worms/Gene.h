#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zw {

// The genome of one worm: an ordered, counted run of byte-valued genes. A gene
// is identified by its 0-based index, which is also its gene number in the rule
// table. Copies are plain values; a copy never follows later changes of its
// source.
class TGene {
public:
    // An empty genome (Size 0).
    TGene() = default;
    // A genome of `count` genes taken from `bytes`, one byte per gene (as a
    // drag carries them).
    TGene(const uint8_t* bytes, int32_t count);

    int32_t Size() const { return static_cast<int32_t>(FGenes.size()); }
    // Does nothing when `count` equals Size. Otherwise the genes are replaced
    // by `count` new ones (zero; every caller writes them). A negative count
    // gives an empty genome.
    void SetSize(int32_t count);

    // Gene `index` (0..Size-1); an index outside raises ERangeError.
    uint8_t Genes(int32_t index) const;
    void SetGenes(int32_t index, uint8_t value);

    // All genes at once, for painting, drags and bulk copies.
    const uint8_t* Data() const { return FGenes.data(); }
    uint8_t* Data() { return FGenes.data(); }

    // Appends the tail of one gene-file entry to `out`: the gene count, ", v"
    // per gene, ";" and the line end, e.g. "3, 12, 200, 7;\r\n".
    void WriteTo(std::string& out) const;

    bool operator==(const TGene&) const = default;

private:
    std::vector<uint8_t> FGenes;
};

} // namespace zw
