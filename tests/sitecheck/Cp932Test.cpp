// UTF-8 arguments into the bytes the tool's ANSI calls get.
#include <gtest/gtest.h>

#include "sitecheck/Cp932.h"

namespace {

TEST(Cp932Encode, CharactersToTheirBytesAndBack) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"C:\\Users\\v\\Downloads", "C:\\Users\\v\\Downloads"},
        {"ダウンロード", "\x83\x5F\x83\x45\x83\x93\x83\x8D\x81\x5B\x83\x68"},
        {"表", "\x95\x5C"},  // trail byte 0x5C, a '\' to byte-wise code
        {"ｱ", "\xB1"},       // half-width katakana: one byte
        {"①", "\x87\x40"},   // NEC row 13
        {"", ""},
    };
    for (const auto& [utf8, cp932] : cases) {
        const std::optional<std::string> encoded = sitecheck::Utf8ToCp932(utf8);
        ASSERT_TRUE(encoded) << utf8;
        EXPECT_EQ(*encoded, cp932) << utf8;
        EXPECT_EQ(sitecheck::Cp932ToUtf8(*encoded), utf8);
    }
    for (const std::string refused : {"\xF0\x9F\x98\x80",  // outside the BMP
                                      "\xC3\xA9",          // é: no code in code page 932
                                      "\xE3\x83",          // cut short
                                      "\x83\x5F",          // code page 932, not UTF-8
                                      "C:\xC0\xAF",        // an overlong '/', no separator
                                      "\xED\xA0\x80"}) {   // a surrogate
        EXPECT_FALSE(sitecheck::Utf8ToCp932(refused)) << refused;
    }
}

}  // namespace
