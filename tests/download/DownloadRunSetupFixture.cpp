// Served as the first file of a product and started by the download run as
// its setup. Writes what it sees to the file named by VELTA_RUN_SETUP_RECORD
// (inherited from the test): its own path, its command line, its current
// folder, then every file beside it with its size - the run must still hold
// the whole work folder while the setup runs. Exits with 7, which the run
// must ignore. Never waits for anything.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main() {
    char recordPath[MAX_PATH] = {};
    if (GetEnvironmentVariableA("VELTA_RUN_SETUP_RECORD", recordPath, sizeof recordPath) == 0) return 2;
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
