#include "Random.h"

#include <chrono>

namespace zw {
namespace {

// PCG-XSH-RR 32: small, fast, and the same draws on every machine.
class TGenerator {
public:
    void Seed(uint64_t seed)
    {
        FState = 0;
        Next();
        FState += seed;
        Next();
    }

    uint32_t Next()
    {
        const uint64_t old = FState;
        FState = old * 6364136223846793005ULL + kIncrement;
        const auto xorshifted = static_cast<uint32_t>(((old >> 18u) ^ old) >> 27u);
        const auto rot = static_cast<uint32_t>(old >> 59u);
        return (xorshifted >> rot) | (xorshifted << ((32u - rot) & 31u));
    }

private:
    static constexpr uint64_t kIncrement = 1442695040888963407ULL;
    uint64_t FState = 0;
};

TGenerator& Generator()
{
    static TGenerator generator = [] {
        TGenerator g;
        g.Seed(0);
        return g;
    }();
    return generator;
}

} // namespace

int32_t Random(int32_t n)
{
    if (n <= 0)
        return 0;
    const auto range = static_cast<uint32_t>(n);
    // Reject the top partial block so every value is equally likely.
    const uint32_t limit = UINT32_MAX - (UINT32_MAX % range + 1) % range;
    uint32_t x;
    do {
        x = Generator().Next();
    } while (x > limit);
    return static_cast<int32_t>(x % range);
}

void Randomize()
{
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    RandSeed(static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
}

void RandSeed(uint64_t seed) { Generator().Seed(seed); }

} // namespace zw
