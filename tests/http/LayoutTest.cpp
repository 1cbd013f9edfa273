// The portable texts of a request: the Content-Length readings and the
// multipart body, byte for byte.
#include <gtest/gtest.h>

#include <limits>
#include <optional>

#include "http/ContentLength.h"
#include "tests/http/FormParts.h"

namespace {
using namespace multipart;
using std::nullopt;
constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

// Parsing reads blanks, a sign and digits up to the first other byte and
// clamps instead of wrapping; only a plain number holds the body to a length.
TEST(ContentLength, ParsingStopsAtTheFirstOtherByteAndClampsOnlyPlainNumbersAreExact) {
    struct Case {
        const char* text;
        int64_t parsed;
        std::optional<int64_t> exact;
    } const cases[] = {
        {"0", 0, 0},
        {"1234", 1234, 1234},
        {"  \t 42", 42, 42},
        {"\r\n\v\f7", 7, 7},
        {" 1024 ", 1024, 1024},
        {"+15", 15, 15},
        {"00012", 12, 12},
        {"4294967296", 4294967296LL, 4294967296LL},
        {"9223372036854775807", kMax, kMax},
        {"-15", -15, nullopt},
        {"-1", -1, nullopt},
        {"12abc", 12, nullopt},
        {"12 34", 12, nullopt},
        {"-9223372036854775808", kMin, nullopt},
        {"9223372036854775808", kMax, nullopt},
        {"99999999999999999999999", kMax, nullopt},
        {"-9223372036854775809", kMin, nullopt},
        {"-99999999999999999999999", kMin, nullopt},
        {"", 0, nullopt},
        {"abc", 0, nullopt},
        {" ", 0, nullopt},
        {"+", 0, nullopt},
        {"- 5", 0, nullopt},
        {"+-5", 0, nullopt},
        {"++1", 0, nullopt},
        {"x12", 0, nullopt},
        {"\xff", 0, nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.parsed, ParseContentLength(c.text)) << c.text;
        EXPECT_EQ(c.exact, ExactContentLength(c.text)) << c.text;
    }
}

TEST(Multipart, BoundaryFramesTheHeaderLineAndDelimiters) {
    EXPECT_EQ("--qrn7730518246marrow0", BoundaryFromTick(0));
    EXPECT_EQ("--qrn7730518246marrow4294967295", BoundaryFromTick(0xFFFFFFFFu));
    const std::string b = BoundaryFromTick(42);
    EXPECT_EQ("content-type: multipart/form-data; boundary=--qrn7730518246marrow42\r\n",
              HeaderLine(b));
    EXPECT_EQ("\r\n----qrn7730518246marrow42\r\n", Delimiter(b));  // four hyphens on the wire
    EXPECT_EQ("\r\n----qrn7730518246marrow42--\r\n", CloseDelimiter(b));
}

TEST(Multipart, PartHeadersCopyTheCallersTextsWithoutQuotingOrEscaping) {
    EXPECT_EQ("Content-Disposition: form-data; name=\"\"\r\n\r\n", PartHeader(Part("", "")));
    EXPECT_EQ(
        "Content-Disposition: form-data; name=\"n\"q\"; filename=\"a\\b "
        "\x83\x5C.txt\"\r\nContent-Type: \r\n\r\n",
        PartHeader(Part("n\"q", "", "a\\b \x83\x5C.txt")));
}

TEST(Multipart, BodyIsEachPartAfterADelimiterThenTheCloseDelimiter) {
    const std::string b = BoundaryFromTick(5);
    const FormPartList parts = {Part("k", "v1"), Part("f", "DATA", "n.txt", "text/plain"),
                                Part("e", "")};
    const std::string expected =
        "\r\n----qrn7730518246marrow5\r\nContent-Disposition: form-data; name=\"k\"\r\n\r\nv1"
        "\r\n----qrn7730518246marrow5\r\nContent-Disposition: form-data; name=\"f\"; "
        "filename=\"n.txt\"\r\n"
        "Content-Type: text/plain\r\n\r\nDATA"
        "\r\n----qrn7730518246marrow5\r\nContent-Disposition: form-data; name=\"e\"\r\n\r\n"
        "\r\n----qrn7730518246marrow5--\r\n";
    EXPECT_EQ(expected, ProduceBody(parts, b));
    EXPECT_EQ(expected.size(), AnnouncedLength(parts, b));
    EXPECT_EQ("\r\n----qrn7730518246marrow5--\r\n", ProduceBody({}, b));
    for (uint32_t tick :
         {0u, 9u, 10u, 0xFFFFFFFFu}) {  // a one-byte field announces 2 x boundary + 59
        const std::string bt = BoundaryFromTick(tick);
        EXPECT_EQ(2 * bt.size() + 59, AnnouncedLength({Part("n", "v")}, bt)) << tick;
    }
}

TEST(Multipart, AnnouncedLengthRefusesTotalsBeyondThirtyTwoBits) {
    const std::string b = BoundaryFromTick(1);
    FormPart big = Part("a", "", "f", "t");
    big.size = kMaxAnnouncedLength - Delimiter(b).size() - PartHeader(big).size() -
               CloseDelimiter(b).size();
    EXPECT_EQ(kMaxAnnouncedLength, AnnouncedLength({big}, b));
    big.size += 1;
    EXPECT_EQ(nullopt, AnnouncedLength({big}, b));
    big.size = 0x60000000;  // 1.5 GiB parts, each allowed, pass 4 GiB together
    EXPECT_NE(nullopt, AnnouncedLength({big, big}, b));
    EXPECT_EQ(nullopt, AnnouncedLength({big, big, big}, b));
    big.size = UINT64_MAX;  // refused, not wrapped
    EXPECT_EQ(nullopt, AnnouncedLength({big}, b));
}

TEST(Multipart, MemoryContentComesInChunksOfAtMost1024Bytes) {
    const FormPart part = Part("f", std::string(2500, 'x'), "n", "t");
    uint8_t buffer[kChunkSize];
    EXPECT_EQ(1024u, CopyMemoryChunk(part, 0, buffer));
    EXPECT_EQ(452u, CopyMemoryChunk(part, 2048, buffer));
    EXPECT_EQ(0u, CopyMemoryChunk(part, 2500, buffer));
    EXPECT_EQ(0u, CopyMemoryChunk(part, 1u << 20, buffer));
    ASSERT_EQ(3u, CopyMemoryChunk(Part("v", "hello"), 2, buffer));
    EXPECT_EQ("llo", std::string(reinterpret_cast<char*>(buffer), 3));
}
}  // namespace
