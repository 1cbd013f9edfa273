#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "http/MultipartLayout.h"

namespace {
using namespace multipart;

FormPart Field(std::string name, std::string value) {
    FormPart part;
    part.name = std::move(name);
    part.value = std::move(value);
    part.size = part.value.size();
    return part;
}

FormPart MemoryFile(std::string name, std::string fileName, std::string type, std::string content) {
    FormPart part;
    part.name = std::move(name);
    part.fileName = std::move(fileName);
    part.contentType = std::move(type);
    part.data.assign(content.begin(), content.end());
    part.size = part.data.size();
    return part;
}

TEST(MultipartBoundary, IsTheFixedHeadFollowedByTheTickInDecimal) {
    EXPECT_EQ("--qrn7730518246marrow0", BoundaryFromTick(0));
    EXPECT_EQ("--qrn7730518246marrow7", BoundaryFromTick(7));
    EXPECT_EQ("--qrn7730518246marrow1000", BoundaryFromTick(1000));
    EXPECT_EQ("--qrn7730518246marrow4294967295", BoundaryFromTick(0xFFFFFFFFu));
    EXPECT_NE(BoundaryFromTick(12345), BoundaryFromTick(12346));
}

TEST(MultipartBoundary, FramesHeaderLineDelimiterAndCloseDelimiter) {
    const std::string b = BoundaryFromTick(42);
    EXPECT_EQ("content-type: multipart/form-data; boundary=--qrn7730518246marrow42\r\n", HeaderLine(b));
    // Four hyphens before the fixed word on the wire.
    EXPECT_EQ("\r\n----qrn7730518246marrow42\r\n", Delimiter(b));
    EXPECT_EQ("\r\n----qrn7730518246marrow42--\r\n", CloseDelimiter(b));
}

TEST(MultipartPartHeader, PlainFieldAndFilePartCopyTheirTextsUnchanged) {
    struct Case {
        FormPart part;
        std::string header;
    };
    const Case cases[] = {
        {Field("a", "b"), "Content-Disposition: form-data; name=\"a\"\r\n\r\n"},
        {Field("", ""), "Content-Disposition: form-data; name=\"\"\r\n\r\n"},
        {MemoryFile("up", "x.bin", "application/octet-stream", "z"),
         "Content-Disposition: form-data; name=\"up\"; filename=\"x.bin\"\r\n"
         "Content-Type: application/octet-stream\r\n\r\n"},
        // No quoting or escaping: what the caller gave is what goes out.
        {MemoryFile("n\"q", "a\\b \x83\x5C.txt", "", ""),
         "Content-Disposition: form-data; name=\"n\"q\"; filename=\"a\\b \x83\x5C.txt\"\r\n"
         "Content-Type: \r\n\r\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.header, PartHeader(c.part));
}

TEST(MultipartAnnouncedLength, OneByteFieldIsTwiceTheBoundaryPlusFiftyNine) {
    for (uint32_t tick : {0u, 9u, 10u, 123456u, 0xFFFFFFFFu}) {
        const std::string b = BoundaryFromTick(tick);
        const FormPartList parts = {Field("n", "v")};
        const auto total = AnnouncedLength(parts, b);
        ASSERT_TRUE(total.has_value());
        EXPECT_EQ(2 * b.size() + 59, *total) << tick;
        EXPECT_EQ(*total, ProduceBody(parts, b).size());
    }
}

TEST(MultipartAnnouncedLength, EqualsTheBytesProducedAcrossChunkBoundaries) {
    const std::string b = BoundaryFromTick(99);
    for (size_t n : {size_t{0}, size_t{1}, size_t{1023}, size_t{1024}, size_t{1025}, size_t{5000}}) {
        std::string content(n, '\0');
        for (size_t i = 0; i < n; ++i) content[i] = static_cast<char>(i * 7);
        const FormPartList parts = {Field("f", "value"), MemoryFile("file", "a.bin", "x/y", content),
                                    Field("empty", "")};
        const std::string body = ProduceBody(parts, b);
        ASSERT_EQ(AnnouncedLength(parts, b), body.size()) << n;
        // The content sits between its header and the next delimiter, intact.
        const std::string head = PartHeader(parts[1]);
        const size_t at = body.find(head);
        ASSERT_NE(std::string::npos, at);
        EXPECT_EQ(content, body.substr(at + head.size(), n));
        EXPECT_EQ(Delimiter(b), body.substr(at + head.size() + n, Delimiter(b).size()));
    }
}

TEST(MultipartBody, PartsInOrderEachAfterADelimiterThenTheCloseDelimiter) {
    const std::string b = BoundaryFromTick(5);
    const FormPartList parts = {Field("k", "v1"), MemoryFile("f", "n.txt", "text/plain", "DATA"),
                                Field("e", "")};
    const std::string expected =
        "\r\n----qrn7730518246marrow5\r\n"
        "Content-Disposition: form-data; name=\"k\"\r\n\r\nv1"
        "\r\n----qrn7730518246marrow5\r\n"
        "Content-Disposition: form-data; name=\"f\"; filename=\"n.txt\"\r\nContent-Type: text/plain\r\n\r\nDATA"
        "\r\n----qrn7730518246marrow5\r\n"
        // An empty value: the header's empty line runs straight into the close.
        "Content-Disposition: form-data; name=\"e\"\r\n\r\n"
        "\r\n----qrn7730518246marrow5--\r\n";
    EXPECT_EQ(expected, ProduceBody(parts, b));
    EXPECT_EQ("\r\n----qrn7730518246marrow5--\r\n", ProduceBody({}, b));
}

TEST(MultipartAnnouncedLength, RefusesTotalsThatDoNotFitThirtyTwoBits) {
    const std::string b = BoundaryFromTick(1);
    const uint64_t overhead = Delimiter(b).size() + PartHeader(MemoryFile("a", "f", "t", "")).size() +
                              CloseDelimiter(b).size();
    FormPart big = MemoryFile("a", "f", "t", "");
    big.size = kMaxAnnouncedLength - overhead;  // content on disk, announced only
    EXPECT_EQ(kMaxAnnouncedLength, AnnouncedLength({big}, b));
    big.size += 1;
    EXPECT_FALSE(AnnouncedLength({big}, b).has_value());

    // Parts that are each allowed (1.5 GiB) can pass 4 GiB together.
    FormPart disk = MemoryFile("p", "f", "t", "");
    disk.size = 0x60000000;
    FormPartList parts = {disk, disk};
    parts[1].name = "q";
    EXPECT_TRUE(AnnouncedLength(parts, b).has_value());
    parts.push_back(disk);
    parts[2].name = "r";
    EXPECT_FALSE(AnnouncedLength(parts, b).has_value());

    // A size that would wrap the 64-bit sum is refused, not wrapped.
    disk.size = UINT64_MAX;
    EXPECT_FALSE(AnnouncedLength({disk}, b).has_value());
}

TEST(MultipartChunks, MemoryContentComesInChunksOfAtMost1024Bytes) {
    const FormPart part = MemoryFile("f", "n", "t", std::string(2500, 'x'));
    uint8_t buffer[kChunkSize];
    std::vector<size_t> counts;
    for (uint64_t offset = 0;;) {
        const size_t count = CopyMemoryChunk(part, offset, buffer);
        counts.push_back(count);
        if (!count) break;
        offset += count;
    }
    EXPECT_EQ((std::vector<size_t>{1024, 1024, 452, 0}), counts);
    EXPECT_EQ(0u, CopyMemoryChunk(part, 2500, buffer));
    EXPECT_EQ(0u, CopyMemoryChunk(part, 1u << 20, buffer));
    EXPECT_EQ(0u, CopyMemoryChunk(Field("e", ""), 0, buffer));
    const FormPart field = Field("v", "hello");
    ASSERT_EQ(3u, CopyMemoryChunk(field, 2, buffer));
    EXPECT_EQ("llo", std::string(reinterpret_cast<char*>(buffer), 3));
}

TEST(MultipartNames, AreComparedByteForByteCaseSensitive) {
    const FormPartList parts = {Field("name", ""), Field("\x83\x5C", "")};
    EXPECT_TRUE(ContainsName(parts, "name"));
    EXPECT_TRUE(ContainsName(parts, "\x83\x5C"));
    EXPECT_FALSE(ContainsName(parts, "Name"));
    EXPECT_FALSE(ContainsName(parts, "nam"));
    EXPECT_FALSE(ContainsName(parts, "names"));
    EXPECT_FALSE(ContainsName(parts, ""));
    EXPECT_TRUE(ContainsName({Field("", "")}, ""));
}
}  // namespace
