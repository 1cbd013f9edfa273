// AppendQuotedArg and AppendArg on arbitrary bytes and capacities. The
// command line is allocated at exactly its capacity, so any write past it is
// an AddressSanitizer report. A refusal leaves the command line unchanged; an
// acceptance appends separator and escaped argument. For the arguments the
// escaping is meant for (every backslash run before a quote, and a final run
// inside quotes, is a single backslash; no tab unless the argument is
// quoted; no lone lead byte before a quote) the standard command-line parsing, code page 932 aware, must give
// the argument back as exactly one argument.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/ShiftJis.h"
#include "download/CommandLine.h"

namespace {

bool IsPairAt(const std::string& s, size_t i) {
    return i + 1 < s.size() && sjis::IsLeadByte(static_cast<unsigned char>(s[i])) &&
           sjis::IsTrailByte(static_cast<unsigned char>(s[i + 1]));
}

// The runtime's rules for arguments: 2n backslashes before a quote give n and
// the quote toggles quoting, 2n+1 give n and a literal quote, other
// backslashes are literal, blanks and tabs outside quotes separate.
std::vector<std::string> Parse(const std::string& s) {
    std::vector<std::string> args;
    size_t i = 0;
    while (true) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
        if (i >= s.size()) return args;
        std::string arg;
        bool quoted = false;
        while (i < s.size()) {
            if (IsPairAt(s, i)) {
                arg += s.substr(i, 2);
                i += 2;
            } else if (s[i] == '\\') {
                size_t run = 0;
                while (i < s.size() && s[i] == '\\') ++run, ++i;
                if (i < s.size() && s[i] == '"') {
                    arg.append(run / 2, '\\');
                    if (run % 2 == 1) {
                        arg += '"';
                        ++i;
                    }
                } else {
                    arg.append(run, '\\');
                }
            } else if (s[i] == '"') {
                quoted = !quoted;
                ++i;
            } else if (!quoted && (s[i] == ' ' || s[i] == '\t')) {
                break;
            } else {
                arg += s[i++];
            }
        }
        args.push_back(arg);
    }
}

bool MeantForEscaping(const std::string& arg) {
    const bool quoted = arg.find(' ') != std::string::npos;
    if (!quoted && arg.find('\t') != std::string::npos) return false;
    size_t run = 0;
    for (size_t i = 0; i < arg.size(); ++i) {
        if (IsPairAt(arg, i)) {
            ++i;
            run = 0;
            continue;
        }
        // A lone lead byte before a quote is no code page 932 text: the
        // backslash that escapes the quote would become its trail byte.
        if (sjis::IsLeadByte(static_cast<unsigned char>(arg[i])) && i + 1 < arg.size() &&
            arg[i + 1] == '"') {
            return false;
        }
        if (arg[i] == '\\') {
            ++run;
            continue;
        }
        if (arg[i] == '"' && run > 1) return false;
        run = 0;
    }
    return !(quoted && run > 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const size_t capacity = data[0] + 1;
    const size_t prefixLength = data[1] % 8;
    const bool quote = (data[2] & 1) == 0;
    std::string rest(reinterpret_cast<const char*>(data + 3), size - 3);
    for (char& c : rest) {
        if (c == '\0') c = '\x01';
    }
    const std::string prefix = rest.substr(0, std::min(prefixLength, rest.size()));
    const std::string argument = rest.substr(prefix.size());
    if (prefix.size() + 1 > capacity) return 0;

    auto line = std::make_unique<char[]>(capacity);
    std::memcpy(line.get(), prefix.c_str(), prefix.size() + 1);
    const bool ok = quote ? AppendQuotedArg(line.get(), capacity, argument.c_str())
                          : AppendArg(line.get(), capacity, argument.c_str());
    const std::string result = line.get();
    if (!ok) {
        if (result != prefix) abort();
        return 0;
    }
    if (result.size() + 1 > capacity) abort();
    if (result.compare(0, prefix.size(), prefix) != 0) abort();
    const std::string appended = result.substr(prefix.empty() ? 0 : prefix.size() + 1);
    if (!prefix.empty() && result[prefix.size()] != ' ') abort();
    if (!quote) {
        if (appended != argument) abort();
        return 0;
    }
    if (appended.size() > 2 * argument.size() + 2 && !(argument.empty() && appended == "\"\"")) {
        abort();
    }
    if (MeantForEscaping(argument)) {
        const std::vector<std::string> args = Parse(appended);
        if (args.size() != 1 || args[0] != argument) abort();
    }
    return 0;
}
