#pragma once
// Code page 932 as Windows decodes it, for judging and quoting the vendor's
// texts: which bytes a customer's machine can turn into characters, and the
// UTF-8 form in which the checker quotes them.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace sitecheck {

// Offset of the first byte that does not start a character code page 932
// can decode (a byte without a character, a lead byte without a valid trail
// byte, or a pair that names no character); nullopt when all decode.
std::optional<std::size_t> FirstUndecodableByte(std::string_view text);

// The text in UTF-8; bytes that do not decode appear as \xNN.
std::string Cp932ToUtf8(std::string_view text);

// True when the text holds bytes above 0x7F and all of it is well-formed
// UTF-8: a file saved in UTF-8 instead of Shift-JIS.
bool IsUtf8WithNonAscii(std::string_view text);

}  // namespace sitecheck
