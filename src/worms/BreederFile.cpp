#include "worms/BreederFile.h"

#include "common/FileErrors.h"
#include "common/TextLines.h"
#include "common/Tokens.h"
#include "worms/GeneFile.h"
#include "worms/RatedBreeding.h"

#include <algorithm>

namespace zw {
namespace {

constexpr const char* kRatingsName = "Ratings";

} // namespace

std::string BreederEntryName(int breeder, int worm) { return Format("%c%d", 'A' + breeder, worm); }

std::string BreederFileText(const TBreederGenomes& breeders, const TBreederRatings& ratings)
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
    const bool rated = std::any_of(ratings.begin(), ratings.end(), [](const std::vector<uint8_t>& worms) {
        return std::any_of(worms.begin(), worms.end(), [](uint8_t rating) { return rating != 0; });
    });
    if (rated) {
        std::vector<uint8_t> all;
        for (std::size_t breeder = 0; breeder < breeders.size(); ++breeder) {
            const std::vector<uint8_t> none(breeders[breeder].size(), 0);
            const std::vector<uint8_t>& worms = breeder < ratings.size() ? ratings[breeder] : none;
            for (std::size_t worm = 0; worm < breeders[breeder].size(); ++worm)
                all.push_back(worm < worms.size() ? worms[worm] : 0);
        }
        WriteGeneFileEntry(text, kRatingsName, TGene(all.data(), static_cast<int32_t>(all.size())));
    }
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

TBreederRatings ReadBreederRatings(std::string_view text, int breederCount, int wormCount)
{
    TBreederRatings ratings(static_cast<std::size_t>(breederCount),
                            std::vector<uint8_t>(static_cast<std::size_t>(wormCount), 0));
    const int expected = breederCount * wormCount;
    TLineReader lines(text);
    // The line after the count and the entries.
    for (int line = 0; line <= expected; ++line)
        lines.Next();
    const std::string_view line = lines.Next();
    std::size_t pos = 0;
    if (ReadToken(line, pos) != kRatingsName)
        return ratings;
    if (ReadIntToken(line, pos) != expected)
        throw EInvalidFile(Format("its ratings line does not hold %d ratings", expected));
    for (int i = 0; i < expected; ++i) {
        const long long rating = ReadIntToken(line, pos);
        if (rating < 0 || rating > kMaxRating)
            throw EInvalidFile(Format("rating %d is %lld, ratings are 0 to %d", i + 1, rating, kMaxRating));
        ratings[static_cast<std::size_t>(i / wormCount)][static_cast<std::size_t>(i % wormCount)] =
            static_cast<uint8_t>(rating);
    }
    return ratings;
}

} // namespace zw
