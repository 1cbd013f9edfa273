#include "download/WorkFolderPath.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "common/PathSplit.h"
#include "common/ShiftJis.h"

std::size_t FolderPartLength(const char* path) {
    const SplitPathParts parts = SplitPath(path);
    return parts.fits ? parts.drive + parts.directory : 0;
}

std::vector<std::size_t> FolderPrefixLengths(const char* folderPart, std::size_t length) {
    std::vector<std::size_t> prefixes;
    auto take = [&](std::size_t n) {
        if (n == 0 || folderPart[n - 1] == ':') return;
        prefixes.push_back(n);
    };
    // Character boundaries are tracked from the first byte, so that a trail
    // byte 0x5C at the second byte (a relative "\x83\x5C...") is not taken
    // for a separator; separators count from the second byte on, which keeps
    // a leading root "\" from naming an empty folder.
    for (std::size_t i = 0; i < length; ++i) {
        // The pair check must not look past length: folderPart may be a
        // prefix of a longer text.
        if (i + 1 < length && sjis::IsLeadByte(static_cast<unsigned char>(folderPart[i])) &&
            sjis::IsTrailByte(static_cast<unsigned char>(folderPart[i + 1]))) {
            ++i;
            continue;
        }
        if (i >= 1 && IsPathSeparator(folderPart[i])) take(i);
    }
    take(length);
    return prefixes;
}

bool FormatWorkFolderCandidate(char* out, std::size_t capacity, const char* base,
                               unsigned counter) {
    if (capacity == 0) return false;
    const int needed = std::snprintf(out, capacity, "%sVELTADL%u\\", base, counter);
    if (needed < 0 || static_cast<std::size_t>(needed) + 1 > capacity) {
        out[0] = '\0';
        return false;
    }
    return true;
}

std::wstring LongPathForm(const std::wstring& fullPath) {
    const auto startsWith = [&](const wchar_t* prefix) { return fullPath.rfind(prefix, 0) == 0; };
    if (startsWith(L"\\\\?\\") || startsWith(L"\\\\.\\")) return fullPath;
    if (startsWith(L"\\\\")) return L"\\\\?\\UNC\\" + fullPath.substr(2);
    return L"\\\\?\\" + fullPath;
}
