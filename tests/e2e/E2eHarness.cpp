#include "tests/e2e/E2eHarness.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace e2e {
namespace {

constexpr char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr char kDownloadsValue[] = "{374DE290-123F-4565-9164-39C4925E467B}";

void RemoveTree(const std::string& folder) {
    for (const std::string& name : FolderEntries(folder)) {
        const std::string path = folder + "\\" + name;
        if (DirectoryExists(path)) {
            RemoveTree(path);
        } else {
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(path.c_str());
        }
    }
    RemoveDirectoryA(folder.c_str());
}

void SetDownloadsValue(const std::string* value) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kShellFolders, 0, KEY_WRITE, &key) != ERROR_SUCCESS) return;
    if (value) {
        RegSetValueExA(key, kDownloadsValue, 0, REG_EXPAND_SZ,
                       reinterpret_cast<const BYTE*>(value->c_str()),
                       static_cast<DWORD>(value->size() + 1));
    } else {
        RegDeleteValueA(key, kDownloadsValue);
    }
    RegCloseKey(key);
}

}  // namespace

std::string WindowsPathOfUnix(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

bool FileExists(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = data.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return names;
}

Sandbox::Sandbox(const std::string& name) {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    m_root = std::string(temp) + "velta-e2e-" + name + "\\";
    RemoveTree(m_root.substr(0, m_root.size() - 1));
    CreateDirectoryA(m_root.c_str(), nullptr);
    m_downloads = m_root + "Downloads";
    CreateDirectoryA(m_downloads.c_str(), nullptr);
    char previous[1024];
    DWORD size = sizeof previous;
    m_hadPrevious = RegGetValueA(HKEY_CURRENT_USER, kShellFolders, kDownloadsValue,
                                 RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr,
                                 previous, &size) == ERROR_SUCCESS;
    if (m_hadPrevious) m_previous = previous;
    SetDownloadsValue(&m_downloads);
}

Sandbox::~Sandbox() {
    SetDownloadsValue(m_hadPrevious ? &m_previous : nullptr);
    RemoveTree(m_root.substr(0, m_root.size() - 1));
}

}  // namespace e2e
