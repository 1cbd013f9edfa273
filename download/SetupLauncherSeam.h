#pragma once
// The one replaceable call in front of the setup start: Wine's CreateProcessA
// never fails with ERROR_ELEVATION_REQUIRED, so tests reach the shell road
// only through this pointer. Production code never changes it.
#include <windows.h>

using CreateProcessFn = BOOL(WINAPI*)(LPCSTR, LPSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                                      BOOL, DWORD, LPVOID, LPCSTR, LPSTARTUPINFOA,
                                      LPPROCESS_INFORMATION);

// Defaults to CreateProcessA. A replacement must set the last error the way
// the platform does, because the launcher branches on it.
extern CreateProcessFn g_createProcess;
