#pragma once
// The runtime's bounded path splitter (_splitpath_s with a 3-byte drive and
// 256-byte directory, name and extension buffers) as a text rule on code
// page 932 text, so the same split holds in the tool, in its tests and in
// the fuzzers, and a trail byte 0x5C of a double-byte character is never a
// separator. Header only: every layer may use it.
#include <cstddef>

#include "common/ShiftJis.h"

// Largest part (directory, base name, extension) the splitter holds; a
// longer part makes every part come out empty.
constexpr std::size_t kMaxSplitPart = 255;

inline bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

// Byte lengths of the parts, which follow one another in the text.
struct SplitPathParts {
    std::size_t drive = 0;      // 2 when the second byte is ':', else 0
    std::size_t directory = 0;  // after the drive, up to and including the last separator
    std::size_t base = 0;       // the last component up to its last '.'
    std::size_t extension = 0;  // from that '.' on (0 without one)
    bool fits = true;           // false: some part exceeds kMaxSplitPart, every part is empty
};

inline SplitPathParts SplitPath(const char* path) {
    SplitPathParts parts;
    if (path == nullptr) return parts;
    if (path[0] != '\0' && path[1] == ':') parts.drive = 2;
    const char* rest = path + parts.drive;

    // One walk finds the last separator and the last dot after it, stepping
    // over double-byte characters whole.
    std::size_t nameStart = 0;
    std::size_t lastDot = static_cast<std::size_t>(-1);
    std::size_t length = 0;
    while (rest[length] != '\0') {
        if (sjis::IsDoubleByteAt(rest, length)) {
            length += 2;
            continue;
        }
        if (IsPathSeparator(rest[length])) {
            nameStart = length + 1;
            lastDot = static_cast<std::size_t>(-1);
        } else if (rest[length] == '.') {
            lastDot = length;
        }
        ++length;
    }
    const std::size_t baseEnd = lastDot == static_cast<std::size_t>(-1) ? length : lastDot;
    parts.directory = nameStart;
    parts.base = baseEnd - nameStart;
    parts.extension = length - baseEnd;
    parts.fits = parts.directory <= kMaxSplitPart && parts.base <= kMaxSplitPart &&
                 parts.extension <= kMaxSplitPart;
    return parts;
}
