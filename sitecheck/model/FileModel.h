#pragma once
// What a customer's machine does with each entry of a product's file list,
// as the site checker models Windows: the tool's own plan (name, path, its
// buffers, the setup) and, on top of it, whether Windows can create the
// target, whether the entry ends the loop, and which earlier file it
// replaces as the file system compares names.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "catalog/CatalogTypes.h"
#include "sitecheck/model/NameRules.h"

// Why the target file of an entry cannot be created.
enum class TargetFault {
    None,
    NameBuffer,        // the name does not fit the run's 512-byte name buffer
    PathBuffer,        // folder and name do not fit the run's 512-byte path buffer
    PlatformPath,      // more UTF-16 characters than kPlatformPathCharacters (MAX_PATH)
    EmptyName,         // the entry ends in a separator or a part is over 255 bytes
    FolderName,        // ".", ".." or only dots and blanks: the path names the folder
    RefusedCharacter,  // a character Windows refuses in file names
    ConsoleName,       // CON (with any extension): opening it for writing fails
};

struct ModelledFile {
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
    // The latest earlier entry whose local file this one replaces, as the
    // file system compares names (trailing dots and blanks dropped, no case).
    std::optional<std::size_t> replaces;
    // The first entry: its local file is started as the setup.
    bool setup = false;
    // FileSystemKey of the name.
    std::u16string fileKey;
};

// One entry per list entry, in list order; folder is the work folder path,
// ending in a backslash. Linear in the list.
std::vector<ModelledFile> ModelFiles(const FileList& files, const std::string& folder);
