#pragma once
// The C runtime's decimal conversion (strtol and its kin) on a bounded text,
// clamped to a range: leading blanks (space, \t, \n, \v, \f, \r), an optional
// sign, then digits up to the first other byte or the end. No digits give 0;
// a value beyond the range gives the nearest limit. Header only: the HTTP
// header reading and the catalog parser share it.
#include <cstdint>
#include <limits>

template <typename Integer>
Integer ParseSaturatingDecimal(const char* begin, const char* end) {
    static_assert(std::numeric_limits<Integer>::is_signed && sizeof(Integer) <= sizeof(int64_t));
    constexpr int64_t kMin = std::numeric_limits<Integer>::min();
    constexpr int64_t kMax = std::numeric_limits<Integer>::max();
    const char* p = begin;
    auto isBlank = [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
    };
    while (p < end && isBlank(*p)) ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = (*p++ == '-');
    // Accumulate as a negative number, so that the lowest value of the range
    // needs no special case; stop accumulating once beyond the range.
    int64_t value = 0;
    bool overflow = false;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        const int digit = *p - '0';
        if (overflow || value < (kMin + digit) / 10) {
            overflow = true;
            continue;
        }
        value = value * 10 - digit;
    }
    if (negative) return static_cast<Integer>(overflow ? kMin : value);
    if (overflow || value < -kMax) return static_cast<Integer>(kMax);
    return static_cast<Integer>(-value);
}
