#pragma once
// Code page 932 as Windows decodes it: which bytes a customer's machine can
// turn into characters, the UTF-16 text the platform's ANSI functions work
// on (path limits count its characters), how the file system compares names
// without case, the UTF-8 form in which the site checker quotes texts, and back.
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
// 932 is one UTF-16 unit, and so is every byte that does not decode (the
// platform substitutes a default character for it).
std::u16string Cp932ToUtf16(std::string_view text);

// A character as NTFS upper-cases it when it compares names: ASCII, Greek,
// Cyrillic, Roman numerals and the full-width Latin letters, which are the
// letters with case that code page 932 holds.
char16_t UpcaseForFileNames(char16_t c);

// The other direction, for UTF-8 text such as velta-site's arguments: the
// bytes the tool's ANSI calls would get; nullopt when the text is no UTF-8
// or holds a character code page 932 has no bytes for.
std::optional<std::string> Utf8ToCp932(std::string_view text);

// True when the text holds bytes above 0x7F and all of it is well-formed
// UTF-8: a file saved in UTF-8 instead of Shift-JIS.
bool IsUtf8WithNonAscii(std::string_view text);

}  // namespace cp932
