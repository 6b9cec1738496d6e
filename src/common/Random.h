#pragma once

#include <cstdint>

// The one process-wide uniform generator. Its initial state is fixed, so two
// starts draw the same numbers until `Randomize` seeds it from the clock.
namespace zw {

// Uniform integer in 0..n-1 without modulo bias; 0 when n <= 0.
int32_t Random(int32_t n);

// Seeds the generator from the clock: when the about window is created, and
// when the user asks for new breeders.
void Randomize();

// Sets the generator's state; the fixed initial state is RandSeed(0).
void RandSeed(uint64_t seed);

} // namespace zw
