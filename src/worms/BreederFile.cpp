#include "worms/BreederFile.h"

#include "common/FileErrors.h"
#include "common/TextLines.h"
#include "worms/GeneFile.h"

namespace zw {

std::string BreederEntryName(int breeder, int worm) { return Format("%c%d", 'A' + breeder, worm); }

std::string BreederFileText(const TBreederGenomes& breeders)
{
    std::size_t count = 0;
    for (const auto& worms : breeders)
        count += worms.size();
    std::string text;
    WriteGeneFileCount(text, count);
    for (std::size_t breeder = 0; breeder < breeders.size(); ++breeder)
        for (std::size_t worm = 0; worm < breeders[breeder].size(); ++worm)
            WriteGeneFileEntry(text, BreederEntryName(static_cast<int>(breeder), static_cast<int>(worm)),
                               breeders[breeder][worm]);
    return text;
}

TBreederGenomes ReadBreederFile(std::string_view text, int breederCount, int wormCount)
{
    const int expected = breederCount * wormCount;
    TBreederGenomes breeders(static_cast<std::size_t>(breederCount));
    int read = 0;
    ReadGeneFile(text, [&](std::string name, TGene gene) {
        if (read >= expected)
            throw EInvalidFile(Format("it holds more than %d genomes", expected));
        const int breeder = read / wormCount;
        const int worm = read % wormCount;
        if (name != BreederEntryName(breeder, worm))
            throw EInvalidFile(Format("genome %d is named \"%s\" instead of \"%s\"", read + 1, name.c_str(),
                                      BreederEntryName(breeder, worm).c_str()));
        breeders[static_cast<std::size_t>(breeder)].push_back(std::move(gene));
        ++read;
    });
    if (read != expected)
        throw EInvalidFile(Format("it holds %d genomes instead of %d", read, expected));
    return breeders;
}

} // namespace zw
