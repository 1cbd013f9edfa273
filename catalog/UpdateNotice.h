#pragma once
// The server tells an outdated downloader to stop with a text whose very
// first byte is "!". The fetch shows the notice instead of a catalog; the
// site checker reports a published notice. Nothing else of the text counts.
#include <string>

inline bool IsUpdateNotice(const std::string& text) { return !text.empty() && text[0] == '!'; }
