#include "app/TestMode.h"

#include <cstdlib>
#include <cstring>

#include "catalog/ProcessState.h"
#include "download/FileName.h"

namespace {
constexpr char kTestModeMarker[] = "qrntest";
}

int TestModeFromPath(const char* path) {
    // The file name as the runtime's bounded path splitter gives it. A path
    // cut at MAX_PATH may have a part too long for the splitter; the name
    // then comes out empty and the tool stays in normal mode.
    char fileName[MAX_PATH];
    if (!FileNameOfPath(path, fileName, sizeof fileName)) return 0;
    return strstr(fileName, kTestModeMarker) != nullptr ? 1 : 0;
}

int DetectTestMode(HINSTANCE instance) {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(instance, path, sizeof path);
    if (length == 0) return 0;
    return TestModeFromPath(path);
}
