// Both readings of a Content-Length text against a slow, obviously right
// reference: arbitrary-precision digits compared as strings.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

#include "http/ContentLength.h"

namespace {
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Compares a digit string without leading zeros against the decimal text of a limit.
int CompareDigits(const std::string& digits, const std::string& limit) {
    if (digits.size() != limit.size()) return digits.size() < limit.size() ? -1 : 1;
    return digits.compare(limit) < 0 ? -1 : (digits == limit ? 0 : 1);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const char* c = text.c_str();  // ends at the first zero byte, as the header text does

    size_t i = 0;
    while (IsBlank(c[i])) ++i;
    const bool negative = c[i] == '-';
    if (c[i] == '+' || c[i] == '-') ++i;
    std::string digits;
    for (; c[i] >= '0' && c[i] <= '9'; ++i)
        if (!(digits.empty() && c[i] == '0')) digits += c[i];
    const bool anyDigit = i > 0 && c[i - 1] >= '0' && c[i - 1] <= '9';
    size_t rest = i;
    while (IsBlank(c[rest])) ++rest;
    const bool onlyBlanksAfter = c[rest] == '\0';

    const std::string maxText = std::to_string(std::numeric_limits<int64_t>::max());
    const std::string minText = "9223372036854775808";
    int64_t expected = 0;
    if (digits.empty())
        expected = 0;
    else if (negative)
        expected = CompareDigits(digits, minText) >= 0 ? std::numeric_limits<int64_t>::min()
                                                       : -static_cast<int64_t>(std::stoull(digits));
    else
        expected = CompareDigits(digits, maxText) >= 0 ? std::numeric_limits<int64_t>::max()
                                                       : static_cast<int64_t>(std::stoull(digits));
    if (ParseContentLength(c) != expected) std::abort();

    const std::optional<int64_t> exact = ExactContentLength(c);
    const bool wantExact =
        anyDigit && !negative && onlyBlanksAfter && CompareDigits(digits, maxText) <= 0;
    if (exact.has_value() != wantExact) std::abort();
    if (exact && *exact != expected) std::abort();
    return 0;
}
