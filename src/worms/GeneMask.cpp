#include "worms/GeneMask.h"

#include "common/Checked.h"
#include "common/Exceptions.h"
#include "common/FileErrors.h"

#include <algorithm>
#include <cctype>

namespace zw {
namespace {

std::string Trimmed(const std::string& text)
{
    const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    const auto first = std::find_if_not(text.begin(), text.end(), blank);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), blank).base();
    return first < last ? std::string(first, last) : std::string();
}

// The comma-separated items of `text`, blanks around them removed; none for
// an empty text.
std::vector<std::string> Items(const std::string& text)
{
    std::vector<std::string> items;
    if (Trimmed(text).empty())
        return items;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        items.push_back(Trimmed(text.substr(start, comma - start)));
        if (comma == std::string::npos)
            return items;
        start = comma + 1;
    }
}

[[noreturn]] void BadItem(const std::string& item)
{
    throw EInvalidFile("\"" + item + "\" is no gene number, run of genes or gene range");
}

// A decimal number 0..high, the whole of `text`.
int Number(const std::string& text, int high, const std::string& item)
{
    if (text.empty() || text.size() > 5 || !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; }))
        BadItem(item);
    const int value = std::stoi(text);
    if (value > high)
        BadItem(item);
    return value;
}

// "a-b" or "a" as the pair (a, b) or (a, a), each 0..high and a <= b.
std::pair<int, int> Run(const std::string& text, int high, const std::string& item)
{
    const std::size_t dash = text.find('-');
    const int first = Number(Trimmed(text.substr(0, dash)), high, item);
    const int last = dash == std::string::npos ? first : Number(Trimmed(text.substr(dash + 1)), high, item);
    if (last < first)
        BadItem(item);
    return {first, last};
}

void AppendRun(std::string& text, int first, int last)
{
    if (!text.empty())
        text += ',';
    text += std::to_string(first);
    if (last > first)
        text += '-' + std::to_string(last);
}

} // namespace

TGeneLimits TGeneMask::Limits(int gene) const
{
    if (gene < 0 || gene >= static_cast<int>(FGenes.size()))
        return TGeneLimits();
    return FGenes[static_cast<std::size_t>(gene)];
}

TGeneLimits& TGeneMask::At(int gene)
{
    CheckedRange<int>(gene, 0, kMaxGenes - 1);
    if (gene >= static_cast<int>(FGenes.size()))
        FGenes.resize(static_cast<std::size_t>(gene) + 1);
    return FGenes[static_cast<std::size_t>(gene)];
}

void TGeneMask::Trim()
{
    while (!FGenes.empty() && FGenes.back().IsDefault())
        FGenes.pop_back();
}

void TGeneMask::SetLocked(int gene, bool locked)
{
    At(gene).Locked = locked;
    Trim();
}

void TGeneMask::SetRange(int gene, int min, int max)
{
    CheckedByte(min);
    CheckedRange<int>(max, min, 255);
    TGeneLimits& limits = At(gene);
    limits.Min = static_cast<uint8_t>(min);
    limits.Max = static_cast<uint8_t>(max);
    Trim();
}

std::string TGeneMask::LockedText() const
{
    std::string text;
    const int count = static_cast<int>(FGenes.size());
    for (int gene = 0; gene < count; ++gene) {
        if (!Locked(gene))
            continue;
        int last = gene;
        while (last + 1 < count && Locked(last + 1))
            ++last;
        AppendRun(text, gene, last);
        gene = last;
    }
    return text;
}

std::string TGeneMask::RangeText() const
{
    std::string text;
    for (int gene = 0; gene < static_cast<int>(FGenes.size()); ++gene) {
        const TGeneLimits limits = Limits(gene);
        if (limits.Min == 0 && limits.Max == 255)
            continue;
        if (!text.empty())
            text += ',';
        text += std::to_string(gene) + ':' + std::to_string(limits.Min) + '-' + std::to_string(limits.Max);
    }
    return text;
}

void TGeneMask::ReadLockedText(const std::string& text)
{
    TGeneMask read = *this;
    for (TGeneLimits& limits : read.FGenes)
        limits.Locked = false;
    for (const std::string& item : Items(text)) {
        const auto [first, last] = Run(item, kMaxGenes - 1, item);
        for (int gene = first; gene <= last; ++gene)
            read.At(gene).Locked = true;
    }
    read.Trim();
    *this = std::move(read);
}

void TGeneMask::ReadRangeText(const std::string& text)
{
    TGeneMask read = *this;
    for (TGeneLimits& limits : read.FGenes)
        limits.Min = 0, limits.Max = 255;
    for (const std::string& item : Items(text)) {
        const std::size_t colon = item.find(':');
        if (colon == std::string::npos)
            BadItem(item);
        const int gene = Number(Trimmed(item.substr(0, colon)), kMaxGenes - 1, item);
        const auto [min, max] = Run(item.substr(colon + 1), 255, item);
        TGeneLimits& limits = read.At(gene);
        limits.Min = static_cast<uint8_t>(min);
        limits.Max = static_cast<uint8_t>(max);
    }
    read.Trim();
    *this = std::move(read);
}

uint8_t SteppedGene(int value, int step, TGeneLimits limits)
{
    if (limits.Locked || (limits.Min == 0 && limits.Max == 255))
        return static_cast<uint8_t>(((value + step) % 256 + 256) % 256);
    const int size = limits.Max - limits.Min + 1;
    const int from = std::clamp<int>(value, limits.Min, limits.Max) - limits.Min;
    // Mirrored at the half-steps beyond each end, which keeps a spread-out
    // population spread out: every value is reached as often as it is left.
    int offset = ((from + step) % (2 * size) + 2 * size) % (2 * size);
    if (offset >= size)
        offset = 2 * size - 1 - offset;
    return static_cast<uint8_t>(limits.Min + offset);
}

void ApplyGeneMask(TGene& produced, const TGene& audible, const TGeneMask& mask, TGeneFit fit)
{
    uint8_t* genes = produced.Data();
    for (int32_t i = 0; i < produced.Size(); ++i) {
        const TGeneLimits limits = mask.Limits(i);
        if (limits.IsDefault())
            continue;
        if (limits.Locked) {
            if (i < audible.Size())
                genes[i] = audible.Data()[i];
            continue;
        }
        if (fit == TGeneFit::Scale)
            genes[i] = static_cast<uint8_t>(limits.Min + genes[i] * (limits.Max - limits.Min + 1) / 256);
        else
            genes[i] = std::clamp(genes[i], limits.Min, limits.Max);
    }
}

} // namespace zw
