// PlanCatalog and PlanFileList on arbitrary bodies: the products and files
// are exactly what the tool's parsers give, in order, on rising lines, and
// what is lost lies after the zero byte.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "catalog/CatalogParser.h"
#include "catalog/CatalogPlan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string body(reinterpret_cast<const char*>(data), size);
    const CatalogPlan catalog = PlanCatalog(body);
    const CatalogList tool = ParseCatalog(catalog.text.c_str());
    if (catalog.updateNotice != (!catalog.text.empty() && catalog.text[0] == '!')) abort();
    if (!catalog.updateNotice) {
        if (catalog.products.size() != tool.size()) abort();
        int line = 0;
        for (std::size_t i = 0; i < tool.size(); ++i) {
            const CatalogEntry& e = catalog.products[i].entry;
            if (e.name != tool[i].name || e.baseUrl != tool[i].baseUrl || e.date != tool[i].date ||
                e.number != tool[i].number || catalog.products[i].line <= line) {
                abort();
            }
            line = catalog.products[i].line;
        }
    }
    if (catalog.zeroCut.has_value() != (body.find('\0') != std::string::npos)) abort();
    for (const PlannedProduct& p : catalog.lostAfterZero) {
        if (!catalog.zeroCut || p.line < catalog.zeroCut->line || p.entry.name.empty()) abort();
    }

    const std::string base = "https://h/p/";
    const FileListPlan list = PlanFileList(base, body);
    const std::optional<FileList> files = ParseFileList(base, list.text.c_str());
    if (list.fails != !files.has_value()) abort();
    if (files) {
        if (files->size() != list.files.size()) abort();
        for (std::size_t i = 0; i < files->size(); ++i) {
            if ((*files)[i] != list.files[i].url) abort();
        }
    }
    return 0;
}
