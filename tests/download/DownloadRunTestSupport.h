#pragma once
// Scratch folders, the Downloads folder moved per test, process state put
// back, bounded waits; shared with tests/faults.
#include <windows.h>

#include <functional>
#include <string>

namespace run_test {

// A fresh temporary folder ending in a backslash, removed with its contents.
class ScratchFolder {
public:
    explicit ScratchFolder(const char* tag);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// Moves the user's Downloads folder until destruction.
class DownloadsFolderOverride {
public:
    explicit DownloadsFolderOverride(const std::string& folder);
    ~DownloadsFolderOverride();
    DownloadsFolderOverride(const DownloadsFolderOverride&) = delete;
    DownloadsFolderOverride& operator=(const DownloadsFolderOverride&) = delete;
    bool Applied() const { return m_applied; }

private:
    bool m_applied = false;
    bool m_hadValue = false;
    DWORD m_type = 0;
    std::string m_previous;
};

// Resets the process-wide run state now and on destruction.
class ProcessStateGuard {
public:
    ProcessStateGuard();
    ~ProcessStateGuard();
    ProcessStateGuard(const ProcessStateGuard&) = delete;
    ProcessStateGuard& operator=(const ProcessStateGuard&) = delete;
};

void RemoveTree(const std::string& folder);  // folder ends in a backslash
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
std::string ReadWholeFile(const std::string& path);  // empty when unreadable
bool WriteWholeFile(const std::string& path, const std::string& bytes);
// The folder of the running test program, ending in a backslash.
std::string ProgramFolder();

// Polls until condition holds or the deadline passes; pump dispatches messages.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs, bool pump = false);

// The template title of the progress window.
inline constexpr char kProgressTitle[] = "VELTA Setup Download";

}  // namespace run_test
