#pragma once

// What a drag inside the program carries. A worm's drag and a gene bank
// entry's drag both carry the genome's bytes, one byte per gene, so the
// target needs no reference into the source.
namespace zw {

inline constexpr const char* kWormMimeType = "application/x-zwirbels-worm";
inline constexpr const char* kGeneBoxMimeType = "application/x-zwirbels-genebox-entry";

} // namespace zw
