// Stands in for a product's setup: records to VELTA_RUN_SETUP_RECORD its path,
// command line, current folder and every file beside it with its size and
// the digest of its bytes, then exits with 7, which the run must ignore.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tests/support/ContentDigest.h"

namespace {

std::string DigestOfFile(const char* folderPattern, const char* name) {
    std::string path = folderPattern;
    path.replace(path.size() - 1, 1, name);
    velta_test::ContentDigest digest;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return "unreadable";
    char buffer[65536];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        digest.Add(buffer, got);
    std::fclose(file);
    return digest.Hex();
}

}  // namespace

int main() {
    char recordPath[MAX_PATH] = {};
    if (GetEnvironmentVariableA("VELTA_RUN_SETUP_RECORD", recordPath, sizeof recordPath) == 0)
        return 2;
    FILE* record = std::fopen(recordPath, "wb");
    if (record == nullptr) return 3;

    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, sizeof self);
    char current[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof current, current);
    std::fprintf(record, "path=%s\ncommand=%s\ncurrent=%s\n", self, GetCommandLineA(), current);

    char pattern[MAX_PATH + 4] = {};
    std::snprintf(pattern, sizeof pattern, "%s", self);
    char* lastSlash = std::strrchr(pattern, '\\');
    if (lastSlash != nullptr) std::strcpy(lastSlash + 1, "*");
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            const unsigned long long size =
                (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
            std::fprintf(record, "file=%s %llu\n", found.cFileName, size);
            std::fprintf(record, "digest=%s %s\n", found.cFileName,
                         DigestOfFile(pattern, found.cFileName).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    std::fprintf(record, "end\n");
    std::fclose(record);
    return 7;
}
