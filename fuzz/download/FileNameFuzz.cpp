// FileNameOfPath and JoinLocalPath on arbitrary bytes: the name is always a
// suffix that starts after a separator (or at the start), holds no
// separator of its own, never exceeds the caller's capacity, and a refusal
// leaves the buffer untouched. The answer for a small capacity must agree
// with the answer for a roomy one.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/ShiftJis.h"
#include "download/FileName.h"

namespace {

constexpr size_t kRoomy = 2048;

// Whether the last character (double-byte ones whole) is a separator.
bool EndsInSeparator(const char* text) {
    bool last = false;
    for (size_t i = 0; text[i] != '\0'; ++i) {
        if (sjis::IsDoubleByteAt(text, i)) {
            ++i;
            last = false;
            continue;
        }
        last = text[i] == '/' || text[i] == '\\';
    }
    return last;
}

bool HasSingleByteSeparator(const char* text) {
    for (size_t i = 0; text[i] != '\0'; ++i) {
        if (sjis::IsDoubleByteAt(text, i)) {
            ++i;
            continue;
        }
        if (text[i] == '/' || text[i] == '\\') return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t capacity = static_cast<size_t>(data[0]) * 3;
    const size_t split = data[1];
    const std::string text(reinterpret_cast<const char*>(data + 2),
                           strnlen(reinterpret_cast<const char*>(data + 2), size - 2));

    char roomy[kRoomy];
    if (!FileNameOfPath(text.c_str(), roomy, sizeof roomy)) abort();
    const size_t nameLength = strlen(roomy);
    if (nameLength > 510) abort();  // base name and extension of 255 bytes each
    if (HasSingleByteSeparator(roomy)) abort();
    if (nameLength > text.size() || text.compare(text.size() - nameLength, nameLength, roomy) != 0) {
        abort();
    }
    if (EndsInSeparator(text.c_str()) && nameLength != 0) abort();

    char small[kRoomy];
    memset(small, 0x7E, sizeof small);
    const bool fits = FileNameOfPath(text.c_str(), small, capacity);
    if (fits != (nameLength + 1 <= capacity)) abort();
    if (fits && strcmp(small, roomy) != 0) abort();
    if (!fits && small[0] != 0x7E) abort();

    // Any split of the text into a folder and a name joins back, or is
    // refused without a byte written.
    const std::string folder = text.substr(0, split < text.size() ? split : text.size());
    const std::string name = text.substr(folder.size());
    char joined[kRoomy];
    memset(joined, 0x7E, sizeof joined);
    const bool joinFits = JoinLocalPath(folder.c_str(), name.c_str(), joined, capacity);
    if (joinFits != (text.size() + 1 <= capacity)) abort();
    if (joinFits && text != joined) abort();
    if (!joinFits && joined[0] != 0x7E) abort();

    // Same names compare equal whatever the case of their ASCII letters.
    std::string upper = roomy;
    for (size_t i = 0; i < upper.size(); ++i) {
        if (sjis::IsDoubleByteAt(upper.c_str(), i)) {
            ++i;
            continue;
        }
        if (upper[i] >= 'a' && upper[i] <= 'z') upper[i] = static_cast<char>(upper[i] - 'a' + 'A');
    }
    if (!SameFileName(roomy, upper.c_str()) || !SameFileName(upper.c_str(), roomy)) abort();
    return 0;
}
