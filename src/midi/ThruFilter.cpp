#include "midi/ThruFilter.h"

#include <optional>

namespace zw {
namespace {

std::size_t Index(TMessageKind kind, int channel, int number)
{
    return (static_cast<std::size_t>(kind) * 16 + static_cast<std::size_t>(channel)) * 128 +
           static_cast<std::size_t>(number);
}

std::optional<TMessageKind> KindOf(uint8_t status)
{
    switch (status & 0xF0) {
    case 0x80:
    case 0x90:
    case 0xA0:
        return TMessageKind::Note;
    case 0xB0:
        return TMessageKind::ControlChange;
    case 0xC0:
        return TMessageKind::ProgramChange;
    default:
        return std::nullopt;
    }
}

} // namespace

void TThruFilter::TSet::Add(TMessageKind kind, int channel, int number)
{
    if (number < 0 || number > 127 || channel < -1 || channel > 15)
        return;
    for (int c = channel < 0 ? 0 : channel; c <= (channel < 0 ? 15 : channel); ++c)
        FBits.set(Index(kind, c, number));
}

void TThruFilter::Set(const TSet& set) noexcept
{
    for (std::size_t word = 0; word < FWords.size(); ++word) {
        uint64_t bits = 0;
        for (std::size_t bit = 0; bit < kWordBits; ++bit)
            if (set.FBits.test(word * kWordBits + bit))
                bits |= uint64_t{1} << bit;
        if (FWords[word].load(std::memory_order_relaxed) != bits)
            FWords[word].store(bits, std::memory_order_release);
    }
}

bool TThruFilter::Blocks(uint32_t message) const noexcept
{
    const auto status = static_cast<uint8_t>(message);
    const std::optional<TMessageKind> kind = KindOf(status);
    if (!kind)
        return false;
    const std::size_t index = Index(*kind, status & 0x0F, static_cast<int>(message >> 8 & 0x7F));
    return (FWords[index / kWordBits].load(std::memory_order_acquire) >> (index % kWordBits) & 1) != 0;
}

} // namespace zw
