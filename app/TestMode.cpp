#include "app/TestMode.h"

#include <cstdlib>
#include <cstring>

#include "app/ProcessState.h"

namespace {
constexpr char kTestModeMarker[] = "qrntest";
}

int TestModeFromPath(const char* path) {
    char drive[3];
    char dir[256];
    char name[256];
    char ext[256];
    // A path cut at MAX_PATH may have a directory part too long for the
    // buffer; the split then fails and the tool stays in normal mode.
    if (_splitpath_s(path, drive, sizeof drive, dir, sizeof dir, name, sizeof name, ext,
                     sizeof ext) != 0) {
        return 0;
    }
    char fileName[MAX_PATH];
    const size_t nameLength = strlen(name);
    const size_t extLength = strlen(ext);
    if (nameLength + extLength + 1 > sizeof fileName) return 0;
    memcpy(fileName, name, nameLength);
    memcpy(fileName + nameLength, ext, extLength + 1);
    return strstr(fileName, kTestModeMarker) != nullptr ? 1 : 0;
}

int DetectTestMode(HINSTANCE instance) {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(instance, path, sizeof path);
    if (length == 0) return 0;
    return TestModeFromPath(path);
}

void AppendTestModeSuffix(HWND window) {
    char title[250] = {};
    GetWindowTextA(window, title, sizeof title);
    char extended[250 + sizeof VELTA_TEST_MODE_SUFFIX];
    strcpy(extended, title);
    strcat(extended, VELTA_TEST_MODE_SUFFIX);
    SetWindowTextA(window, extended);
}
