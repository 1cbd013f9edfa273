#pragma once
// Files, folders and a Downloads sandbox for tests that run the real program.
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

// A scratch folder with its own Downloads folder: the user's Downloads known
// folder points at it for the sandbox's lifetime.
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
    std::string m_root, m_downloads, m_previous;
    bool m_hadPrevious = false;
};

template <typename F>
bool WaitUntil(F condition, DWORD timeoutMs = 20000) {
    for (const DWORD start = GetTickCount(); !condition(); Sleep(20)) {
        if (GetTickCount() - start > timeoutMs) return false;
    }
    return true;
}

}  // namespace e2e
