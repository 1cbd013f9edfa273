#pragma once
// Parsers of the two server texts: the download catalog and a product's file
// list. Both take the text as received, up to its first zero byte, and never
// touch the process-wide lists; the callers move the results in.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "catalog/CatalogTypes.h"

// Longest file-list line in bytes; the list is read through a line buffer of
// this size plus the terminator.
constexpr size_t kMaxFileListLine = 1023;

// Returns the position of the first one-byte ",", CR or LF at or after
// position, or of the terminating zero. Two-byte Shift-JIS characters are
// stepped over as a unit.
size_t FindColumnEnd(const char* text, size_t position);

// Column 1 of a catalog line, [begin, end): optional blanks, sign, decimal
// digits; no digits give 0, values beyond 32 bits give the nearest limit.
int32_t ConvertCatalogNumber(const char* begin, const char* end);

// Every line with a non-empty second column becomes one entry, in line order.
CatalogList ParseCatalog(const char* text);

// Each non-empty line becomes baseUrl + line. Empty when no line names a
// file; nullopt when a line is longer than kMaxFileListLine, because cutting
// or dropping it would download a different set of files than published.
std::optional<FileList> ParseFileList(const std::string& baseUrl, const char* text);

// The received body as a zero-terminated text: a zero byte inside the body
// ends the text there.
std::string TextUpToFirstZero(const uint8_t* data, size_t size);

// "https://" + download host + the catalog path, ".test" in test mode, ".txt".
std::string BuildCatalogUrl(int testMode);

// baseUrl + "downloadlist.txt", joined without a separator.
std::string BuildFileListUrl(const std::string& baseUrl);
