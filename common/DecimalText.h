#pragma once
// The C runtime's decimal conversion (strtol and its kin) on a bounded text:
// leading blanks (space, \t, \n, \v, \f, \r), an optional sign, then digits
// up to the first other byte or the end. Header only: the HTTP header
// reading and the catalog parser share it.
#include <cstdint>
#include <limits>

// The blanks the conversion skips before a number.
constexpr bool IsDecimalBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

inline const char* SkipDecimalBlanks(const char* p, const char* end) {
    while (p < end && IsDecimalBlank(*p)) ++p;
    return p;
}

// The run of digits at the start of [p, end), as minus its value, so that
// the lowest value of a signed range needs no special case. Accumulation
// stops once the value would pass below lowest (overflow); the run is read
// to its end all the same.
struct NegatedDigits {
    const char* end;  // the first byte after the digits
    int64_t value;    // minus the number, unless overflow
    bool overflow;
    bool Any(const char* begin) const { return end != begin; }
};

inline NegatedDigits ReadNegatedDigits(const char* p, const char* end, int64_t lowest) {
    NegatedDigits digits{p, 0, false};
    for (; digits.end < end && *digits.end >= '0' && *digits.end <= '9'; ++digits.end) {
        const int digit = *digits.end - '0';
        if (digits.overflow || digits.value < (lowest + digit) / 10) {
            digits.overflow = true;
            continue;
        }
        digits.value = digits.value * 10 - digit;
    }
    return digits;
}

// The conversion clamped to the range of Integer: no digits give 0, a value
// beyond the range gives the nearest limit.
template <typename Integer>
Integer ParseSaturatingDecimal(const char* begin, const char* end) {
    static_assert(std::numeric_limits<Integer>::is_signed && sizeof(Integer) <= sizeof(int64_t));
    constexpr int64_t kMin = std::numeric_limits<Integer>::min();
    constexpr int64_t kMax = std::numeric_limits<Integer>::max();
    const char* p = SkipDecimalBlanks(begin, end);
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = (*p++ == '-');
    const NegatedDigits digits = ReadNegatedDigits(p, end, kMin);
    if (negative) return static_cast<Integer>(digits.overflow ? kMin : digits.value);
    if (digits.overflow || digits.value < -kMax) return static_cast<Integer>(kMax);
    return static_cast<Integer>(-digits.value);
}
