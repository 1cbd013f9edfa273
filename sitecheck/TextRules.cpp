#include "sitecheck/TextRules.h"

#include <cctype>
#include <cstdio>

#include "sitecheck/Cp932.h"

namespace sitecheck {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::string Quote(const std::string& cp932) { return "\"" + Cp932ToUtf8(cp932) + "\""; }

std::string NameList(const std::vector<std::string>& names) {
    std::string out;
    const std::size_t shown = names.size() < 5 ? names.size() : 5;
    for (std::size_t i = 0; i < shown; ++i) out += (i ? ", " : "") + Quote(names[i]);
    if (names.size() > shown) out += " and " + std::to_string(names.size() - shown) + " more";
    return out;
}

std::string DescribeByte(unsigned char c) {
    char text[16];
    if (c >= 0x20 && c < 0x7F) {
        std::snprintf(text, sizeof text, "'%c'", c);
    } else {
        std::snprintf(text, sizeof text, "byte 0x%02X", c);
    }
    return text;
}

bool StartsWithNoCase(std::string_view text, std::string_view lowerPrefix) {
    if (text.size() < lowerPrefix.size()) return false;
    for (std::size_t i = 0; i < lowerPrefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != lowerPrefix[i]) return false;
    }
    return true;
}

bool EndsWithNoCase(std::string_view text, std::string_view lowerSuffix) {
    return text.size() >= lowerSuffix.size() &&
           StartsWithNoCase(text.substr(text.size() - lowerSuffix.size()), lowerSuffix);
}

bool NonAscii(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return true;
    }
    return false;
}

bool IsWholeNumber(const std::string& text) {
    std::size_t i = (!text.empty() && (text[0] == '+' || text[0] == '-')) ? 1 : 0;
    if (i == text.size()) return false;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    return true;
}

std::string CanonicalNumber(const std::string& text) {
    std::string sign = text[0] == '-' ? "-" : "";
    std::size_t i = (text[0] == '+' || text[0] == '-') ? 1 : 0;
    while (i + 1 < text.size() && text[i] == '0') ++i;
    std::string digits = text.substr(i);
    if (digits == "0") sign.clear();
    return sign + digits;
}

bool IsCalendarDate(const std::string& text) {
    if (text.size() != 8) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    const int year = std::stoi(text.substr(0, 4));
    const int month = std::stoi(text.substr(4, 2));
    const int day = std::stoi(text.substr(6, 2));
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || month < 1 || month > 12 || day < 1) return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

bool LeadingOrTrailingBlankOrDot(const std::string& line) {
    auto odd = [](char c) { return c == ' ' || c == '\t' || c == '.'; };
    const std::size_t slash = line.find_last_of("/\\");
    const std::string last = slash == std::string::npos ? line : line.substr(slash + 1);
    if (last == "." || last == "..") return IsBlank(line.front());
    return IsBlank(line.front()) || odd(line.back());
}

}  // namespace sitecheck
