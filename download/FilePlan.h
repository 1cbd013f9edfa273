#pragma once
// What the download run does with each entry of a product's file list,
// decided once, without the platform: the local name and path, whether the
// target can be created there at all, whether the entry ends the loop, which
// earlier file it replaces, and which entry is the setup. The run follows
// it; the site checker reports from the same answer, so a change to the
// run's rules changes the checker's verdict with it.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "catalog/CatalogTypes.h"

// The most characters a local path may have. The ANSI file functions
// convert a path to UTF-16 before anything else, so the limit counts
// characters, not code page 932 bytes. Windows documents MAX_PATH (260) as
// the path with its terminator: 259 characters. Wine's CreateFileA takes one
// more (260) and refuses 261 with ERROR_FILENAME_EXCED_RANGE, whatever the
// path's bytes (FilePlanPlatform test); the customer runs Windows, so the
// plan keeps to the documented limit.
constexpr std::size_t kPlatformPathCharacters = 259;

// Why the target file of an entry cannot be created.
enum class TargetFault {
    None,
    NameBuffer,        // the name does not fit the run's 512-byte name buffer
    PathBuffer,        // folder and name do not fit the run's 512-byte path buffer
    PlatformPath,      // the path has more UTF-16 characters than MAX_PATH allows
    EmptyName,         // the entry ends in a separator or a part is over 255 bytes
    FolderName,        // ".", ".." or only dots and blanks: the path names the folder
    RefusedCharacter,  // a character Windows refuses in file names
    ConsoleName,       // CON (with any extension): opening it for writing fails
};

struct FilePlanEntry {
    std::string url;
    std::string name;                // the local file name, as the run takes it from the URL
    std::string path;                // work folder + name (empty when it does not fit a buffer)
    std::size_t pathBytes = 0;       // work folder + name, code page 932 bytes
    std::size_t pathCharacters = 0;  // the same path in UTF-16 characters
    TargetFault fault = TargetFault::None;
    unsigned char refusedByte = 0;  // the refused character (RefusedCharacter)
    // Windows reserves the name for a device: whatever the run writes there
    // does not land in the work folder as a file (CON fails outright).
    bool deviceName = false;
    // No file can be created at the path: the request fails before any
    // status, which ends the loop (no later entry is requested).
    bool endsLoop = false;
    // Not requested at all: an earlier entry ended the loop.
    bool reached = true;
    // The earlier entry whose local file this one replaces, as the file
    // system compares names (trailing dots and blanks dropped, no case).
    std::optional<std::size_t> replaces;
    // The first entry: its local file is started as the setup.
    bool setup = false;
    // The file ends up at the setup's local path (the setup itself, or a
    // later entry that replaces it).
    bool landsOnSetup = false;
    // The name as the file system compares it: UTF-16, trailing dots and
    // blanks dropped, upper case.
    std::u16string fileKey;
};

// One plan entry per list entry, in list order. folder is the work folder
// path, ending in a backslash.
std::vector<FilePlanEntry> PlanFiles(const FileList& files, const std::string& folder);

// name as the file system stores and compares it: trailing dots and blanks
// dropped, UTF-16, upper-cased as NTFS compares names.
std::u16string FileSystemKey(const std::string& name);

// Whether Windows reserves the name for a device (CON, PRN, AUX, NUL,
// COM1-9, LPT1-9, with or without an extension).
bool IsReservedDeviceName(const std::string& name);
