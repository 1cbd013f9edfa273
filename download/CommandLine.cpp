#include "download/CommandLine.h"

#include <cstring>
#include <string>

#include "common/ShiftJis.h"

bool AppendArg(char* commandLine, std::size_t capacity, const char* text) {
    const std::size_t used = std::strlen(commandLine);
    const std::size_t length = std::strlen(text);
    // The 2 reserves the separator and the terminator even when no separator
    // is written, so an empty command line is measured like any other.
    if (used + length + 2 > capacity) return false;
    char* end = commandLine + used;
    if (used != 0) *end++ = ' ';
    std::memcpy(end, text, length + 1);
    return true;
}

bool AppendQuotedArg(char* commandLine, std::size_t capacity, const char* argument) {
    if (argument[0] == '\0') {
        const std::size_t used = std::strlen(commandLine);
        if (used + 4 > capacity) return false;
        char* end = commandLine + used;
        if (used != 0) *end++ = ' ';
        std::memcpy(end, "\"\"", 3);
        return true;
    }

    const std::size_t length = std::strlen(argument);
    // Only a blank forces quoting; a tab alone leaves the argument bare.
    const bool quote = std::memchr(argument, ' ', length) != nullptr;
    std::string escaped;
    escaped.reserve(2 * length + 3);
    if (quote) escaped += '"';
    for (std::size_t i = 0; i < length; ++i) {
        const char c = argument[i];
        if (sjis::IsDoubleByteAt(argument, i)) {
            // A trail byte 0x5C belongs to its character (e.g. 0x83 0x5C);
            // escaping it would corrupt the name.
            escaped += c;
            escaped += argument[i + 1];
            ++i;
        } else if (c == '\\' && argument[i + 1] == '"') {
            escaped += "\\\\\\\"";
            ++i;
        } else if (c == '\\' && i + 1 == length) {
            // Inside quotes a lone final backslash would escape the closing
            // quote.
            escaped += quote ? "\\\\" : "\\";
        } else if (c == '"') {
            escaped += "\\\"";
        } else {
            escaped += c;
        }
    }
    if (quote) escaped += '"';
    return AppendArg(commandLine, capacity, escaped.c_str());
}
