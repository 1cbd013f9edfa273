// Parsers of the catalog and the file list: edge cases of the text formats.
// Shift-JIS bytes are written as escapes so the native build stays ASCII.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BuildConfig.h"
#include "catalog/CatalogFailure.h"
#include "catalog/CatalogParser.h"

namespace {

struct ExpectedEntry {
    int32_t number;
    const char* date;
    const char* name;
    const char* baseUrl;
};

struct CatalogCase {
    const char* label;
    std::string text;
    std::vector<ExpectedEntry> expected;
};

// "\x83\x5C" and "\x95\x5C" end in the backslash byte, "\x83\x7C" in the
// pipe byte; none may be taken as a separator or shortened.
const std::string kSjisName = "\x83\x5C\x83\x74\x83\x67 \x95\x5C\x83\x7C";

std::vector<CatalogCase> CatalogCases() {
    return {
        {"empty text", "", {}},
        {"blank lines of every kind", "\r\n\r\n\r\n\r\r\n", {}},
        {"one line without line end", "1,A,B,C", {{1, "C", "A", "B"}}},
        {"name only", "5,A", {{5, "", "A", ""}}},
        {"one column", "5", {}},
        {"empty name", "5,,B,C", {}},
        {"six columns, next line normal", "1,A,B,C,D,E\r\n2,F,G,H",
         {{1, "C", "A", "B"}, {2, "H", "F", "G"}}},
        {"CR, CR LF and LF mixed", "1,A\r2,B\r\n3,C\n4,D",
         {{1, "", "A", ""}, {2, "", "B", ""}, {3, "", "C", ""}, {4, "", "D", ""}}},
        {"CR CR LF is two line ends", "1,A\r\r\n2,B", {{1, "", "A", ""}, {2, "", "B", ""}}},
        {"blanks stay in columns", "3,  A B  ,\thttp://x/ , 20240101 ",
         {{3, " 20240101 ", "  A B  ", "\thttp://x/ "}}},
        {"comment-looking line is an entry", "#,A,B,C", {{0, "C", "A", "B"}}},
        {"same name twice keeps order", "2,A,x\n1,A,y", {{2, "", "A", "x"}, {1, "", "A", "y"}}},
        {"trail bytes 0x5C and 0x7C kept",
         "7," + kSjisName + ",https://h/p\\\x83\x5C/,20240102\r\n",
         {{7, "20240102", kSjisName.c_str(), "https://h/p\\\x83\x5C/"}}},
        {"lead byte before comma is one byte", "1,\x81,B", {{1, "", "\x81", "B"}}},
        {"lead byte before line end", "1,A\x81\r\n2,B", {{1, "", "A\x81", ""}, {2, "", "B", ""}}},
        {"trailing comma after column 4", "1,A,B,C,\n2,D", {{1, "C", "A", "B"}, {2, "", "D", ""}}},
        {"text stops at its zero byte", std::string("1,A,B\n2,C\0003,D", 13), {{1, "", "A", "B"}, {2, "", "C", ""}}},
    };
}

void ExpectCatalog(const CatalogCase& c) {
    SCOPED_TRACE(c.label);
    const CatalogList parsed = ParseCatalog(c.text.c_str());
    ASSERT_EQ(c.expected.size(), parsed.size());
    for (size_t i = 0; i < parsed.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(c.expected[i].number, parsed[i].number);
        EXPECT_EQ(c.expected[i].date, parsed[i].date);
        EXPECT_EQ(c.expected[i].name, parsed[i].name);
        EXPECT_EQ(c.expected[i].baseUrl, parsed[i].baseUrl);
    }
}

TEST(ParseCatalog, LinesColumnsAndLineEnds) {
    for (const CatalogCase& c : CatalogCases()) ExpectCatalog(c);
}

TEST(ParseCatalog, NumberColumnConversion) {
    struct Case {
        const char* column;
        int32_t expected;
    };
    const Case cases[] = {
        {"", 0},
        {"abc", 0},
        {"12abc", 12},
        {" -7x", -7},
        {"+42", 42},
        {"\t \v\f 9", 9},
        {"- 5", 0},
        {"--5", 0},
        {"2147483647", 2147483647},
        {"2147483648", 2147483647},
        {"4294967296", 2147483647},
        {"-2147483648", INT32_MIN},
        {"-2147483649", INT32_MIN},
        {"99999999999999999999999999999", 2147483647},
        {"-99999999999999999999999999999", INT32_MIN},
        {"0000000000000000000000000012", 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.column);
        const std::string line = std::string(c.column) + ",N";
        const CatalogList parsed = ParseCatalog(line.c_str());
        ASSERT_EQ(1u, parsed.size());
        EXPECT_EQ(c.expected, parsed[0].number);
    }
}

TEST(FindColumnEnd, StepsOverTwoByteCharacters) {
    struct Case {
        std::string text;
        size_t start;
        size_t expected;
    };
    const Case cases[] = {
        {"", 0, 0},
        {"abc", 0, 3},
        {"ab,c", 0, 2},
        {"ab\rc", 0, 2},
        {"ab\nc", 0, 2},
        {"a,b,c", 2, 3},
        {"\x83\x5C,", 0, 2},
        {"\x95\x7C\x83\x5C\n", 0, 4},
        {"\x81,", 0, 1},
        {"\xE0\x40\xEF\xFC,", 0, 4},
        {"\xF0\x40,", 0, 2},  // 0xF0 is no lead byte
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.expected, FindColumnEnd(c.text.c_str(), c.start));
    }
}

