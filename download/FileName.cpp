#include "download/FileName.h"

#include <cstring>

#include "common/PathSplit.h"
#include "common/ShiftJis.h"

namespace {

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool FileNameOfPath(const char* path, char* buffer, size_t capacity) {
    if (buffer == nullptr) return false;
    const SplitPathParts parts = SplitPath(path != nullptr ? path : "");
    // The name is the base name followed by the extension, that is all of
    // the text after the last separator, or nothing when the split failed.
    const char* name = parts.fits ? path + parts.drive + parts.directory : "";
    const size_t nameLength = parts.fits ? parts.base + parts.extension : 0;
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
    memmove(buffer, folder, folderLength);
    memmove(buffer + folderLength, name, nameLength + 1);
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
