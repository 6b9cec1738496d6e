#pragma once

#include "worms/Gene.h"

#include <string>
#include <string_view>
#include <vector>

// The breeders kept between runs, as a gene file the bank can load too: one
// entry per worm, breeder by breeder, named by the breeder's letter and the
// worm's index ("A0" .. "A15", "B0" .. "D15").
namespace zw {

// The genomes of each breeder in worm order.
using TBreederGenomes = std::vector<std::vector<TGene>>;

// "A0" for breeder 0, worm 0; "D15" for breeder 3, worm 15.
std::string BreederEntryName(int breeder, int worm);

// The gene-file text of `breeders`.
std::string BreederFileText(const TBreederGenomes& breeders);

// The breeders a gene-file text holds. Anything but `breederCount` breeders
// of `wormCount` worms, named and ordered as written, raises EInvalidFile (or
// the gene-file reader's own errors) saying what is wrong.
TBreederGenomes ReadBreederFile(std::string_view text, int breederCount, int wormCount);

} // namespace zw
