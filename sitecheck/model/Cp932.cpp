#include "sitecheck/model/Cp932.h"

#include <cstdio>

#include "common/Utf8.h"

namespace {
#include "sitecheck/model/Cp932Table.inc"

// The bytes that start a two-byte character in code page 932, the
// user-defined rows 0xF0-0xF9 and the IBM rows 0xFA-0xFC included.
bool IsPairLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Character at position and its length in bytes; 0 characters mean the
// byte does not decode (length 1 then).
unsigned short CharacterAt(std::string_view text, std::size_t i, std::size_t& length) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    length = 1;
    if (lead == 0) return 0;
    if (kCp932Single[lead] != 0) return kCp932Single[lead];
    if (lead < 0x81 || i + 1 >= text.size()) return 0;
    const unsigned char trail = static_cast<unsigned char>(text[i + 1]);
    if (trail < 0x40) return 0;
    const unsigned short c = kCp932Pairs[lead - 0x81][trail - 0x40];
    if (c != 0) length = 2;
    return c;
}

void AppendUtf8(std::string& out, unsigned c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

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

namespace cp932 {

std::optional<std::size_t> FirstUndecodableByte(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        std::size_t length = 0;
        if (CharacterAt(text, i, length) == 0) return i;
        i += length;
    }
    return std::nullopt;
}

std::string Cp932ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 3 / 2);
    for (std::size_t i = 0; i < text.size();) {
        std::size_t length = 0;
        const unsigned short c = CharacterAt(text, i, length);
        if (c == 0 && text[i] != '\0') {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(text[i]));
            out += escaped;
        } else {
            AppendUtf8(out, c);
        }
        i += length;
    }
    return out;
}

std::u16string Cp932ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        std::size_t length = 0;
        unsigned short c = CharacterAt(text, i, length);
        if (c == 0 && text[i] != '\0') {
            // The platform's default character; a lead byte takes the byte
            // after it along, whatever it is, as Wine's MultiByteToWideChar
            // does (measured for every pair by the Cp932Table platform test).
            c = 0x30FB;
            if (IsPairLead(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) length = 2;
        }
        out += static_cast<char16_t>(c);
        i += length;
    }
    return out;
}

bool IsUtf8WithNonAscii(std::string_view text) {
    bool nonAscii = false;
    for (std::size_t i = 0; i < text.size();) {
        const std::optional<utf8::Character> c = utf8::DecodeAt(text, i);
        if (!c) return false;
        nonAscii |= c->length > 1;
        i += c->length;
    }
    return nonAscii;
}

std::optional<std::string> Utf8ToCp932(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const std::optional<utf8::Character> c = utf8::DecodeAt(text, i);
        // Past U+FFFF nothing has code page 932 bytes.
        if (!c || c->value > 0xFFFF || !AppendCp932(static_cast<unsigned>(c->value), out)) {
            return std::nullopt;
        }
        i += c->length;
    }
    return out;
}

}  // namespace cp932
