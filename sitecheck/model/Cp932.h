#pragma once
// Code page 932 as Windows decodes it, for the site checker's model of a
// customer's machine: which bytes turn into characters, the UTF-16 text the
// platform's ANSI functions work on (path limits count its characters), the
// UTF-8 form in which the checker quotes texts, and back. The tool itself
// never decodes with this table; it asks the platform.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace cp932 {

// Offset of the first byte that does not start a character code page 932
// can decode (a byte without a character, a lead byte without a valid trail
// byte, or a pair that names no character); nullopt when all decode.
std::optional<std::size_t> FirstUndecodableByte(std::string_view text);

// The text in UTF-8; bytes that do not decode appear as \xNN.
std::string Cp932ToUtf8(std::string_view text);

// The text as the ANSI functions pass it on: every character of code page
// 932 is one UTF-16 unit. What does not decode becomes the platform's
// default character U+30FB, one for a lone byte and one for a lead byte
// together with the byte after it.
std::u16string Cp932ToUtf16(std::string_view text);

// The other direction, for UTF-8 text such as velta-site's arguments: the
// bytes the tool's ANSI calls would get; nullopt when the text is no UTF-8
// or holds a character code page 932 has no bytes for.
std::optional<std::string> Utf8ToCp932(std::string_view text);

// True when the text holds bytes above 0x7F and all of it is well-formed
// UTF-8: a file saved in UTF-8 instead of Shift-JIS.
bool IsUtf8WithNonAscii(std::string_view text);

}  // namespace cp932
