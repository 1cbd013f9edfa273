// AppendQuotedArg and AppendArg on arbitrary bytes, the line allocated at its
// exact capacity for AddressSanitizer. A refusal leaves the line unchanged; an
// argument the quoting is meant for parses back (code page 932 aware) whole.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/ShiftJis.h"
#include "download/CommandLine.h"

namespace {

bool IsPairAt(const std::string& s, size_t i) {
    return i + 1 < s.size() && sjis::IsLeadByte(static_cast<unsigned char>(s[i])) &&
           sjis::IsTrailByte(static_cast<unsigned char>(s[i + 1]));
}

// 2n backslashes before a quote give n and the quote toggles quoting, 2n+1
// give n and a literal quote; blanks and tabs outside quotes separate.
std::vector<std::string> Parse(const std::string& s) {
    std::vector<std::string> args;
    for (size_t i = 0;;) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
        if (i >= s.size()) return args;
        std::string arg;
        for (bool quoted = false; i < s.size() && (quoted || (s[i] != ' ' && s[i] != '\t'));) {
            if (IsPairAt(s, i)) {
                arg += s.substr(i, 2), i += 2;
            } else if (s[i] == '\\') {
                size_t run = 0;
                while (i < s.size() && s[i] == '\\') ++run, ++i;
                const bool quote = i < s.size() && s[i] == '"';
                arg.append(quote ? run / 2 : run, '\\');
                if (quote && run % 2 == 1) arg += '"', ++i;
            } else {
                if (s[i] == '"')
                    quoted = !quoted;
                else
                    arg += s[i];
                ++i;
            }
        }
        args.push_back(arg);
    }
}

// No backslash run longer than one before a quote or ending a quoted
// argument, no tab unless quoted, no lone lead byte before a quote.
bool MeantForQuoting(const std::string& arg) {
    const bool quoted = arg.find(' ') != std::string::npos;
    if (!quoted && arg.find('\t') != std::string::npos) return false;
    size_t run = 0;
    for (size_t i = 0; i < arg.size(); ++i) {
        if (IsPairAt(arg, i)) {
            ++i, run = 0;
            continue;
        }
        // The backslash escaping the quote would become the lead byte's trail.
        if (sjis::IsLeadByte(static_cast<unsigned char>(arg[i])) && i + 1 < arg.size() &&
            arg[i + 1] == '"')
            return false;
        if (arg[i] == '"' && run > 1) return false;
        run = arg[i] == '\\' ? run + 1 : 0;
    }
    return !(quoted && run > 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const size_t capacity = data[0] + 1;
    const bool quote = (data[2] & 1) == 0;
    std::string rest(reinterpret_cast<const char*>(data + 3), size - 3);
    std::replace(rest.begin(), rest.end(), '\0', '\x01');
    const std::string prefix = rest.substr(0, std::min<size_t>(data[1] % 8, rest.size()));
    const std::string argument = rest.substr(prefix.size());
    if (prefix.size() + 1 > capacity) return 0;

    std::vector<char> line(capacity);  // exactly capacity bytes
    memcpy(line.data(), prefix.c_str(), prefix.size() + 1);
    const bool ok = quote ? AppendQuotedArg(line.data(), capacity, argument.c_str())
                          : AppendArg(line.data(), capacity, argument.c_str());
    const std::string result = line.data();
    if (!ok) return result == prefix ? 0 : (abort(), 0);
    if (result.size() + 1 > capacity || result.compare(0, prefix.size(), prefix) != 0) abort();
    if (!prefix.empty() && result[prefix.size()] != ' ') abort();
    const std::string appended = result.substr(prefix.empty() ? 0 : prefix.size() + 1);
    if (!quote) {
        if (appended != argument) abort();
    } else if (appended.size() > 2 * argument.size() + 2 &&
               !(argument.empty() && appended == "\"\"")) {
        abort();
    } else if (MeantForQuoting(argument)) {
        const std::vector<std::string> args = Parse(appended);
        if (args.size() != 1 || args[0] != argument) abort();
    }
    return 0;
}
