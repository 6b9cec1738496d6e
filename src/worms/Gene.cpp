#include "worms/Gene.h"

#include "common/Exceptions.h"
#include "common/TextLines.h"

namespace zw {

TGene::TGene(const uint8_t* bytes, int32_t count)
{
    if (bytes && count > 0)
        FGenes.assign(bytes, bytes + count);
}

void TGene::SetSize(int32_t count)
{
    if (count < 0)
        count = 0; // only a malformed file asks for this; no genes is the safe reading
    if (count == Size())
        return;
    // Fresh genes, as documented: callers write every gene after a resize.
    FGenes.assign(static_cast<size_t>(count), 0);
}

uint8_t TGene::Genes(int32_t index) const
{
    if (index < 0 || index >= Size())
        throw ERangeError();
    return FGenes[static_cast<size_t>(index)];
}

void TGene::SetGenes(int32_t index, uint8_t value)
{
    if (index < 0 || index >= Size())
        throw ERangeError();
    FGenes[static_cast<size_t>(index)] = value;
}

void TGene::WriteTo(std::string& out) const
{
    out += Format("%d", Size());
    for (uint8_t gene : FGenes)
        out += Format(", %d", gene);
    out += ';';
    out += kLineEnd;
}

} // namespace zw
