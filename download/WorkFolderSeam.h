#pragma once
// The one replaceable call in front of the work folder: Wine always resolves
// the Downloads known folder, so tests reach the temporary-folder road only
// through this pointer. Production code never changes it. Behind it, the two
// base folders as the choice reads them.
#include <windows.h>
#include <shlobj.h>

#include <cstddef>

using GetKnownFolderPathFn = HRESULT(WINAPI*)(REFKNOWNFOLDERID, DWORD, HANDLE, PWSTR*);

// Defaults to SHGetKnownFolderPath. Whatever it hands back in the last
// argument is released with CoTaskMemFree, also after a failure.
extern GetKnownFolderPathFn g_getKnownFolderPath;

// The base folder's buffer: a path, one backslash and the terminator.
constexpr std::size_t kWorkFolderBaseCapacity = 512;

// The two base folders, each ending in one backslash, as the work folder's
// choice reads them; open to the tests of their buffer's bounds, which the
// candidate's own 259 bytes would hide. False when the folder is unavailable
// or does not fit.
bool DownloadsBase(char (&base)[kWorkFolderBaseCapacity]);
bool TempBase(char (&base)[kWorkFolderBaseCapacity]);
