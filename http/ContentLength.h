#pragma once
#include <cstdint>
#include <optional>

// Reads a Content-Length header text as a signed decimal number: leading
// white space, an optional sign, then digits up to the first other byte.
// No digits give 0; values beyond 64 bits clamp to the nearest limit.
int64_t ParseContentLength(const char* text);

// The length a body must have when the header is a plain, unambiguous
// number (blanks, an optional '+', digits, blanks, fitting 63 bits).
// Anything else (no digits, a sign '-', trailing text, overflow) gives no
// length to hold the body to: such a header cannot be trusted to judge a
// body as truncated.
std::optional<int64_t> ExactContentLength(const char* text);
