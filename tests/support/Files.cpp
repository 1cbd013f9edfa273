#include "tests/support/Files.h"

#include <cstdio>

#include "common/ShiftJis.h"
#include "tests/support/Wait.h"

namespace velta_test {

namespace {

DWORD Attributes(const std::string& path) { return GetFileAttributesA(path.c_str()); }

// Only a single-byte '\' or '/' ends a folder: the trail byte 0x5C of a
// character such as \x83\x5C is none.
bool EndsWithSeparator(const std::string& text) {
    bool separator = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (sjis::IsDoubleByteAt(text.c_str(), i)) {
            separator = false;
            ++i;
        } else {
            separator = text[i] == '\\' || text[i] == '/';
        }
    }
    return separator;
}

std::string WithBackslash(const std::string& folder) {
    if (!folder.empty() && !EndsWithSeparator(folder)) return folder + "\\";
    return folder;
}

}  // namespace

bool PathExists(const std::string& path) { return Attributes(path) != INVALID_FILE_ATTRIBUTES; }

bool FileExists(const std::string& path) {
    const DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
    const DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool MakeDirectory(const std::string& path) {
    return CreateDirectoryA(path.c_str(), nullptr) || DirectoryExists(path);
}

std::string ReadWholeFile(const std::string& path) {
    std::string bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return bytes;
    char chunk[65536];
    for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
        bytes.append(chunk, got);
    std::fclose(file);
    return bytes;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes, DWORD attributes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written) return false;
    return attributes == 0 || SetFileAttributesA(path.c_str(), attributes);
}

bool KeepsAttributes(const std::string& path, DWORD bits) {
    const DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & bits) == bits;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((WithBackslash(folder) + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

void RemoveTree(const std::string& folder) {
    const std::string base = WithBackslash(folder);
    for (const std::string& name : FolderEntries(base)) {
        const std::string path = base + name;
        const DWORD a = Attributes(path);
        if ((a & FILE_ATTRIBUTE_DIRECTORY) && (a & FILE_ATTRIBUTE_REPARSE_POINT)) continue;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (a & FILE_ATTRIBUTE_DIRECTORY) {
            RemoveTree(path);
        } else {
            DeleteFileA(path.c_str());
        }
    }
    RemoveDirectoryA(base.c_str());
}

std::string ProgramFolder() {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, sizeof self);
    const std::string path = self;
    return path.substr(0, path.find_last_of('\\') + 1);
}

std::string ShortFileName(const std::string& path) {
    char shortPath[MAX_PATH] = {};
    const DWORD n = GetShortPathNameA(path.c_str(), shortPath, sizeof shortPath);
    if (n == 0 || n >= sizeof shortPath) return std::string();
    const std::string text = shortPath;
    const std::string name = text.substr(text.find_last_of('\\') + 1);
    return name == path.substr(path.find_last_of('\\') + 1) ? std::string() : name;
}

ScratchFolder::ScratchFolder(const std::string& tag) {
    static int counter = 0;
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    m_path = std::string(temp) + "velta-" + tag + "-" + std::to_string(GetCurrentProcessId()) +
             "-" + std::to_string(++counter) + "\\";
    RemoveTree(m_path);
    CreateDirectoryA(m_path.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder() {
    // A process that has just ended may hold its current folder here a
    // moment longer; retry briefly rather than leave litter behind.
    WaitUntil(
        [&] {
            RemoveTree(m_path);
            return !PathExists(m_path);
        },
        5000);
}

}  // namespace velta_test
