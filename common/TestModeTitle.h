#pragma once
// The in-house test mode's mark on window titles, shared by the selection
// dialog and the progress window. Header only, so that both layers reach it;
// the suffix itself is texts::kTestModeTitleSuffix.
#include "common/CustomerTexts.h"

#ifdef _WIN32
#include <windows.h>

#include <cstring>

// Appends the test-mode suffix to a window's current title (at most 250 bytes
// are read, terminator included).
inline void AppendTestModeSuffix(HWND window) {
    char title[250] = {};
    GetWindowTextA(window, title, sizeof title);
    char extended[250 + sizeof texts::kTestModeTitleSuffix];
    std::strcpy(extended, title);
    std::strcat(extended, texts::kTestModeTitleSuffix);
    SetWindowTextA(window, extended);
}
#endif
