#include "download/WorkFolder.h"

#include <windows.h>
#include <shlobj.h>
#include <winioctl.h>

#include <cstddef>
#include <cstring>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include "common/CustomerTexts.h"
#include "common/UniqueHandle.h"
#include "download/WorkFolderPath.h"
#include "download/WorkFolderSeam.h"

GetKnownFolderPathFn g_getKnownFolderPath = SHGetKnownFolderPath;

static_assert(kWorkFolderCapacity == MAX_PATH);

namespace {

// FOLDERID_Downloads, spelled out so the library needs no uuid import.
constexpr GUID kFolderIdDownloads = {
    0x374DE290, 0x123F, 0x4565, {0x91, 0x64, 0x39, 0xC4, 0x92, 0x5E, 0x46, 0x7B}};

constexpr DWORD kTempPathLength = 256;
constexpr DWORD kClearableBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;

bool IsExistingDirectory(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

// A Downloads path that needs substitute (or best-fit look-alike) characters
// in code page 932 names a folder that does not exist, and one too long for
// the base buffer would overrun wsprintfA; both count as no Downloads folder.
bool DownloadsBase(char (&base)[kWorkFolderBaseCapacity]) {
    PWSTR wide = nullptr;
    const HRESULT result = g_getKnownFolderPath(kFolderIdDownloads, 0, nullptr, &wide);
    bool usable = false;
    if (SUCCEEDED(result) && wide != nullptr) {
        BOOL substituted = FALSE;
        const int needed = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, nullptr, 0,
                                               nullptr, &substituted);
        // needed counts the terminator; the base adds one backslash.
        if (needed > 0 && !substituted && static_cast<std::size_t>(needed) + 1 <= sizeof base) {
            wsprintfA(base, "%ls\\", wide);
            usable = true;
        }
    }
    CoTaskMemFree(wide);
    return usable;
}

bool TempBase(char (&base)[kWorkFolderBaseCapacity]) {
    const DWORD length = GetTempPathA(kTempPathLength, base);
    // A temporary path longer than the buffer answers its needed size and
    // leaves the buffer unfilled.
    return length != 0 && length < kTempPathLength;
}

namespace {

// The first "<base>VELTADL<k>\" that is not an existing directory. False when
// the name no longer fits MAX_PATH, so no caller ever holds a cut-off path.
bool FirstFreeCandidate(const char* base, char (&candidate)[kWorkFolderCapacity]) {
    for (unsigned counter = 0;; ++counter) {
        if (!FormatWorkFolderCandidate(candidate, sizeof candidate, base, counter)) return false;
        if (!IsExistingDirectory(candidate)) return true;
    }
}

void ShowNoDestination() {
    MessageBoxA(nullptr, texts::kNoDestination, texts::kNoDestinationCaption, MB_OK);
}

// The long-path form of a code page 932 path, resolved against the current
// folder the way the narrow file functions resolve it; empty when it does
// not convert.
std::wstring WidePath(const char* path) {
    const int needed = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (needed <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    if (MultiByteToWideChar(CP_ACP, 0, path, -1, &wide[0], needed) != needed) return {};
    // The resolver's answer counts the terminator when it asks for room and
    // leaves it out once the text fits; the folder may change in between.
    const DWORD room = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (room == 0) return {};
    std::wstring full(room, L'\0');
    const DWORD written = GetFullPathNameW(wide.c_str(), room, &full[0], nullptr);
    if (written == 0 || written >= room) return {};
    full.resize(written);
    return LongPathForm(full);
}

// Strips the reparse data from a directory link so that it becomes a plain
// empty folder. Removing the link directly is not safe everywhere: Wine
// applies RemoveDirectory to the target of a Unix link, deleting an empty
// target folder and leaving the link. Where the data cannot be stripped the
// link stays, and with it the work folder, but nothing outside is touched.
bool StripReparseData(const std::wstring& path) {
    const UniqueFileHandle link(
        CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!link) return false;
    std::vector<BYTE> data(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
    DWORD returned = 0;
    bool stripped = false;
    if (DeviceIoControl(link.get(), FSCTL_GET_REPARSE_POINT, nullptr, 0, data.data(),
                        static_cast<DWORD>(data.size()), &returned, nullptr) &&
        returned >= sizeof(DWORD)) {
        REPARSE_GUID_DATA_BUFFER header = {};
        std::memcpy(&header.ReparseTag, data.data(), sizeof header.ReparseTag);
        // Only a third-party tag is matched by its GUID; Microsoft's are not.
        if (!IsReparseTagMicrosoft(header.ReparseTag) &&
            returned >= REPARSE_GUID_DATA_BUFFER_HEADER_SIZE) {
            std::memcpy(&header.ReparseGuid,
                        data.data() + offsetof(REPARSE_GUID_DATA_BUFFER, ReparseGuid),
                        sizeof header.ReparseGuid);
        }
        stripped = DeviceIoControl(link.get(), FSCTL_DELETE_REPARSE_POINT, &header,
                                   REPARSE_GUID_DATA_BUFFER_HEADER_SIZE, nullptr, 0, &returned,
                                   nullptr) != FALSE;
    }
    return stripped;
}

// A read-only bit keeps DeleteFile and RemoveDirectory from removing the
// entry, and the hidden bit goes with it; every other bit stays as it is.
bool ClearRemovalBits(const std::wstring& path, DWORD attributes) {
    if ((attributes & kClearableBits) == 0) return true;
    return SetFileAttributesW(path.c_str(), attributes & ~kClearableBits) != FALSE;
}

// A junction or directory symbolic link inside the tree points elsewhere:
// never enumerate it, only take the link itself.
void RemoveLink(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) ClearRemovalBits(path, attributes);
    if (StripReparseData(path)) RemoveDirectoryW(path.c_str());
}

void RemoveFileAt(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    // A name like ".." from a server lands on a folder (the Downloads folder
    // itself): never touch a folder's attributes.
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return;
    if (ClearRemovalBits(path, attributes)) DeleteFileW(path.c_str());
}

// Removes the files and links directly in folder (long-path form, ending in
// a backslash) and adds its subfolders to subfolders. False when the folder
// cannot be searched. The search is closed on return: an open search keeps
// the folder in use.
bool RemoveEntriesOf(const std::wstring& folder, std::vector<std::wstring>& subfolders) {
    WIN32_FIND_DATAW found;
    const UniqueFindHandle find(FindFirstFileW((folder + L"*").c_str(), &found));
    if (!find) return false;
    do {
        const bool isDirectory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (isDirectory &&
            (std::wcscmp(found.cFileName, L".") == 0 || std::wcscmp(found.cFileName, L"..") == 0)) {
            continue;
        }
        const std::wstring entry = folder + found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            if (isDirectory) {
                RemoveLink(entry);
            } else {
                RemoveFileAt(entry);
            }
        } else if (isDirectory) {
            subfolders.push_back(entry + L'\\');
        } else {
            RemoveFileAt(entry);
        }
    } while (FindNextFileW(find.get(), &found));
    return true;
}

}  // namespace

void RemoveFile(const char* path) {
    if (path == nullptr || path[0] == '\0') return;
    const std::wstring wide = WidePath(path);
    if (!wide.empty()) RemoveFileAt(wide);
}

bool PrepareWorkFolder(std::string& workFolder) {
    char base[kWorkFolderBaseCapacity] = {};
    char candidate[kWorkFolderCapacity] = {};
    bool chosen = DownloadsBase(base) && FirstFreeCandidate(base, candidate);
    if (!chosen) {
        std::memset(base, 0, sizeof base);
        chosen = TempBase(base) && FirstFreeCandidate(base, candidate);
    }
    if (!chosen) {
        ShowNoDestination();
        return false;
    }
    CreateFolderPath(candidate);
    workFolder = candidate;
    return true;
}

void CreateFolderPath(const char* path) {
    if (path == nullptr) return;
    const std::size_t kept = FolderPartLength(path);
    if (kept == 0) return;
    // kept is at most a drive and one split part, far below the buffer.
    char walked[520];
    std::memcpy(walked, path, kept);
    walked[kept] = '\0';
    for (const std::size_t length : FolderPrefixLengths(walked, kept)) {
        const char saved = walked[length];
        walked[length] = '\0';
        if (!IsExistingDirectory(walked)) CreateDirectoryA(walked, nullptr);
        walked[length] = saved;
    }
}

// Works on the long-path form, so that every entry the run or its setup
// put there is reached whatever the length of its path, and on a list of
// folders rather than by recursion, so that no depth of tree exhausts the
// stack.
void RemoveFolderTree(const char* folder) {
    if (folder == nullptr || folder[0] == '\0') return;
    std::wstring root = WidePath(folder);
    if (root.empty()) return;
    if (root.back() != L'\\') root += L'\\';
    std::vector<std::wstring> pending{root};
    std::vector<std::wstring> searched;
    while (!pending.empty()) {
        std::wstring current = std::move(pending.back());
        pending.pop_back();
        if (RemoveEntriesOf(current, pending)) searched.push_back(std::move(current));
    }
    // Every folder was searched after the folder holding it: in reverse
    // order each one goes after everything below it. One that kept an entry
    // stays, silently, and so do the folders holding it.
    for (auto folderToRemove = searched.rbegin(); folderToRemove != searched.rend();
         ++folderToRemove) {
        RemoveDirectoryW(folderToRemove->c_str());
    }
}
