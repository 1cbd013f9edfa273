#include "tests/e2e/E2eHarness.h"

#include <cstdio>

#include "tests/support/WindowHelpers.h"

namespace e2e {
namespace {

constexpr char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr char kDownloadsValue[] = "{374DE290-123F-4565-9164-39C4925E467B}";

void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = data.cFileName;
            if (name == "." || name == "..") continue;
            const std::string path = folder + "\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    RemoveDirectoryA(folder.c_str());
}

}  // namespace

std::string WindowsPathOfUnix(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

std::string ReadWholeFile(const std::string& path) {
    std::string content;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return content;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) content.append(buffer, n);
    fclose(f);
    return content;
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

unsigned long long FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

Sandbox::Sandbox(const std::string& name) {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    m_root = std::string(temp) + "velta-e2e-" + name + "\\";
    RemoveTree(m_root.substr(0, m_root.size() - 1));
    CreateDirectoryA(m_root.c_str(), nullptr);
    m_downloads = m_root + "Downloads";
    CreateDirectoryA(m_downloads.c_str(), nullptr);

    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kShellFolders, 0, KEY_READ | KEY_WRITE, &key) ==
        ERROR_SUCCESS) {
        char previous[1024];
        DWORD size = sizeof previous;
        DWORD type = 0;
        if (RegQueryValueExA(key, kDownloadsValue, nullptr, &type,
                             reinterpret_cast<BYTE*>(previous), &size) == ERROR_SUCCESS) {
            m_hadPrevious = true;
            m_previous.assign(previous, size > 0 ? size - 1 : 0);
        }
        RegSetValueExA(key, kDownloadsValue, 0, REG_EXPAND_SZ,
                       reinterpret_cast<const BYTE*>(m_downloads.c_str()),
                       static_cast<DWORD>(m_downloads.size() + 1));
        RegCloseKey(key);
    }
}

Sandbox::~Sandbox() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kShellFolders, 0, KEY_WRITE, &key) == ERROR_SUCCESS) {
        if (m_hadPrevious) {
            RegSetValueExA(key, kDownloadsValue, 0, REG_EXPAND_SZ,
                           reinterpret_cast<const BYTE*>(m_previous.c_str()),
                           static_cast<DWORD>(m_previous.size() + 1));
        } else {
            RegDeleteValueA(key, kDownloadsValue);
        }
        RegCloseKey(key);
    }
    RemoveTree(m_root.substr(0, m_root.size() - 1));
}

Program::Program(const Sandbox& sandbox, const std::string& exeName)
    : m_currentFolder(sandbox.Root() + "cwd"), m_marker(sandbox.Marker()) {
    const std::string binFolder = sandbox.Root() + "bin";
    CreateDirectoryA(binFolder.c_str(), nullptr);
    CreateDirectoryA(m_currentFolder.c_str(), nullptr);
    m_exePath = binFolder + "\\" + exeName;
    CopyFileA(WindowsPathOfUnix(VELTA_E2E_PROGRAM).c_str(), m_exePath.c_str(), FALSE);
}

Program::~Program() {
    if (m_pi.hProcess) {
        if (WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(m_pi.hProcess, 99);
            WaitForSingleObject(m_pi.hProcess, 10000);
        }
        CloseHandle(m_pi.hProcess);
        CloseHandle(m_pi.hThread);
    }
}

bool Program::Start() {
    // The demo setup writes its marker where this variable points; the
    // program passes its environment on to the setup it starts.
    SetEnvironmentVariableA("VELTA_DEMO_MARKER", m_marker.c_str());
    STARTUPINFOA si{};
    si.cb = sizeof si;
    std::string commandLine = "\"" + m_exePath + "\"";
    // An extension other than .exe needs the explicit application name.
    const BOOL ok = CreateProcessA(m_exePath.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                                   0, nullptr, m_currentFolder.c_str(), &si, &m_pi);
    SetEnvironmentVariableA("VELTA_DEMO_MARKER", nullptr);
    return ok != FALSE;
}

DWORD Program::WaitForExit(DWORD timeoutMs) {
    if (!m_pi.hProcess) return STILL_ACTIVE;
    if (WaitForSingleObject(m_pi.hProcess, timeoutMs) != WAIT_OBJECT_0) return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(m_pi.hProcess, &code);
    return code;
}

ForeignBox WaitForBox(const std::string& caption, DWORD pid, DWORD timeoutMs) {
    ForeignBox box;
    box.hwnd = velta_test::WaitForTopLevelWindow(caption, pid, timeoutMs, "#32770");
    if (!box.hwnd) return box;
    box.owner = GetWindow(box.hwnd, GW_OWNER);
    // The box's static may get its text a moment after the window appears.
    WaitUntil([&] { return !velta_test::ControlText(box.hwnd, 0xFFFF).empty(); }, 5000);
    box.text = velta_test::ControlText(box.hwnd, 0xFFFF);
    return box;
}

bool PressOk(HWND box) { return velta_test::ClickButton(box, IDOK); }

}  // namespace e2e
