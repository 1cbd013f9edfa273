#pragma once
// The other direction of code page 932: UTF-8 text (as velta-site takes
// its arguments) into the bytes the tool's ANSI calls would get.
#include <optional>
#include <string>
#include <string_view>

namespace sitecheck {

// nullopt when the text is no UTF-8 or holds a character code page 932
// has no bytes for.
std::optional<std::string> Utf8ToCp932(std::string_view text);

}  // namespace sitecheck
