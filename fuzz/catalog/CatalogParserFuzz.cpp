// Differential check of ParseCatalog against a byte-wise reading of the
// format: no trail byte can be ",", CR or LF, so splitting the text on those
// bytes must give the same entries as the Shift-JIS aware scan.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "catalog/CatalogParser.h"

namespace {

int32_t ReferenceNumber(const std::string& column) {
    const long long value = std::strtoll(column.c_str(), nullptr, 10);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

CatalogList ReferenceParse(const std::string& text) {
    CatalogList result;
    size_t position = 0;
    while (position < text.size()) {
        size_t end = text.find_first_of("\r\n", position);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(position, end - position);
        if (end < text.size()) {
            end += (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1;
        }
        position = end;

        std::vector<std::string> columns;
        size_t start = 0;
        while (columns.size() < 4) {
            const size_t comma = line.find(',', start);
            columns.push_back(
                line.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
        columns.resize(4);
        if (columns[1].empty()) continue;
        CatalogEntry entry;
        entry.number = ReferenceNumber(columns[0]);
        entry.date = columns[3];
        entry.name = columns[1];
        entry.baseUrl = columns[2];
        result.push_back(entry);
    }
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text = TextUpToFirstZero(data, size);
    const CatalogList parsed = ParseCatalog(text.c_str());
    const CatalogList expected = ReferenceParse(text);
    if (parsed.size() != expected.size()) abort();
    for (size_t i = 0; i < parsed.size(); ++i) {
        if (parsed[i].number != expected[i].number || parsed[i].date != expected[i].date ||
            parsed[i].name != expected[i].name || parsed[i].baseUrl != expected[i].baseUrl) {
            abort();
        }
    }
    return 0;
}
