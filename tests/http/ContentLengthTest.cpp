#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>

#include "http/ContentLength.h"

namespace {
constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

struct ParseCase {
    const char* text;
    int64_t value;
};

TEST(ParseContentLength, ReadsBlanksSignAndDigitsUpToTheFirstOtherByte) {
    const ParseCase cases[] = {
        {"0", 0},
        {"1234", 1234},
        {"  \t 42", 42},
        {"\r\n\v\f7", 7},
        {"+15", 15},
        {"-15", -15},
        {"00012", 12},
        {"12abc", 12},
        {"12 34", 12},
        {"1073741824", 1073741824},
        {"4294967296", 4294967296LL},
        {"9223372036854775807", kMax},
        {"-9223372036854775808", kMin},
    };
    for (const ParseCase& c : cases) EXPECT_EQ(c.value, ParseContentLength(c.text)) << c.text;
}

TEST(ParseContentLength, TextWithoutDigitsGivesZero) {
    for (const char* text : {"", "abc", " ", "+", "-", "- 5", "+-5", "x12", "\xff"})
        EXPECT_EQ(0, ParseContentLength(text)) << text;
}

TEST(ParseContentLength, ValuesBeyondSixtyFourBitsClampInsteadOfWrapping) {
    EXPECT_EQ(kMax, ParseContentLength("9223372036854775808"));
    EXPECT_EQ(kMax, ParseContentLength("99999999999999999999999"));
    EXPECT_EQ(kMin, ParseContentLength("-9223372036854775809"));
    EXPECT_EQ(kMin, ParseContentLength("-99999999999999999999999"));
}

TEST(ExactContentLength, OnlyPlainNumbersHoldTheBodyToALength) {
    struct Case {
        const char* text;
        std::optional<int64_t> value;
    };
    const Case cases[] = {
        {"0", 0},
        {"1024", 1024},
        {" 1024 ", 1024},
        {"+8", 8},
        {"9223372036854775807", kMax},
        {"", std::nullopt},
        {"abc", std::nullopt},
        {"-1", std::nullopt},
        {"12abc", std::nullopt},
        {"12 34", std::nullopt},
        {"9223372036854775808", std::nullopt},
        {"++1", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(c.value, ExactContentLength(c.text)) << c.text;
}
}  // namespace
