// The checker's code page 932 table against the platform's own decoder:
// a byte or pair the checker accepts must be one Windows decodes to the same
// character, and the other way round.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "sitecheck/Cp932.h"

namespace {

std::string ToHex(char c) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", static_cast<unsigned char>(c));
    return text;
}

// The character the platform decodes, as UTF-8; empty when it refuses.
std::string PlatformUtf8(const std::string& bytes) {
    wchar_t wide[4] = {};
    const int n = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(),
                                      static_cast<int>(bytes.size()), wide, 4);
    if (n != 1) return std::string();
    char utf8[8] = {};
    const int m = WideCharToMultiByte(CP_UTF8, 0, wide, 1, utf8, sizeof utf8, nullptr, nullptr);
    return std::string(utf8, m > 0 ? m : 0);
}

TEST(Cp932Table, AgreesWithThePlatformDecoder) {
    int compared = 0;
    std::string differences;
    auto compare = [&](const std::string& bytes) {
        const std::string platform = PlatformUtf8(bytes);
        const bool accepted = !sitecheck::FirstUndecodableByte(bytes).has_value();
        const std::string ours = accepted ? sitecheck::Cp932ToUtf8(bytes) : std::string();
        ++compared;
        if (ours != platform && differences.size() < 4000) {
            char line[96];
            std::snprintf(line, sizeof line, "%02X%s: checker %s, platform %s\n",
                          static_cast<unsigned char>(bytes[0]),
                          bytes.size() > 1 ? (" " + ToHex(bytes[1])).c_str() : "",
                          accepted ? "decodes" : "refuses",
                          platform.empty() ? "refuses" : "decodes");
            differences += line;
        }
    };
    for (int b = 1; b < 0x100; ++b) {
        const std::string one(1, static_cast<char>(b));
        if (!sitecheck::FirstUndecodableByte(one) || !PlatformUtf8(one).empty()) compare(one);
    }
    for (int lead = 0x81; lead < 0x100; ++lead) {
        const std::string one(1, static_cast<char>(lead));
        // A byte that is a character of its own starts no pair.
        if (!sitecheck::FirstUndecodableByte(one) || !PlatformUtf8(one).empty()) continue;
        for (int trail = 0x40; trail < 0x100; ++trail) {
            compare(std::string{static_cast<char>(lead), static_cast<char>(trail)});
        }
    }
    EXPECT_EQ(differences, "") << compared << " compared";
}

}  // namespace
