#pragma once

#include "worms/Gene.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The breeders kept between runs, as a gene file the bank can load too: one
// entry per worm, breeder by breeder, named by the breeder's letter and the
// worm's index ("A0" .. "A15", "B0" .. "D15"). When some worm is rated, one
// more line follows the entries, written like an entry:
// "Ratings = 64, r0, r1, ...;", one rating per worm in the order of the
// entries. A gene-file reader reads only the entries its first line counts,
// so it ignores that line.
namespace zw {

// The genomes of each breeder in worm order.
using TBreederGenomes = std::vector<std::vector<TGene>>;

// "A0" for breeder 0, worm 0; "D15" for breeder 3, worm 15.
std::string BreederEntryName(int breeder, int worm);

// The ratings of each breeder's worms in worm order, 0 for none.
using TBreederRatings = std::vector<std::vector<uint8_t>>;

// The gene-file text of `breeders`, with the ratings line when some rating
// is not 0.
std::string BreederFileText(const TBreederGenomes& breeders, const TBreederRatings& ratings = {});

// The breeders a gene-file text holds. Anything but `breederCount` breeders
// of `wormCount` worms, named and ordered as written, raises EInvalidFile (or
// the gene-file reader's own errors) saying what is wrong.
TBreederGenomes ReadBreederFile(std::string_view text, int breederCount, int wormCount);

// The ratings the text keeps, `breederCount` lists of `wormCount`; all 0
// without a ratings line. A ratings line that does not give one rating
// 0..3 per worm raises EInvalidFile saying what is wrong.
TBreederRatings ReadBreederRatings(std::string_view text, int breederCount, int wormCount);

} // namespace zw
