#pragma once

#include "worms/Gene.h"

#include <QByteArray>

// What a drag inside the program carries. A worm's drag and a gene bank
// entry's drag both carry the genome's bytes, one byte per gene, so the
// target needs no reference into the source.
namespace zw {

inline constexpr const char* kWormMimeType = "application/x-zwirbels-worm";
inline constexpr const char* kGeneBoxMimeType = "application/x-zwirbels-genebox-entry";

// What either drag carries for `gene`.
inline QByteArray GenomeBytes(const TGene& gene)
{
    return QByteArray(reinterpret_cast<const char*>(gene.Data()), gene.Size());
}

} // namespace zw
