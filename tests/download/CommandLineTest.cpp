// Quoting and escaping of the setup's command line, and the exact capacity
// rules of both append operations.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "download/CommandLine.h"

namespace {

struct QuoteCase {
    const char* name;
    const char* before;
    const char* argument;
    const char* after;
};

// Shift-JIS "so" is 0x83 0x5C: its trail byte is a backslash.
const QuoteCase kQuoteCases[] = {
    {"bare path", "", "C:\\dl\\setup.exe", "C:\\dl\\setup.exe"},
    {"blank quotes", "", "C:\\Documents and Settings\\a.exe",
     "\"C:\\Documents and Settings\\a.exe\""},
    {"tab alone does not quote", "", "a\tb", "a\tb"},
    {"so outside quotes", "", "C:\\\x83\x5C\\s.exe", "C:\\\x83\x5C\\s.exe"},
    {"so inside quotes", "", "C:\\a b\\\x83\x5C.exe", "\"C:\\a b\\\x83\x5C.exe\""},
    {"so trail is not a final backslash", "", "a b\x83\x5C", "\"a b\x83\x5C\""},
    {"so trail does not escape a quote", "", "x\x83\x5C\"y", "x\x83\x5C\\\"y"},
    {"quote escaped", "", "a\"b", "a\\\"b"},
    {"backslash before quote", "", "a\\\"b", "a\\\\\\\"b"},
    {"final backslash bare", "", "C:\\dir\\", "C:\\dir\\"},
    {"final backslash quoted", "", "C:\\my dir\\", "\"C:\\my dir\\\\\""},
    {"empty argument", "", "", "\"\""},
    {"separator before next", "prog.exe", "a b", "prog.exe \"a b\""},
    {"separator before empty", "prog.exe", "", "prog.exe \"\""},
    {"lead byte at the end stays", "", "a\x83", "a\x83"},
};

TEST(CommandLine, AppendQuotedArgQuotesOnBlanksAndEscapesQuotes) {
    for (const QuoteCase& c : kQuoteCases) {
        char line[256] = {};
        std::strcpy(line, c.before);
        ASSERT_TRUE(AppendQuotedArg(line, sizeof line, c.argument)) << c.name;
        EXPECT_EQ(std::string(c.after), line) << c.name;
    }
}

// Capacity is exact: the smallest buffer that holds the result succeeds, one
// byte less fails and leaves the command line as it was.
struct CapacityCase {
    const char* name;
    const char* before;
    const char* argument;
    bool quoted;  // through AppendQuotedArg, else AppendArg
    std::size_t smallest;
};

const CapacityCase kCapacityCases[] = {
    // AppendArg reserves separator and terminator even on an empty line.
    {"arg on empty line", "", "abc", false, 5},
    {"arg after text", "xy", "abc", false, 7},
    {"empty arg after text", "xy", "", false, 4},
    // An empty argument is measured as line + 4 whatever the line holds.
    {"quoted empty on empty line", "", "", true, 4},
    {"quoted empty after text", "xy", "", true, 6},
    // Escaped "a\"b" has 4 bytes; AppendArg's rule decides.
    {"quoted escaped", "", "a\"b", true, 6},
    {"quoted blank", "p", "a b", true, 8},
};

TEST(CommandLine, SmallestFitsAndOneLessIsRefusedUntouched) {
    for (const CapacityCase& c : kCapacityCases) {
        SCOPED_TRACE(c.name);
        auto append = [&](char* line, std::size_t capacity) {
            return c.quoted ? AppendQuotedArg(line, capacity, c.argument)
                            : AppendArg(line, capacity, c.argument);
        };
        // The buffer is larger than the capacity given, so a write past the
        // capacity shows up as a changed byte.
        char line[64];
        std::memset(line, '#', sizeof line);
        std::strcpy(line, c.before);
        ASSERT_FALSE(append(line, c.smallest - 1));
        EXPECT_STREQ(c.before, line);
        for (std::size_t i = std::strlen(c.before) + 1; i < sizeof line; ++i) {
            ASSERT_EQ('#', line[i]) << "byte " << i << " written by a refused append";
        }
        ASSERT_TRUE(append(line, c.smallest));
        EXPECT_LE(std::strlen(line) + 1, c.smallest);
        for (std::size_t i = c.smallest; i < sizeof line; ++i) {
            ASSERT_EQ('#', line[i]) << "byte " << i << " written beyond the capacity";
        }
    }
}

TEST(CommandLine, AppendArgKeepsTextUnchanged) {
    char line[32] = "a";
    ASSERT_TRUE(AppendArg(line, sizeof line, "\"x y\\"));
    EXPECT_STREQ("a \"x y\\", line);
}

// The launcher's buffer of 3 * (length + 1) + 2 must hold the worst case:
// every byte a quote (doubled), quoting, and the final blank.
TEST(CommandLine, LauncherBufferHoldsWorstCase) {
    const std::string arguments[] = {std::string(40, '"') + " ", "\\\" \\\"\\", " ", "a"};
    for (const std::string& argument : arguments) {
        const std::size_t size = 3 * (argument.size() + 1) + 2;
        std::string line(size, '\0');
        EXPECT_TRUE(AppendQuotedArg(line.data(), size, argument.c_str())) << argument;
        EXPECT_TRUE(AppendArg(line.data(), size, "")) << argument;
        EXPECT_EQ(' ', line[std::strlen(line.c_str()) - 1]) << argument;
    }
}

}  // namespace
