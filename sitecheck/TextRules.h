#pragma once
// The small rules of the vendor's texts the checks share: how a finding
// quotes a name or a byte, and what counts as a number, a date or an odd
// line. Names arrive in code page 932; findings are UTF-8.
#include <string>
#include <string_view>
#include <vector>

namespace sitecheck {

// "name" in UTF-8, with the quotes.
std::string Quote(const std::string& cp932);
// Up to five quoted names, then "and N more".
std::string NameList(const std::vector<std::string>& names);
// A printable ASCII character as 'c'; any other byte (a control character,
// DEL, a byte of a double-byte character) as "byte 0xNN".
std::string DescribeByte(unsigned char c);

bool StartsWithNoCase(std::string_view text, std::string_view lowerPrefix);
bool EndsWithNoCase(std::string_view text, std::string_view lowerSuffix);
bool NonAscii(std::string_view text);

// Digits with an optional sign, as written; nothing about their range.
bool IsWholeNumber(const std::string& text);
// A whole number as written, without '+' and leading zeros, for comparing
// with what the tool makes of it.
std::string CanonicalNumber(const std::string& text);
// Eight digits yyyymmdd naming a day of the Gregorian calendar.
bool IsCalendarDate(const std::string& text);

// A file-list line that begins with a blank or ends with a blank or a dot;
// "./x", "../x" and a last part "." or ".." are relative paths, not odd.
bool LeadingOrTrailingBlankOrDot(const std::string& line);

}  // namespace sitecheck
