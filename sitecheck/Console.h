#pragma once
// Where velta-site writes: UTF-8 bytes to a file or pipe on every platform;
// to a Windows console as UTF-16 characters, so that the console shows them
// whatever its code page.
#include <string>

namespace sitecheck {

enum class Stream { Out, Err };

void WriteUtf8(Stream stream, const std::string& utf8);

// A terminal (a console on Windows), where a progress line may be shown.
bool IsTerminal(Stream stream);

}  // namespace sitecheck
