#pragma once
// Files and folders for the tests, done through the platform directly and
// independent of the code under test. Paths are code page 932.
#include <windows.h>

#include <string>
#include <vector>

namespace velta_test {

bool PathExists(const std::string& path);
bool FileExists(const std::string& path);  // exists and is no directory
bool DirectoryExists(const std::string& path);
// Creates one folder; true also when it exists already as a folder.
bool MakeDirectory(const std::string& path);
std::string ReadWholeFile(const std::string& path);  // empty when unreadable
// Creates or replaces the file; attributes, when non-zero, are set after.
bool WriteWholeFile(const std::string& path, const std::string& bytes, DWORD attributes = 0);
// Whether every one of bits reads back set on path: a file system that keeps
// no hidden or read-only bit would let a test of their handling pass without
// checking anything.
bool KeepsAttributes(const std::string& path, DWORD bits);
// Names directly inside a folder ("." and ".." left out); empty when the
// folder is missing. The folder may end in a backslash or not.
std::vector<std::string> FolderEntries(const std::string& folder);
// Deletes a folder and everything below it, clearing read-only and hidden
// bits. A directory link is never entered and left in place (under Wine,
// removing a Unix link as a folder removes an empty target instead), so a
// clean-up can never reach what a link points to; the folder holding it
// stays. With or without a final backslash.
void RemoveTree(const std::string& folder);
// The folder of the running program, ending in a backslash.
std::string ProgramFolder();
// The 8.3 short name the file system made for the file at path (the name
// only), or empty when it made none (8.3 names off, or the name is short).
std::string ShortFileName(const std::string& path);

// A fresh, empty folder "<temp>velta-<tag>-<pid>-<n>\" (ending in a
// backslash), removed with its contents on destruction.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& tag = "t");
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

}  // namespace velta_test
