// Portable parts of the catalog: the parsers of the catalog and the file list,
// the fetches' body and URL helpers, and which message a failed fetch shows.
// Shift-JIS bytes are written as escapes so the native build stays ASCII.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BuildConfig.h"
#include "catalog/CatalogFailure.h"
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

TEST(ParseCatalog, EachLineWithANameBecomesOneEntryOfItsFirstFourColumns) {
    const struct {
        std::string text;
        std::vector<std::string> expected;
    } cases[] = {
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
        {"7," + kSjis + ",https://h/p\\\x83\x5C/,20240102\r\n",
         {"7|20240102|" + kSjis + "|https://h/p\\\x83\x5C/"}},
        {"1,\x81,B", {"1||\x81|B"}},
        {"1,A\x81\r\n2,B", {"1||A\x81|", "2||B|"}},
        {"1,\xE0\x40\xEF\xFC,B\n2,\xF0,C", {"1||\xE0\x40\xEF\xFC|B", "2||\xF0|C"}},
        {"1,A,B,C,\n2,D", {"1|C|A|B", "2||D|"}},
        {std::string("1,A,B\n2,C\0003,D", 13), {"1||A|B", "2||C|"}},
        // The number column: leading blanks and sign, digits up to the first
        // other byte, clamped to the 32-bit range.
        {"abc,N\n12abc,N\n \t\v\f-7x,N\n+42,N\n- 5,N\n--5,N\n0000000000000000000000000012,N",
         {"0||N|", "12||N|", "-7||N|", "42||N|", "0||N|", "0||N|", "12||N|"}},
        {"2147483647,N\n2147483648,N\n99999999999999999999999999999,N\n-2147483648,N\n-2147483649,"
         "N",
         {"2147483647||N|", "2147483647||N|", "2147483647||N|", "-2147483648||N|",
          "-2147483648||N|"}},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, Parsed(c.text)) << c.text;
}

TEST(ParseFileList, LinesBecomeBaseUrlPlusLine) {
    const std::string longest(kMaxFileListLine, 'x');
    const struct {
        std::string baseUrl, text;
        std::vector<std::string> expected;
    } cases[] = {
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

// Column 1 alone, followed by a name so that the line yields an entry.
TEST(ParseCatalog, NumberColumnIsSignedDecimalClampedTo32Bits) {
    const struct {
        const char* column;
        int32_t expected;
    } cases[] = {
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
    for (const auto& c : cases) {
        const CatalogList parsed = ParseCatalog((std::string(c.column) + ",N").c_str());
        ASSERT_EQ(1u, parsed.size()) << c.column;
        EXPECT_EQ(c.expected, parsed[0].number) << c.column;
    }
}

TEST(FindColumnEnd, StepsOverTwoByteCharacters) {
    const struct {
        std::string text;
        size_t start, expected;
    } cases[] = {
        {"", 0, 0},
        {"abc", 0, 3},
        {"ab,c", 0, 2},
        {"ab\rc", 0, 2},
        {"ab\nc", 0, 2},
        {"a,b,c", 2, 3},
        {"\x83\x5C,", 0, 2},
        {"\x95\x7C\x83\x5C\n", 0, 4},
        {"\x81,", 0, 1},  // a lead byte before a comma is a byte of its own
        {"\xE0\x40\xEF\xFC,", 0, 4},
        {"\xF0\x40,", 0, 2},  // 0xF0 is no lead byte
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, FindColumnEnd(c.text.c_str(), c.start)) << c.text;
}

TEST(FetchHelpers, BodyEndsAtItsFirstZeroAndUrlsAreJoinedAsIs) {
    const uint8_t body[] = {'a', 'b', 0, 'c'};
    const uint8_t noZero[] = {'!', '\r', '\n'};
    const struct {
        const uint8_t* data;
        size_t size;
        std::string text;
    } bodies[] = {
        {body, sizeof body, "ab"},        {body, 1, "a"}, {body + 2, 2, ""}, {nullptr, 0, ""},
        {noZero, sizeof noZero, "!\r\n"},
    };
    for (const auto& b : bodies) EXPECT_EQ(b.text, TextUpToFirstZero(b.data, b.size)) << b.size;

    const std::string catalog = std::string("https://") + VELTA_DOWNLOAD_HOST +
                                "/qrnSupport/download/VELTA/veltadownloadlist";
    EXPECT_EQ(catalog + ".txt", BuildCatalogUrl(0));
    EXPECT_EQ(catalog + ".test.txt", BuildCatalogUrl(1));
    EXPECT_EQ("https://h/p/downloadlist.txt", BuildFileListUrl("https://h/p/"));
    EXPECT_EQ("https://h/pdownloadlist.txt", BuildFileListUrl("https://h/p"));
}

// Failed, Idle, then Connecting, HeadersReceived, Receiving and Sending: a
// transfer that the time limit cut off. Only Failed and Idle have texts of
// their own; the real transport hardly ever ends in Idle or in states 3 and 5.
TEST(CatalogFailureFor, EachUnfinishedStateHasItsMessage) {
    const struct {
        int32_t state;
        CatalogFailure expected;
    } cases[] = {
        {-1, CatalogFailure::Communication}, {0, CatalogFailure::Undefined},
        {1, CatalogFailure::NoResponse},     {2, CatalogFailure::NoResponse},
        {3, CatalogFailure::NoResponse},     {5, CatalogFailure::NoResponse},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, CatalogFailureFor(c.state)) << c.state;
}

}  // namespace
