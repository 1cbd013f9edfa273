#pragma once
// The user's Downloads known folder pointed elsewhere for a while, through
// the per-user shell-folder value that the shell reads, so that the code
// under test (in this process or in a program it starts) finds it there.
#include <windows.h>

#include <memory>
#include <string>

#include "tests/support/Files.h"

namespace velta_test {

// Points Downloads at folder (a final backslash is dropped) until
// destruction, then puts the previous value back (or removes it). The shell
// caches the folder it resolved under "Shell Folders"; that copy is put back
// too, so no test leaves its sandbox path in the prefix.
class DownloadsFolderOverride {
public:
    explicit DownloadsFolderOverride(const std::string& folder);
    ~DownloadsFolderOverride();
    DownloadsFolderOverride(const DownloadsFolderOverride&) = delete;
    DownloadsFolderOverride& operator=(const DownloadsFolderOverride&) = delete;
    bool Applied() const { return m_applied; }

private:
    // One registry value as it was before the override.
    struct SavedValue {
        const char* key = nullptr;
        bool existed = false;
        DWORD type = 0;
        std::string data;
        void Save();
        void Restore() const;
    };
    bool m_applied = false;
    SavedValue m_userShellFolder, m_shellFolderCache;
};

// A scratch folder "<temp>velta-e2e-<name>\" holding a Downloads folder that
// the known folder points at while the sandbox lives.
class Sandbox {
public:
    explicit Sandbox(const std::string& name);
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    const std::string& Root() const { return m_root; }            // ends with '\'
    const std::string& Downloads() const { return m_downloads; }  // no trailing '\'
    std::string Marker() const { return m_root + "setup-ran.txt"; }
    bool Applied() const { return m_override && m_override->Applied(); }

private:
    std::string m_root, m_downloads;
    std::unique_ptr<DownloadsFolderOverride> m_override;
};

}  // namespace velta_test
