#include "download/FileName.h"

#include <cstring>

#include "common/ShiftJis.h"

namespace {

// The runtime splitter's buffers hold 255 bytes and a terminator.
constexpr size_t kMaxPartLength = 255;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool FileNameOfPath(const char* path, char* buffer, size_t capacity) {
    if (buffer == nullptr) return false;
    if (path == nullptr) path = "";

    // A drive is the first two bytes when the second is ':'; it never counts
    // against the directory part.
    const char* rest = path;
    if (path[0] != '\0' && path[1] == ':') rest = path + 2;

    // One walk finds the last separator and the last dot after it, stepping
    // over double-byte characters whole.
    size_t nameStart = 0;
    size_t lastDot = static_cast<size_t>(-1);
    size_t length = 0;
    while (rest[length] != '\0') {
        if (sjis::IsDoubleByteAt(rest, length)) {
            length += 2;
            continue;
        }
        if (IsSeparator(rest[length])) {
            nameStart = length + 1;
            lastDot = static_cast<size_t>(-1);
        } else if (rest[length] == '.') {
            lastDot = length;
        }
        ++length;
    }

    const size_t directoryLength = nameStart;
    const size_t baseEnd = lastDot == static_cast<size_t>(-1) ? length : lastDot;
    const size_t baseLength = baseEnd - nameStart;
    const size_t extensionLength = length - baseEnd;
    const bool split = directoryLength <= kMaxPartLength && baseLength <= kMaxPartLength &&
                       extensionLength <= kMaxPartLength;

    const char* name = split ? rest + nameStart : "";
    const size_t nameLength = split ? length - nameStart : 0;
    if (nameLength + 1 > capacity) return false;
    memcpy(buffer, name, nameLength);
    buffer[nameLength] = '\0';
    return true;
}

bool JoinLocalPath(const char* folder, const char* name, char* buffer, size_t capacity) {
    if (folder == nullptr || name == nullptr || buffer == nullptr) return false;
    const size_t folderLength = strlen(folder);
    const size_t nameLength = strlen(name);
    if (folderLength + nameLength + 1 > capacity) return false;
    memcpy(buffer, folder, folderLength);
    memcpy(buffer + folderLength, name, nameLength + 1);
    return true;
}

bool SameFileName(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) return a == b;
    size_t i = 0;
    while (a[i] != '\0' && b[i] != '\0') {
        const bool doubleA = sjis::IsDoubleByteAt(a, i);
        const bool doubleB = sjis::IsDoubleByteAt(b, i);
        if (doubleA != doubleB) return false;
        if (doubleA) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
            i += 2;
            continue;
        }
        if (FoldCase(a[i]) != FoldCase(b[i])) return false;
        ++i;
    }
    return a[i] == b[i];
}
