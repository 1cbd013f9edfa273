// Stands in for a product's setup: records to VELTA_RUN_SETUP_RECORD its path,
// command line, current folder and every file beside it with its size, then
// exits with 7, which the run must ignore.
#include <windows.h>

#include <cstdio>
#include <cstring>

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
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    std::fprintf(record, "end\n");
    std::fclose(record);
    return 7;
}
