#pragma once
// Scratch folders and file helpers for the work-folder and launcher tests.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace testsupport {

inline bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline bool IsDirectory(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

inline void MakeDirectory(const std::string& path) {
    ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr) || IsDirectory(path))
        << path << " error " << GetLastError();
}

inline void WriteText(const std::string& path, const std::string& text, DWORD attributes = 0) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, f) << path;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    if (attributes != 0) {
        ASSERT_TRUE(SetFileAttributesA(path.c_str(), attributes)) << path;
    }
}

inline std::string ReadText(const std::string& path) {
    std::string text;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return text;
    char chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) text.append(chunk, n);
    std::fclose(f);
    return text;
}

// Names directly inside a folder, without "." and "..".
inline std::vector<std::string> ListFolder(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return names;
}

// Polls until the condition holds or the deadline passes.
template <typename Condition>
bool WaitUntil(Condition condition, DWORD deadlineMs = 30000) {
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > deadlineMs) return false;
        Sleep(10);
    }
    return true;
}

// Test-side clean-up, independent of the code under test. Links are removed,
// never followed, so a failed test cannot delete what a link points to.
inline void Wipe(const std::string& folder) {
    for (const std::string& name : ListFolder(folder)) {
        const std::string path = folder + name;
        const DWORD a = GetFileAttributesA(path.c_str());
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if ((a & FILE_ATTRIBUTE_DIRECTORY) && !(a & FILE_ATTRIBUTE_REPARSE_POINT)) {
            Wipe(path + "\\");
        } else if (!DeleteFileA(path.c_str())) {
            RemoveDirectoryA(path.c_str());
        }
    }
    RemoveDirectoryA(folder.c_str());
}

// "<temp>vf<pid>-<n>\", created empty; removed when the object goes.
class ScratchFolder {
public:
    ScratchFolder() {
        char temp[MAX_PATH] = {};
        GetTempPathA(sizeof temp, temp);
        static int counter = 0;
        char name[64];
        std::snprintf(name, sizeof name, "vf%lu-%d\\", GetCurrentProcessId(), counter++);
        m_path = std::string(temp) + name;
        Wipe(m_path);
        CreateDirectoryA(m_path.c_str(), nullptr);
    }
    ~ScratchFolder() {
        // A process that just ended may hold its current folder here for a
        // moment longer; retry briefly rather than leave litter behind.
        Wipe(m_path);
        WaitUntil([&] {
            Wipe(m_path);
            return !Exists(m_path);
        }, 5000);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

// Folder of the running test program (the fixture program lies beside it).
inline std::string ProgramFolder() {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string path = self;
    return path.substr(0, path.find_last_of('\\') + 1);
}


}  // namespace testsupport
