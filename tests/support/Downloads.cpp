#include "tests/support/Downloads.h"

namespace velta_test {

namespace {

constexpr char kUserShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kDownloadsValue[] = "{374DE290-123F-4565-9164-39C4925E467B}";

}  // namespace

void DownloadsFolderOverride::SavedValue::Save() {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) return;
    char previous[1024] = {};
    DWORD size = sizeof previous - 1;
    if (RegQueryValueExA(handle, kDownloadsValue, nullptr, &type, reinterpret_cast<BYTE*>(previous),
                         &size) == ERROR_SUCCESS) {
        existed = true;
        data.assign(previous, size);
    }
    RegCloseKey(handle);
}

void DownloadsFolderOverride::SavedValue::Restore() const {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_WRITE, &handle) != ERROR_SUCCESS) return;
    if (existed) {
        RegSetValueExA(handle, kDownloadsValue, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                       static_cast<DWORD>(data.size()));
    } else {
        RegDeleteValueA(handle, kDownloadsValue);
    }
    RegCloseKey(handle);
}

DownloadsFolderOverride::DownloadsFolderOverride(const std::string& folder) {
    m_userShellFolder.key = kUserShellFolders;
    m_shellFolderCache.key = kShellFolders;
    m_shellFolderCache.Save();
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kUserShellFolders, 0, nullptr, 0, KEY_READ | KEY_WRITE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return;
    }
    RegCloseKey(key);
    m_userShellFolder.Save();
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kUserShellFolders, 0, KEY_WRITE, &key) != ERROR_SUCCESS) {
        return;
    }
    std::string value = folder;
    if (!value.empty() && value.back() == '\\') value.pop_back();
    m_applied = RegSetValueExA(key, kDownloadsValue, 0, REG_EXPAND_SZ,
                               reinterpret_cast<const BYTE*>(value.c_str()),
                               static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
    RegCloseKey(key);
}

DownloadsFolderOverride::~DownloadsFolderOverride() {
    m_userShellFolder.Restore();
    m_shellFolderCache.Restore();
}

Sandbox::Sandbox(const std::string& name) {
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    m_root = std::string(temp) + "velta-e2e-" + name + "\\";
    RemoveTree(m_root);
    CreateDirectoryA(m_root.c_str(), nullptr);
    m_downloads = m_root + "Downloads";
    CreateDirectoryA(m_downloads.c_str(), nullptr);
    m_override = std::make_unique<DownloadsFolderOverride>(m_downloads);
}

Sandbox::~Sandbox() {
    m_override.reset();
    RemoveTree(m_root);
}

}  // namespace velta_test
