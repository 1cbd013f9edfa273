#pragma once
// Process-wide state shared by the subsystems. Written on the main thread only.
#include <string>

#include "catalog/CatalogTypes.h"

extern int g_testMode;               // 0 or 1, decided from the executable's name
extern std::string g_productName;    // display name of the chosen product (CP932)
extern CatalogList ProductCatalog;   // the fetched catalog, in catalog order
extern FileList SelectedFileList;    // files of the chosen product, setup first

// Appended to every titled window's template title in test mode.
#define VELTA_TEST_MODE_SUFFIX " [社内テストモード]"
