#include "http/ContentLength.h"

#include <cstring>
#include <limits>

#include "common/DecimalText.h"

namespace {
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
}  // namespace

int64_t ParseContentLength(const char* text) {
    return ParseSaturatingDecimal<int64_t>(text, text + std::strlen(text));
}

std::optional<int64_t> ExactContentLength(const char* text) {
    const char* p = text;
    while (IsBlank(*p)) ++p;
    if (*p == '+') ++p;
    if (*p < '0' || *p > '9') return std::nullopt;
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    int64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        const int digit = *p - '0';
        if (value > (kMax - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    while (IsBlank(*p)) ++p;
    if (*p != '\0') return std::nullopt;
    return value;
}
