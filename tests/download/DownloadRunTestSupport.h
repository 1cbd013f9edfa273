#pragma once
// Scaffolding of the progress-window and download-run tests: scratch
// folders, the Downloads known folder moved per test, the process-wide state
// put back, and bounded waits. Everything cleans up after itself.
#include <windows.h>

#include <functional>
#include <string>

namespace run_test {

// A fresh folder below the temporary folder, ending in a backslash; removed
// with everything in it (read-only and hidden files included) on destruction.
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

// Points the user's Downloads known folder at folder (no trailing backslash
// needed) and restores the previous registry value on destruction.
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

// Puts g_cancelRequested, g_testMode, g_productName and SelectedFileList back
// to their start values, now and again on destruction.
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

// Polls condition every few milliseconds until it holds or the deadline
// passes, dispatching this thread's messages meanwhile when pump is set.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs, bool pump = false);

// The template title of the progress window.
inline constexpr char kProgressTitle[] = "VELTA Setup Download";

}  // namespace run_test
