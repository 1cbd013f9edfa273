#include "http/ContentLength.h"

#include <cstring>
#include <limits>

#include "common/DecimalText.h"

int64_t ParseContentLength(const char* text) {
    return ParseSaturatingDecimal<int64_t>(text, text + std::strlen(text));
}

std::optional<int64_t> ExactContentLength(const char* text) {
    constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    const char* const end = text + std::strlen(text);
    const char* p = SkipDecimalBlanks(text, end);
    if (p < end && *p == '+') ++p;
    const NegatedDigits digits = ReadNegatedDigits(p, end, kMin);
    if (!digits.Any(p) || digits.overflow || digits.value < -kMax) return std::nullopt;
    if (SkipDecimalBlanks(digits.end, end) != end) return std::nullopt;
    return -digits.value;
}
