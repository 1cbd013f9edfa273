#pragma once
// The one replaceable call in front of the work folder: Wine always resolves
// the Downloads known folder, so tests reach the temporary-folder road only
// through this pointer. Production code never changes it.
#include <windows.h>
#include <shlobj.h>

using GetKnownFolderPathFn = HRESULT(WINAPI*)(REFKNOWNFOLDERID, DWORD, HANDLE, PWSTR*);

// Defaults to SHGetKnownFolderPath. Whatever it hands back in the last
// argument is released with CoTaskMemFree, also after a failure.
extern GetKnownFolderPathFn g_getKnownFolderPath;
