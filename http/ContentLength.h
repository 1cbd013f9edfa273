#pragma once
#include <cstdint>

// Reads a Content-Length header text as a signed decimal number: leading
// white space, an optional sign, then digits up to the first other byte.
// No digits give 0; values beyond 64 bits clamp to the nearest limit.
int64_t ParseContentLength(const char* text);
