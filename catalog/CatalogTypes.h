#pragma once
// Records of the download catalog and of a product's file list.
#include <cstdint>
#include <string>
#include <vector>

// One catalog line. Field order is not the column order of the text.
struct CatalogEntry {
    int32_t number = 0;   // column 1
    std::string date;     // column 4, verbatim (yyyymmdd)
    std::string name;     // column 2, display name, never empty
    std::string baseUrl;  // column 3, prefix of downloadlist.txt and the files
};

using CatalogList = std::vector<CatalogEntry>;

// Absolute URL of one file of the chosen product; the first is the setup.
using FileListEntry = std::string;
using FileList = std::vector<FileListEntry>;
