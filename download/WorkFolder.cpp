#include "download/WorkFolder.h"

#include <windows.h>
#include <shlobj.h>
#include <winioctl.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "common/CustomerTexts.h"
#include "common/UniqueHandle.h"
#include "download/FileName.h"
#include "download/WorkFolderPath.h"
#include "download/WorkFolderSeam.h"

GetKnownFolderPathFn g_getKnownFolderPath = SHGetKnownFolderPath;

namespace {

// FOLDERID_Downloads, spelled out so the library needs no uuid import.
constexpr GUID kFolderIdDownloads = {
    0x374DE290, 0x123F, 0x4565, {0x91, 0x64, 0x39, 0xC4, 0x92, 0x5E, 0x46, 0x7B}};

constexpr std::size_t kBaseCapacity = 512;
constexpr DWORD kTempPathLength = 256;
constexpr DWORD kClearableBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;

bool IsExistingDirectory(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A Downloads path that needs substitute (or best-fit look-alike) characters
// in code page 932 names a folder that does not exist, and one too long for
// the base buffer would overrun wsprintfA; both count as no Downloads folder.
bool DownloadsBase(char (&base)[kBaseCapacity]) {
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

bool TempBase(char (&base)[kBaseCapacity]) {
    const DWORD length = GetTempPathA(kTempPathLength, base);
    // A temporary path longer than the buffer answers its needed size and
    // leaves the buffer unfilled.
    return length != 0 && length < kTempPathLength;
}

// The first "<base>VELTADL<k>\" that is not an existing directory. False when
// the name no longer fits MAX_PATH, so no caller ever holds a cut-off path.
bool FirstFreeCandidate(const char* base, char (&candidate)[MAX_PATH]) {
    for (unsigned counter = 0;; ++counter) {
        if (!FormatWorkFolderCandidate(candidate, sizeof candidate, base, counter)) return false;
        if (!IsExistingDirectory(candidate)) return true;
    }
}

void ShowNoDestination() {
    MessageBoxA(nullptr, texts::kNoDestination, texts::kNoDestinationCaption, MB_OK);
}

// Strips the reparse data from a directory link so that it becomes a plain
// empty folder. Removing the link directly is not safe everywhere: Wine
// applies RemoveDirectoryA to the target of a Unix link, deleting an empty
// target folder and leaving the link. Where the data cannot be stripped the
// link stays, and with it the work folder, but nothing outside is touched.
bool StripReparseData(const char* path) {
    const UniqueFileHandle link(
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
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

// A junction or directory symbolic link inside the tree points elsewhere:
// never enumerate it, only take the link itself.
void RemoveLink(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & kClearableBits)) {
        SetFileAttributesA(path, attributes & ~kClearableBits);
    }
    if (StripReparseData(path)) RemoveDirectoryA(path);
}

void RemoveEntry(const char* folder, const WIN32_FIND_DATAA& found) {
    const bool isDirectory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (isDirectory &&
        (std::strcmp(found.cFileName, ".") == 0 || std::strcmp(found.cFileName, "..") == 0)) {
        return;
    }
    // An entry whose path does not fit stays, and so does its folder.
    char entry[256];
    if (!JoinLocalPath(folder, found.cFileName, entry, sizeof entry)) return;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        if (isDirectory) {
            RemoveLink(entry);
        } else {
            RemoveFile(entry);
        }
        return;
    }
    if (isDirectory) {
        char subfolder[256];
        if (JoinLocalPath(entry, "\\", subfolder, sizeof subfolder)) RemoveFolderTree(subfolder);
        return;
    }
    RemoveFile(entry);
}

}  // namespace

void RemoveFile(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    // A name like ".." from a server lands on a folder (the Downloads folder
    // itself): never touch a folder's attributes.
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return;
    if ((attributes & kClearableBits) && !SetFileAttributesA(path, attributes & ~kClearableBits)) {
        return;
    }
    DeleteFileA(path);
}

bool PrepareWorkFolder(std::string& workFolder) {
    char base[kBaseCapacity] = {};
    char candidate[MAX_PATH] = {};
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

void RemoveFolderTree(const char* folder) {
    if (folder == nullptr || folder[0] == '\0') return;
    char pattern[256];
    if (!JoinLocalPath(folder, EndsWithSeparator(folder) ? "*.*" : "\\*.*", pattern,
                       sizeof pattern)) {
        return;
    }
    WIN32_FIND_DATAA found;
    {
        const UniqueFindHandle find(FindFirstFileA(pattern, &found));
        if (!find) return;
        do {
            RemoveEntry(folder, found);
        } while (FindNextFileA(find.get(), &found));
    }
    // The search is closed first: an open search keeps the folder in use.
    RemoveDirectoryA(folder);
}
