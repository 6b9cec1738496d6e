#pragma once

#include "common/FileNotes.h"
#include "worms/Gene.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// The gene file (extension "gen"): the gene bank as text. Line 1 holds the
// number of entries; each entry is one line "name = count, g0, g1, ...;", all
// lines ending with CR LF. Names are single-byte text.
namespace zw {

// The largest gene count an entry line may give. Worms carry a few hundred
// genes; a count far beyond this is a damaged file, not a genome.
inline constexpr int32_t kMaxGeneFileGeneCount = 1000000;
// The most genes one file may bring in all. Short lines are padded with 0, so
// without this a small file of "a = 1000000" lines could ask for any amount
// of memory.
inline constexpr int64_t kMaxGeneFileTotalGenes = 16LL * kMaxGeneFileGeneCount;
// The most entries a gene file may give; a bank holds dozens.
inline constexpr int32_t kMaxGeneFileEntries = 65536;
// The largest gene file read: room for kMaxGeneFileTotalGenes written out.
inline constexpr std::size_t kMaxGeneFileSize = 64U << 20;

// Appends line 1, the number of entries.
void WriteGeneFileCount(std::string& out, std::size_t count);

// Appends one entry line. The name is written as it is, separators and all
// (such a name does not survive a load); only line breaks become "_", since
// they would split the entry across lines and garble every entry after it.
void WriteGeneFileEntry(std::string& out, std::string_view name, const TGene& gene);

// Reads the entries of a gene file's text in order and hands each complete
// entry to `add` as soon as it is read. Failures raise, and what was handed
// before stays with the caller:
//  - a missing line or a line without a name: EInvalidFile "Not a Zwirbel ?"
//    with `fileName` (when given) and the line;
//  - a gene value outside 0..255: ERangeError;
//  - a gene count below 0 or above kMaxGeneFileGeneCount, or one that takes
//    the file past kMaxGeneFileTotalGenes: EInvalidFile.
// An entry count above kMaxGeneFileEntries is refused before any entry is
// handed, with EInvalidFile. A first line that is no number or below 0 reads
// as no entries, control characters in a name as "_", and a name that holds
// a separator as its part before it (the next token as the gene count);
// these come back as notes. An empty first line or 0 is an empty file.
using TGeneFileAdd = std::function<void(std::string name, TGene gene)>;
TFileNotes ReadGeneFile(std::string_view text, const TGeneFileAdd& add, std::string_view fileName = {});

} // namespace zw
