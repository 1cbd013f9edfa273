#include "download/FileName.h"

#include <cstring>

#include "common/PathSplit.h"

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
