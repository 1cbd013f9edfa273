#pragma once
#include <windows.h>

// 1 when the file name and extension of the path contain "qrntest"
// (case-sensitive); the folders on the way are not looked at. A path that the
// bounded splitter cannot take apart counts as normal mode.
int TestModeFromPath(const char* path);

// Reads the executable's own path for the instance and applies the rule above.
int DetectTestMode(HINSTANCE instance);

// AppendTestModeSuffix marks a window's title; the progress window uses it
// too, so it lives below both.
#include "common/TestModeTitle.h"
