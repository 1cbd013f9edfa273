#include "catalog/ProcessState.h"

// All four live in this one translation unit, so their construction order is
// fixed by the order below, and exit releases them in reverse: g_productName
// first, then SelectedFileList, ProductCatalog last. Spread over several
// files, the order between them would be left to the linker.
CatalogList ProductCatalog;
FileList SelectedFileList;
std::string g_productName;

int g_testMode = 0;
