#pragma once
#include <windows.h>

// 1 when the file name and extension of the path contain "qrntest"
// (case-sensitive); the folders on the way are not looked at. A path that the
// bounded splitter cannot take apart counts as normal mode.
int TestModeFromPath(const char* path);

// Reads the executable's own path for the instance and applies the rule above.
int DetectTestMode(HINSTANCE instance);

// Appends the test-mode suffix to a window's current title (at most 250 bytes
// are read, terminator included).
void AppendTestModeSuffix(HWND window);
