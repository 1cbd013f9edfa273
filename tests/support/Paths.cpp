#include "tests/support/Paths.h"

#include <windows.h>

#include <algorithm>

#include "tests/support/WindowHelpers.h"

namespace velta_test {

std::string WindowsPathOfUnix(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string UnixPathOf(const std::string& windowsPath) {
    using UnixNameFn = char*(CDECL*)(LPCWSTR);
    const auto unixName = reinterpret_cast<UnixNameFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (unixName == nullptr) return {};
    char* unixPath = unixName(FromCp932(windowsPath).c_str());
    if (unixPath == nullptr) return {};
    std::string copy = unixPath;
    HeapFree(GetProcessHeap(), 0, unixPath);
    return copy;
}

}  // namespace velta_test
