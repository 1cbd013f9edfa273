#include "sitecheck/Cp932Encode.h"

namespace {
#include "common/Cp932Table.inc"

// The bytes of one character, searched in the decoding table (a character
// with two codes, as some NEC and IBM extensions have, takes the first).
bool AppendCp932(unsigned value, std::string& out) {
    for (unsigned b = 0; b < 256; ++b) {
        if (kCp932Single[b] == value && (value != 0 || b == 0)) {
            out += static_cast<char>(b);
            return true;
        }
    }
    constexpr unsigned kLeads = sizeof kCp932Pairs / sizeof kCp932Pairs[0];
    constexpr unsigned kTrails = sizeof kCp932Pairs[0] / sizeof kCp932Pairs[0][0];
    for (unsigned lead = 0; lead < kLeads; ++lead) {
        for (unsigned trail = 0; trail < kTrails; ++trail) {
            if (kCp932Pairs[lead][trail] == value) {
                out += static_cast<char>(0x81 + lead);
                out += static_cast<char>(0x40 + trail);
                return true;
            }
        }
    }
    return false;
}

}  // namespace

namespace sitecheck {

std::optional<std::string> Utf8ToCp932(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        unsigned value = 0;
        std::size_t length = 1;
        if (c < 0x80) {
            value = c;
        } else if ((c & 0xE0) == 0xC0) {
            length = 2, value = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3, value = c & 0x0F;
        } else {
            return std::nullopt;  // four bytes: beyond what code page 932 holds, or no UTF-8
        }
        if (i + length > text.size()) return std::nullopt;
        for (std::size_t k = 1; k < length; ++k) {
            const unsigned char t = static_cast<unsigned char>(text[i + k]);
            if ((t & 0xC0) != 0x80) return std::nullopt;
            value = (value << 6) | (t & 0x3F);
        }
        i += length;
        if (!AppendCp932(value, out)) return std::nullopt;
    }
    return out;
}

}  // namespace sitecheck
