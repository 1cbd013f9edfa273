// The checker's code page 932 table against the platform's own decoder,
// every single byte and every pair of bytes: the UTF-16 text the ANSI
// functions work on (MultiByteToWideChar without flags) and which bytes
// decode at all (with MB_ERR_INVALID_CHARS). The differences are listed by
// value: where Wine and Windows differ, the model follows Windows.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <set>
#include <string>

#include "sitecheck/Cp932.h"
#include "sitecheck/model/Cp932.h"

namespace {

std::string Hex(const std::string& bytes) {
    std::string out;
    for (const char c : bytes) {
        char text[4];
        std::snprintf(text, sizeof text, "%s%02X", out.empty() ? "" : " ",
                      static_cast<unsigned char>(c));
        out += text;
    }
    return out;
}

std::u16string PlatformUtf16(const std::string& bytes, DWORD flags) {
    wchar_t wide[8] = {};
    const int n =
        MultiByteToWideChar(932, flags, bytes.data(), static_cast<int>(bytes.size()), wide, 8);
    return std::u16string(reinterpret_cast<const char16_t*>(wide), n > 0 ? n : 0);
}

// Microsoft's published table for code page 932 (bestfit932.txt, its
// MBTABLE) decodes these single bytes to U+F8F0-U+F8F3, and so does Wine
// without flags; Wine's MultiByteToWideChar with MB_ERR_INVALID_CHARS
// refuses them. The customer runs Windows: the model decodes them.
const std::set<std::string> kWineRefusesWindowsDecodes = {"\xA0", "\xFD", "\xFE", "\xFF"};

TEST(Cp932Table, AgreesWithThePlatformDecoderOnEveryByteAndPair) {
    int compared = 0, characters = 0;
    std::set<std::string> strictDifferences;
    std::string differences;
    auto note = [&](const std::string& bytes, const std::string& what) {
        if (differences.size() < 4000) differences += Hex(bytes) + ": " + what + "\n";
    };
    auto compare = [&](const std::string& bytes) {
        ++compared;
        if (cp932::Cp932ToUtf16(bytes) != PlatformUtf16(bytes, 0)) {
            note(bytes, "model and MultiByteToWideChar differ");
        }
        // Whether the bytes decode is asked of one character at a time: a
        // single byte, or a pair whose first byte starts a pair (it decodes
        // neither in the model nor on the platform on its own).
        const std::string first = bytes.substr(0, 1);
        if (bytes.size() == 2 && (!sitecheck::FirstUndecodableByte(first).has_value() ||
                                  !PlatformUtf16(first, MB_ERR_INVALID_CHARS).empty())) {
            return;
        }
        const bool modelDecodes = !sitecheck::FirstUndecodableByte(bytes).has_value();
        const bool platformDecodes = !PlatformUtf16(bytes, MB_ERR_INVALID_CHARS).empty();
        if (modelDecodes) ++characters;
        if (modelDecodes != platformDecodes) {
            if (kWineRefusesWindowsDecodes.count(bytes) != 0) {
                strictDifferences.insert(bytes);
            } else {
                note(bytes, modelDecodes ? "the model decodes, the platform refuses"
                                         : "the model refuses, the platform decodes");
            }
        }
    };
    // Byte 0 ends every text the tool handles, alone or after a lead byte.
    for (int b = 1; b < 0x100; ++b) compare(std::string(1, static_cast<char>(b)));
    for (int lead = 1; lead < 0x100; ++lead) {
        for (int trail = 1; trail < 0x100; ++trail) {
            compare(std::string{static_cast<char>(lead), static_cast<char>(trail)});
        }
    }
    std::printf(
        "compared %d byte sequences (255 single bytes, 65025 pairs) with the platform's UTF-16; "
        "%d characters decode in the model; %zu differences listed by value\n",
        compared, characters, strictDifferences.size());
    EXPECT_EQ(differences, "");
    EXPECT_EQ(strictDifferences, kWineRefusesWindowsDecodes)
        << "a listed difference no longer shows: the list is out of date";
}

}  // namespace
