// FileNameOfPath and JoinLocalPath on arbitrary bytes: the name is a suffix
// without a single-byte separator, a refusal writes nothing, and a small
// capacity agrees with a roomy one.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/ShiftJis.h"
#include "download/FileName.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t capacity = static_cast<size_t>(data[0]) * 3;
    const char* raw = reinterpret_cast<const char*>(data + 2);
    const std::string text(raw, strnlen(raw, size - 2));

    char roomy[2048], small[2048], joined[2048];
    if (!FileNameOfPath(text.c_str(), roomy, sizeof roomy)) abort();
    const size_t n = strlen(roomy);
    if (n > 510 || n > text.size() || text.compare(text.size() - n, n, roomy) != 0) abort();
    // Walk text and name by characters: no separator in the name, and a text
    // ending in one gives no name.
    bool endsInSeparator = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool pair = sjis::IsDoubleByteAt(text.c_str(), i);
        endsInSeparator = !pair && (text[i] == '/' || text[i] == '\\');
        if (pair) ++i;
    }
    if (endsInSeparator && n != 0) abort();
    for (size_t i = 0; i < n; ++i) {
        if (sjis::IsDoubleByteAt(roomy, i)) {
            ++i;
            continue;
        }
        if (roomy[i] == '/' || roomy[i] == '\\') abort();
    }

    memset(small, 0x7E, sizeof small);
    const bool fits = FileNameOfPath(text.c_str(), small, capacity);
    if (fits != (n + 1 <= capacity) || (fits && strcmp(small, roomy) != 0) ||
        (!fits && small[0] != 0x7E))
        abort();

    // Any split into folder and name joins back, or is refused untouched.
    const std::string folder = text.substr(0, std::min<size_t>(data[1], text.size()));
    memset(joined, 0x7E, sizeof joined);
    const bool joinFits =
        JoinLocalPath(folder.c_str(), text.c_str() + folder.size(), joined, capacity);
    if (joinFits != (text.size() + 1 <= capacity) || (joinFits && text != joined) ||
        (!joinFits && joined[0] != 0x7E))
        abort();
    return 0;
}