TEST(ParseFileList, LinesBecomeBaseUrlPlusLine) {
    struct Case {
        const char* label;
        std::string baseUrl;
        std::string text;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"empty", "https://h/p/", "", {}},
        {"only line ends", "https://h/p/", "\r\n\n\r\r\n", {}},
        {"three lines in order", "https://h/p/", "a\r\nb\nc", {"https://h/p/a", "https://h/p/b", "https://h/p/c"}},
        {"empty lines between and after", "B/", "\n\na\r\r\n\rb\r\n\n", {"B/a", "B/b"}},
        {"spaces kept", "B/", " a b \n", {"B/ a b "}},
        {"no separator inserted", "https://h/p", "x.exe", {"https://h/px.exe"}},
        {"zero byte ends the text", "B/", std::string("a\nb\0c\n", 6), {"B/a", "B/b"}},
        {"trail bytes kept", "B/", "\x83\x5C\x83\x7C.exe", {"B/\x83\x5C\x83\x7C.exe"}},
        {"longest line accepted", "B/", std::string(kMaxFileListLine, 'x') + "\nz",
         {"B/" + std::string(kMaxFileListLine, 'x'), "B/z"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::optional<FileList> parsed = ParseFileList(c.baseUrl, c.text.c_str());
        ASSERT_TRUE(parsed.has_value());
        EXPECT_EQ(c.expected, *parsed);
    }
}

TEST(ParseFileList, OverlongLineRejectsTheWholeList) {
    const std::string longLine(kMaxFileListLine + 1, 'y');
    const std::string texts[] = {
        longLine,
        "a\n" + longLine + "\nb",
        "a\r\n" + longLine,
        longLine + "\r\n",
    };
    for (const std::string& text : texts) {
        EXPECT_FALSE(ParseFileList("B/", text.c_str()).has_value()) << text.size();
    }
}

TEST(FetchHelpers, ZeroTerminatedBodyAndUrls) {
    const uint8_t body[] = {'a', 'b', 0, 'c'};
    EXPECT_EQ("ab", TextUpToFirstZero(body, sizeof body));
    EXPECT_EQ("a", TextUpToFirstZero(body, 1));
    EXPECT_EQ("", TextUpToFirstZero(body + 2, 2));
    EXPECT_EQ("", TextUpToFirstZero(nullptr, 0));
    const uint8_t noZero[] = {'!', '\r', '\n'};
    EXPECT_EQ("!\r\n", TextUpToFirstZero(noZero, sizeof noZero));

    EXPECT_EQ(std::string("https://") + VELTA_DOWNLOAD_HOST +
                  "/qrnSupport/download/VELTA/veltadownloadlist.txt",
              BuildCatalogUrl(0));
    EXPECT_EQ(std::string("https://") + VELTA_DOWNLOAD_HOST +
                  "/qrnSupport/download/VELTA/veltadownloadlist.test.txt",
              BuildCatalogUrl(1));
    EXPECT_EQ("https://h/p/downloadlist.txt", BuildFileListUrl("https://h/p/"));
    EXPECT_EQ("https://h/pdownloadlist.txt", BuildFileListUrl("https://h/p"));
}

TEST(CatalogFailureFor, EachUnfinishedStateHasItsMessage) {
    struct Case {
        int32_t state;
        CatalogFailure expected;
    };
    // Failed, Idle, then Connecting, HeadersReceived, Receiving and Sending:
    // a transfer the time limit cut off.
    const Case cases[] = {
        {-1, CatalogFailure::Communication}, {0, CatalogFailure::Undefined},
        {1, CatalogFailure::NoResponse},     {2, CatalogFailure::NoResponse},
        {3, CatalogFailure::NoResponse},     {5, CatalogFailure::NoResponse},
    };
    for (const Case& c : cases) EXPECT_EQ(c.expected, CatalogFailureFor(c.state)) << c.state;
}

}  // namespace
