#include "tests/support/Downloads.h"

namespace velta_test {

namespace {

constexpr char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr char kDownloadsValue[] = "{374DE290-123F-4565-9164-39C4925E467B}";

}  // namespace

DownloadsFolderOverride::DownloadsFolderOverride(const std::string& folder) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kShellFolders, 0, nullptr, 0, KEY_READ | KEY_WRITE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return;
    }
    char previous[1024] = {};
    DWORD size = sizeof previous - 1;
    if (RegQueryValueExA(key, kDownloadsValue, nullptr, &m_type, reinterpret_cast<BYTE*>(previous),
                         &size) == ERROR_SUCCESS) {
        m_hadValue = true;
        m_previous.assign(previous, size);
    }
    std::string value = folder;
    if (!value.empty() && value.back() == '\\') value.pop_back();
    m_applied = RegSetValueExA(key, kDownloadsValue, 0, REG_EXPAND_SZ,
                               reinterpret_cast<const BYTE*>(value.c_str()),
                               static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
    RegCloseKey(key);
}

DownloadsFolderOverride::~DownloadsFolderOverride() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kShellFolders, 0, KEY_WRITE, &key) != ERROR_SUCCESS) return;
    if (m_hadValue) {
        RegSetValueExA(key, kDownloadsValue, 0, m_type,
                       reinterpret_cast<const BYTE*>(m_previous.data()),
                       static_cast<DWORD>(m_previous.size()));
    } else {
        RegDeleteValueA(key, kDownloadsValue);
    }
    RegCloseKey(key);
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
