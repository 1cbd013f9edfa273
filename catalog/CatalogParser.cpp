#include "catalog/CatalogParser.h"

#include <cstring>
#include <limits>

#include "BuildConfig.h"
#include "common/DecimalText.h"
#include "common/ShiftJis.h"

namespace {

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// Steps over one line end at position: CR LF counts as one.
size_t SkipLineEnd(const char* text, size_t position) {
    if (text[position] == '\r') return text[position + 1] == '\n' ? position + 2 : position + 1;
    if (text[position] == '\n') return position + 1;
    return position;
}

// Where the next column starts after a column that ended at end: a comma
// belongs to the separator, a line end or the terminator to the line.
size_t NextColumnStart(const char* text, size_t end) { return text[end] == ',' ? end + 1 : end; }

}  // namespace

size_t FindColumnEnd(const char* text, size_t position) {
    while (text[position] != '\0') {
        if (sjis::IsDoubleByteAt(text, position)) {
            position += 2;
            continue;
        }
        const char c = text[position];
        if (c == ',' || IsLineEnd(c)) break;
        ++position;
    }
    return position;
}

int32_t ConvertCatalogNumber(const char* begin, const char* end) {
    return ParseSaturatingDecimal<int32_t>(begin, end);
}

CatalogList ParseCatalog(const char* text) {
    CatalogList result;
    size_t position = 0;
    while (text[position] != '\0') {
        const size_t column1 = position;
        const size_t end1 = FindColumnEnd(text, column1);
        const size_t column2 = NextColumnStart(text, end1);
        const size_t end2 = FindColumnEnd(text, column2);
        const size_t column3 = NextColumnStart(text, end2);
        const size_t end3 = FindColumnEnd(text, column3);
        const size_t column4 = NextColumnStart(text, end3);
        const size_t end4 = FindColumnEnd(text, column4);

        // Fifth and later columns run up to the line end and are ignored.
        position = NextColumnStart(text, end4);
        while (text[position] != '\0' && !IsLineEnd(text[position])) ++position;
        position = SkipLineEnd(text, position);

        if (end2 == column2) continue;
        CatalogEntry entry;
        // Only column 1 is converted: for a line that yields an entry it ends
        // at a comma, which would stop the conversion anyway, and bounding it
        // keeps a text of many blank lines from being rescanned per line.
        entry.number = ConvertCatalogNumber(text + column1, text + end1);
        entry.date.assign(text + column4, end4 - column4);
        entry.name.assign(text + column2, end2 - column2);
        entry.baseUrl.assign(text + column3, end3 - column3);
        result.push_back(std::move(entry));
    }
    return result;
}

std::optional<FileList> ParseFileList(const std::string& baseUrl, const char* text) {
    FileList result;
    size_t position = 0;
    while (text[position] != '\0') {
        const size_t start = position;
        while (text[position] != '\0' && !IsLineEnd(text[position])) ++position;
        const size_t length = position - start;
        if (length > kMaxFileListLine) return std::nullopt;
        if (length != 0) {
            FileListEntry entry;
            entry.reserve(baseUrl.size() + length);
            entry.append(baseUrl);
            entry.append(text + start, length);
            result.push_back(std::move(entry));
        }
        position = SkipLineEnd(text, position);
    }
    return result;
}

std::string TextUpToFirstZero(const uint8_t* data, size_t size) {
    if (data == nullptr || size == 0) return std::string();
    const void* zero = memchr(data, 0, size);
    const size_t length =
        zero != nullptr ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - data) : size;
    return std::string(reinterpret_cast<const char*>(data), length);
}

std::string BuildCatalogUrl(int testMode) {
    std::string url = "https://" VELTA_DOWNLOAD_HOST "/qrnSupport/download/VELTA/veltadownloadlist";
    if (testMode != 0) url += ".test";
    url += ".txt";
    return url;
}

std::string BuildFileListUrl(const std::string& baseUrl) { return baseUrl + "downloadlist.txt"; }
