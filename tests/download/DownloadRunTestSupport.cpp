#include "DownloadRunTestSupport.h"

#include <cstdio>

#include "app/ProcessState.h"
#include "download/DownloadRun.h"

namespace run_test {

namespace {

constexpr char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr char kDownloadsValue[] = "{374DE290-123F-4565-9164-39C4925E467B}";

}  // namespace

ScratchFolder::ScratchFolder(const char* tag) {
    static int counter = 0;
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    char name[MAX_PATH];
    snprintf(name, sizeof name, "%svelta-run-%s-%lu-%d\\", temp, tag, GetCurrentProcessId(),
             ++counter);
    m_path = name;
    RemoveTree(m_path);
    CreateDirectoryA(m_path.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder() { RemoveTree(m_path); }

DownloadsFolderOverride::DownloadsFolderOverride(const std::string& folder) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kShellFolders, 0, nullptr, 0, KEY_READ | KEY_WRITE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return;
    }
    char previous[1024] = {};
    DWORD size = sizeof previous - 1;
    if (RegQueryValueExA(key, kDownloadsValue, nullptr, &m_type,
                         reinterpret_cast<BYTE*>(previous), &size) == ERROR_SUCCESS) {
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

namespace {
void ResetProcessState() {
    g_cancelRequested = 0;
    g_testMode = 0;
    g_productName.clear();
    SelectedFileList.clear();
}
}  // namespace

ProcessStateGuard::ProcessStateGuard() { ResetProcessState(); }
ProcessStateGuard::~ProcessStateGuard() { ResetProcessState(); }

void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            const std::string path = folder + name;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path + "\\");
            } else {
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

bool FileExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ReadWholeFile(const std::string& path) {
    std::string bytes;
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) return bytes;
    char chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, got);
    fclose(file);
    return bytes;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
    FILE* file = fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && written;
}

std::string ProgramFolder() {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string folder = self;
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs, bool pump) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        if (pump) {
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
        }
        // Waits for input or 10 ms, whichever comes first: a poll, not a
        // fixed delay the test relies on.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

}  // namespace run_test
