#pragma once
#include <string>

#include "catalog/CatalogTypes.h"

// Fetches the catalog into ProductCatalog. 0 on success, -1 for the update
// notice (texts::kUpdateNotice), -2 for a failed fetch; every negative result
// has been shown already.
int FetchCatalog();

// Fetches baseUrl + "downloadlist.txt". Empty on failure (already reported)
// or when the list names no file.
FileList FetchFileList(const std::string& baseUrl);
