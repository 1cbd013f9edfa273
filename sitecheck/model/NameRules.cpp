#include "sitecheck/model/NameRules.h"

#include <cstring>

#include "sitecheck/model/Cp932.h"

namespace {

// A character as NTFS upper-cases it when it compares names: ASCII, Greek,
// Cyrillic, Roman numerals and the full-width Latin letters, which are the
// letters with case that code page 932 holds (every one of them is created
// beside its other case under Wine by the FileModelPlatform test).
char16_t UpcaseForFileNames(char16_t c) {
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
    if (c == 0x03C2) return 0x03A3;  // final sigma
    if (c >= 0x03B1 && c <= 0x03CB) return static_cast<char16_t>(c - 0x20);
    if (c >= 0x0430 && c <= 0x044F) return static_cast<char16_t>(c - 0x20);
    if (c >= 0x0450 && c <= 0x045F) return static_cast<char16_t>(c - 0x50);
    if (c >= 0x2170 && c <= 0x217F) return static_cast<char16_t>(c - 0x10);
    if (c >= 0xFF41 && c <= 0xFF5A) return static_cast<char16_t>(c - 0x20);
    return c;
}

// The part of a name before its first dot, without trailing blanks, in upper
// case: what Windows matches against its device names.
std::string DeviceStem(const std::string& name) {
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (char& c : stem) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return stem;
}

}  // namespace

std::size_t PathCharacters(const std::string& path) { return cp932::Cp932ToUtf16(path).size(); }

std::u16string FileSystemKey(const std::string& name) {
    // Cut after the conversion, as Windows does: a blank that a lead byte
    // takes along is no trailing blank.
    std::u16string key = cp932::Cp932ToUtf16(name);
    while (!key.empty() && (key.back() == u'.' || key.back() == u' ')) key.pop_back();
    for (char16_t& c : key) c = UpcaseForFileNames(c);
    return key;
}

std::optional<unsigned char> RefusedCharacter(const std::string& name) {
    for (const char16_t c : cp932::Cp932ToUtf16(name)) {
        if (c < 0x20 || (c < 0x80 && std::strchr("<>:\"/\\|?*", static_cast<char>(c)) != nullptr)) {
            return static_cast<unsigned char>(c);
        }
    }
    return std::nullopt;
}

bool IsReservedDeviceName(const std::string& name) {
    const std::string stem = DeviceStem(name);
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return true;
    return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
           stem[3] >= '1' && stem[3] <= '9';
}

bool IsConsoleName(const std::string& name) { return DeviceStem(name) == "CON"; }
