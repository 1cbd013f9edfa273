#pragma once
// Process-wide state shared by the subsystems. Written on the main thread
// only. Declared and defined (catalog/ProcessState.cpp) in the lowest layer
// that knows the catalog's records, so that catalog and download read it and
// link without the application above them.
#include <string>

#include "catalog/CatalogTypes.h"
#include "common/TestModeTitle.h"  // AppendTestModeSuffix

extern int g_testMode;              // 0 or 1, decided from the executable's name
extern std::string g_productName;   // display name of the chosen product (CP932)
extern CatalogList ProductCatalog;  // the fetched catalog, in catalog order
extern FileList SelectedFileList;   // files of the chosen product, setup first
