#pragma once
// Code page 932 character boundaries. A lead byte followed by a trail byte is
// one character, so a trail byte 0x5C is never a path separator or an
// escaping backslash.

namespace sjis {

constexpr bool IsLeadByte(unsigned char c) noexcept {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xEF);
}

constexpr bool IsTrailByte(unsigned char c) noexcept {
    return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC);
}

// True when text[i] starts a two-byte character (text is NUL-terminated, so
// looking at text[i + 1] is safe whenever text[i] is not the terminator).
inline bool IsDoubleByteAt(const char* text, unsigned long long i) noexcept {
    return IsLeadByte(static_cast<unsigned char>(text[i])) &&
           IsTrailByte(static_cast<unsigned char>(text[i + 1]));
}

}  // namespace sjis
