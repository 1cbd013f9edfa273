#include "catalog/ProcessState.h"

// Defined in one translation unit so that construction order is fixed:
// exit releases them in reverse, g_productName first and ProductCatalog last.
CatalogList ProductCatalog;
FileList SelectedFileList;
std::string g_productName;

int g_testMode = 0;
