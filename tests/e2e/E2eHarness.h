#pragma once
// Runs the real VELTADL.exe as a separate process under Wine and steers it
// from outside through its windows, as a person would: find windows by
// title, read control texts and states, press buttons, answer boxes.
#include <windows.h>

#include <string>
#include <vector>

namespace e2e {

// Windows path of a built program whose Unix path was compiled in.
std::string WindowsPathOfUnix(const std::string& unixPath);
std::string ReadWholeFile(const std::string& path);
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
// Names in a folder, "." and ".." left out; empty when the folder is missing.
std::vector<std::string> FolderEntries(const std::string& folder);
unsigned long long FileSize(const std::string& path);

// A scratch folder for one test with its own Downloads folder: the user's
// Downloads known folder is pointed at it for the test's lifetime, so the
// program's work folders land where the test can see all of them.
class Sandbox {
public:
    explicit Sandbox(const std::string& name);
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    const std::string& Root() const { return m_root; }            // ends with '\'
    const std::string& Downloads() const { return m_downloads; }  // no trailing '\'
    std::string Marker() const { return m_root + "setup-ran.txt"; }

private:
    std::string m_root;
    std::string m_downloads;
    std::string m_previous;
    bool m_hadPrevious = false;
};

// The program under test, copied under a chosen file name (the name decides
// the test mode) and started with the demo marker in its environment.
class Program {
public:
    Program(const Sandbox& sandbox, const std::string& exeName);
    ~Program();  // a program still running is ended
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool Start();
    DWORD Pid() const { return m_pi.dwProcessId; }
    // Exit code, or STILL_ACTIVE when it did not end within the timeout.
    DWORD WaitForExit(DWORD timeoutMs = 30000);
    const std::string& CurrentFolder() const { return m_currentFolder; }

private:
    std::string m_exePath;
    std::string m_currentFolder;
    std::string m_marker;
    PROCESS_INFORMATION m_pi{};
};

// A message box of any process with this caption; the text of its static.
struct ForeignBox {
    HWND hwnd = nullptr;
    HWND owner = nullptr;
    std::string text;
};
ForeignBox WaitForBox(const std::string& caption, DWORD pid = 0, DWORD timeoutMs = 20000);
bool PressOk(HWND box);

// Polls a condition until it holds or the deadline passes.
template <typename F>
bool WaitUntil(F condition, DWORD timeoutMs = 20000) {
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(20);
    }
    return true;
}

}  // namespace e2e
