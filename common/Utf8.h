#pragma once
// One step through UTF-8 text, for everything here that reads it: the
// checker's arguments, its output and its guess at a catalog saved in
// UTF-8. Strict: overlong forms, surrogates and values past U+10FFFF are
// no UTF-8.
#include <cstddef>
#include <optional>
#include <string_view>

namespace utf8 {

struct Character {
    char32_t value;
    std::size_t length;  // bytes, 1 to 4
};

// The character that starts at text[i] (i < text.size()); nullopt when the
// bytes there are no well-formed UTF-8.
inline std::optional<Character> DecodeAt(std::string_view text, std::size_t i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    char32_t minimum = 0, value = 0;
    if (c < 0x80) {
        return Character{c, 1};
    } else if ((c & 0xE0) == 0xC0) {
        length = 2, minimum = 0x80, value = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        length = 3, minimum = 0x800, value = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        length = 4, minimum = 0x10000, value = c & 0x07;
    } else {
        return std::nullopt;
    }
    if (length > text.size() - i) return std::nullopt;
    for (std::size_t k = 1; k < length; ++k) {
        const unsigned char t = static_cast<unsigned char>(text[i + k]);
        if ((t & 0xC0) != 0x80) return std::nullopt;
        value = (value << 6) | (t & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return std::nullopt;
    }
    return Character{value, length};
}

}  // namespace utf8
