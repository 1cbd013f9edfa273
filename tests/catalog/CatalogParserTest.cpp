// Parsers of the catalog and the file list: edge cases of the text formats.
// Shift-JIS bytes are written as escapes so the native build stays ASCII.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalog/CatalogParser.h"

namespace {

// "\x83\x5C" and "\x95\x5C" end in the backslash byte, "\x83\x7C" in the
// pipe byte; none may be taken as a separator or shortened.
const std::string kSjis = "\x83\x5C\x83\x74\x83\x67 \x95\x5C\x83\x7C";

// One string per entry: number|date|name|baseUrl.
std::vector<std::string> Parsed(const std::string& text) {
    std::vector<std::string> rows;
    for (const CatalogEntry& e : ParseCatalog(text.c_str()))
        rows.push_back(std::to_string(e.number) + "|" + e.date + "|" + e.name + "|" + e.baseUrl);
    return rows;
}

TEST(ParseCatalog, LinesColumnsAndLineEnds) {
    const struct { std::string text; std::vector<std::string> expected; } cases[] = {
        {"", {}},
        {"\r\n\r\n\r\n\r\r\n", {}},
        {"1,A,B,C", {"1|C|A|B"}},
        {"5,A", {"5||A|"}},
        {"5", {}},
        {"5,,B,C", {}},
        {"1,A,B,C,D,E\r\n2,F,G,H", {"1|C|A|B", "2|H|F|G"}},
        {"1,A\r2,B\r\n3,C\n4,D", {"1||A|", "2||B|", "3||C|", "4||D|"}},
        {"1,A\r\r\n2,B", {"1||A|", "2||B|"}},
        {"3,  A B  ,\thttp://x/ , 20240101 ", {"3| 20240101 |  A B  |\thttp://x/ "}},
        {"#,A,B,C", {"0|C|A|B"}},
        {"2,A,x\n1,A,y", {"2||A|x", "1||A|y"}},
        {"7," + kSjis + ",https://h/p\\\x83\x5C/,20240102\r\n", {"7|20240102|" + kSjis + "|https://h/p\\\x83\x5C/"}},
        {"1,\x81,B", {"1||\x81|B"}},
        {"1,A\x81\r\n2,B", {"1||A\x81|", "2||B|"}},
        {"1,\xE0\x40\xEF\xFC,B\n2,\xF0,C", {"1||\xE0\x40\xEF\xFC|B", "2||\xF0|C"}},
        {"1,A,B,C,\n2,D", {"1|C|A|B", "2||D|"}},
        {std::string("1,A,B\n2,C\0003,D", 13), {"1||A|B", "2||C|"}},
        // The number column: leading blanks and sign, digits up to the first
        // other byte, clamped to the 32-bit range.
        {"abc,N\n12abc,N\n \t\v\f-7x,N\n+42,N\n- 5,N\n--5,N\n0000000000000000000000000012,N", 
         {"0||N|", "12||N|", "-7||N|", "42||N|", "0||N|", "0||N|", "12||N|"}},
        {"2147483647,N\n2147483648,N\n99999999999999999999999999999,N\n-2147483648,N\n-2147483649,N",
         {"2147483647||N|", "2147483647||N|", "2147483647||N|", "-2147483648||N|", "-2147483648||N|"}},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, Parsed(c.text)) << c.text;
}

TEST(ParseFileList, LinesBecomeBaseUrlPlusLine) {
    const std::string longest(kMaxFileListLine, 'x');
    const struct { std::string baseUrl, text; std::vector<std::string> expected; } cases[] = {
        {"B/", "", {}},
        {"B/", "\r\n\n\r\r\n", {}},
        {"https://h/p/", "a\r\nb\nc", {"https://h/p/a", "https://h/p/b", "https://h/p/c"}},
        {"B/", "\n\na\r\r\n\rb\r\n\n", {"B/a", "B/b"}},
        {"B/", " a b \n", {"B/ a b "}},
        {"https://h/p", "x.exe", {"https://h/px.exe"}},
        {"B/", std::string("a\nb\0c\n", 6), {"B/a", "B/b"}},
        {"B/", "\x83\x5C\x83\x7C.exe", {"B/\x83\x5C\x83\x7C.exe"}},
        {"B/", longest + "\nz", {"B/" + longest, "B/z"}},
    };
    for (const auto& c : cases) {
        const std::optional<FileList> parsed = ParseFileList(c.baseUrl, c.text.c_str());
        ASSERT_TRUE(parsed.has_value()) << c.text;
        EXPECT_EQ(c.expected, *parsed) << c.text;
    }
}

TEST(ParseFileList, OverlongLineRejectsTheWholeList) {
    const std::string y(kMaxFileListLine + 1, 'y');
    for (const std::string& text : {y, "a\n" + y + "\nb", "a\r\n" + y, y + "\r\n"})
        EXPECT_FALSE(ParseFileList("B/", text.c_str()).has_value()) << text.size();
}

}  // namespace
