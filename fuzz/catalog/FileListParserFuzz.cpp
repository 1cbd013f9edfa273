// ParseFileList keeps every byte of every line: joining the parsed lines
// again must give the text with its line ends removed, no line may be empty
// or overlong, and a list is refused exactly when some line is overlong.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "catalog/CatalogParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte picks one of a few prefixes, so that the prefix is seen
    // to be copied as is, also when it is empty or has line-end bytes.
    static const std::string kPrefixes[] = {"", "https://h/p/", "B\r\n", std::string(300, 'u')};
    const std::string& baseUrl = size > 0 ? kPrefixes[data[0] % 4] : kPrefixes[0];
    const std::string text = size > 0 ? TextUpToFirstZero(data + 1, size - 1) : std::string();

    const std::optional<FileList> parsed = ParseFileList(baseUrl, text.c_str());

    std::string withoutLineEnds;
    size_t longest = 0;
    size_t run = 0;
    for (const char c : text) {
        if (c == '\r' || c == '\n') {
            run = 0;
            continue;
        }
        withoutLineEnds += c;
        if (++run > longest) longest = run;
    }
    if (longest > kMaxFileListLine) {
        if (parsed.has_value()) abort();
        return 0;
    }
    if (!parsed.has_value()) abort();

    std::string joined;
    for (const FileListEntry& entry : *parsed) {
        if (entry.compare(0, baseUrl.size(), baseUrl) != 0) abort();
        const std::string line = entry.substr(baseUrl.size());
        if (line.empty() || line.size() > kMaxFileListLine) abort();
        if (line.find_first_of("\r\n") != std::string::npos) abort();
        joined += line;
    }
    if (joined != withoutLineEnds) abort();
    return 0;
}
