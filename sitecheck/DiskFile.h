#pragma once
// A file of the document root read as a web server reads it: opened once,
// its kind and size taken from the open file, its first bytes read. A site of
// tens of thousands of files is mostly these calls, so each file costs one
// open, one status of the open file, one read and one close.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace sitecheck {

enum class DiskFileKind {
    Regular,     // size and head are set
    Missing,     // nothing of that name
    NotAFile,    // a folder, a device, a pipe: no server hands it out as a file
    Unreadable,  // there, but the checker may not read it (rights, held open)
};

struct DiskFile {
    DiskFileKind kind = DiskFileKind::Missing;
    uint64_t size = 0;
    std::string head;  // the first min(headBytes, size) bytes
};

DiskFile ReadDiskFile(const std::filesystem::path& path, std::size_t headBytes);

}  // namespace sitecheck
