#pragma once

#include "Exceptions.h"

#include <cstdint>
#include <limits>

// Checked arithmetic: overflow, zero divisors and narrowing out of range raise
// instead of wrapping silently.
namespace zw {

inline int32_t CheckedAdd(int32_t a, int32_t b)
{
    int32_t r;
    if (__builtin_add_overflow(a, b, &r))
        throw EIntOverflow();
    return r;
}

inline int32_t CheckedSub(int32_t a, int32_t b)
{
    int32_t r;
    if (__builtin_sub_overflow(a, b, &r))
        throw EIntOverflow();
    return r;
}

inline int32_t CheckedMul(int32_t a, int32_t b)
{
    int32_t r;
    if (__builtin_mul_overflow(a, b, &r))
        throw EIntOverflow();
    return r;
}

inline int32_t CheckedNeg(int32_t a)
{
    if (a == std::numeric_limits<int32_t>::min())
        throw EIntOverflow();
    return -a;
}

// Truncating division, as the rule language's "/" and DIV.
inline int32_t CheckedDiv(int32_t a, int32_t b)
{
    if (b == 0)
        throw EZeroDivide();
    if (a == std::numeric_limits<int32_t>::min() && b == -1)
        throw EIntOverflow();
    return a / b;
}

// Remainder with the sign of the dividend.
inline int32_t CheckedMod(int32_t a, int32_t b)
{
    if (b == 0)
        throw EZeroDivide();
    if (b == -1)
        return 0;
    return a % b;
}

// Narrowing with a range check: `value` must lie in lo..hi.
template <typename T, typename V>
T CheckedRange(V value, T lo, T hi)
{
    if (value < static_cast<V>(lo) || value > static_cast<V>(hi))
        throw ERangeError();
    return static_cast<T>(value);
}

inline uint8_t CheckedByte(long long value) { return CheckedRange<uint8_t>(value, 0, 255); }
inline uint16_t CheckedWord(long long value) { return CheckedRange<uint16_t>(value, 0, 65535); }

} // namespace zw
