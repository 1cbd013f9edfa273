// Built against the catalog layer and the layers below it only (include root
// and libraries): the catalog brings every object it uses, the process-wide
// ones included, without the application above it. Building is the check;
// running it fetches nothing.
#include "catalog/CatalogParser.h"
#include "catalog/ProcessState.h"
#ifdef _WIN32
#include "catalog/CatalogFetch.h"
#endif

int main() {
#ifdef _WIN32
    // A volatile pointer keeps the reference for the linker to resolve.
    int (*volatile fetch)() = FetchCatalog;
    (void)fetch;
#endif
    ProductCatalog = ParseCatalog("");
    return static_cast<int>(ProductCatalog.size() + SelectedFileList.size());
}
