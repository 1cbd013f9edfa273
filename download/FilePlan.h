#pragma once
// What the download run takes from each entry of a product's file list
// before it asks the platform anything: the local name from the URL, the
// local path in the work folder, whether both fit the run's 512-byte
// buffers, and which entry is the setup. Whether Windows can create the
// file, and which file it is, stays the platform's answer. The site checker
// builds its model of Windows on this same plan.
#include <cstddef>
#include <string>
#include <vector>

#include "catalog/CatalogTypes.h"

// Which of the run's buffers an entry does not fit.
enum class BufferFault {
    None,
    NameBuffer,  // the name does not fit the 512-byte name buffer
    PathBuffer,  // folder and name do not fit the 512-byte path buffer
};

struct FilePlanEntry {
    std::string url;
    std::string name;           // the local file name, as the run takes it from the URL
    std::string path;           // work folder + name (empty when it does not fit a buffer)
    std::size_t pathBytes = 0;  // work folder + name, code page 932 bytes
    BufferFault fault = BufferFault::None;
    // The first entry: its local file is started as the setup.
    bool setup = false;
};

// One plan entry per list entry, in list order. folder is the work folder
// path, ending in a backslash.
std::vector<FilePlanEntry> PlanFiles(const FileList& files, const std::string& folder);
