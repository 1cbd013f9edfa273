#pragma once
// A file of the document root as a web server finds it: its kind and size
// from one status of the path, and its first bytes. A site of tens of
// thousands of files is mostly these calls, so a file costs that status, and
// an open, a read and a close only when it has bytes to read.
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
