// Multipart/form-data POST: the parts a request accepts, and the exact bytes
// the server receives, compared with the layout computed independently.
#include <gtest/gtest.h>
#include <windows.h>
#include <mmsystem.h>

#include <cstdlib>
#include <memory>
#include <cstring>
#include <vector>

#include "http/MultipartLayout.h"
#include "tests/http/HttpTestSupport.h"
#include "tests/support/TestServer.h"

namespace {
using namespace http_test;
using velta_test::Route;

class MultipartUpload : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(velta_test::Reset()) << velta_test::LastError();
        Route route;
        route.target = "/upload";
        route.body = "stored";
        ASSERT_TRUE(velta_test::SetRoute(route));
        m_folder = ScratchFolder();
    }
    std::string m_folder;
};

FormPart Field(const std::string& name, const std::string& value) {
    FormPart part;
    part.name = name;
    part.value = value;
    part.size = value.size();
    return part;
}

FormPart FilePart(const std::string& name, const std::string& fileName, const std::string& type,
                  const std::string& content) {
    FormPart part;
    part.name = name;
    part.fileName = fileName;
    part.contentType = type;
    part.data.assign(content.begin(), content.end());
    part.size = content.size();
    return part;
}

std::string Pattern(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + seed) >> 3);
    return bytes;
}

size_t CountHeaderLines(const std::string& head, const std::string& lowerName) {
    size_t count = 0;
    size_t at = 0;
    while ((at = head.find("\r\n", at)) != std::string::npos) {
        at += 2;
        std::string line = head.substr(at, lowerName.size() + 1);
        for (char& c : line) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        if (line == lowerName + ":") ++count;
    }
    return count;
}

// Sends the request and returns the one upload the server recorded.
velta_test::RecordedRequest Upload(CHttpWebRequest& r, uint32_t* tickBefore, uint32_t* tickAfter) {
    *tickBefore = timeGetTime();
    r.Start();
    EXPECT_EQ(Completed, WaitEnd(r));
    *tickAfter = timeGetTime();
    const auto seen = velta_test::RecordedRequests("/upload");
    EXPECT_EQ(1u, seen.size());
    return seen.empty() ? velta_test::RecordedRequest{} : seen[0];
}

std::string BoundaryOf(const velta_test::RecordedRequest& seen) {
    const std::string type = seen.Header("Content-Type").value_or("");
    const std::string prefix = "multipart/form-data; boundary=";
    if (type.compare(0, prefix.size(), prefix) != 0) return std::string();
    return type.substr(prefix.size());
}

void ExpectBoundaryFromTick(const std::string& boundary, uint32_t before, uint32_t after) {
    const std::string head = multipart::kBoundaryHead;
    ASSERT_EQ(head, boundary.substr(0, head.size()));
    const std::string digits = boundary.substr(head.size());
    ASSERT_FALSE(digits.empty());
    ASSERT_EQ(std::string::npos, digits.find_first_not_of("0123456789"));
    EXPECT_TRUE(digits == "0" || digits[0] != '0') << digits;
    const uint32_t tick = static_cast<uint32_t>(std::strtoul(digits.c_str(), nullptr, 10));
    // Unsigned differences survive a wrap of the millisecond counter.
    EXPECT_LE(tick - before, after - before) << tick << " not in [" << before << ", " << after << "]";
}

TEST_F(MultipartUpload, ServerReceivesExactlyTheLaidOutBody) {
    const std::string small = Pattern(3000, 1);
    const std::string diskContent = Pattern(2500, 2);
    const std::string diskPath = m_folder + "disk.bin";
    ASSERT_TRUE(WriteWholeFile(diskPath, diskContent));

    CHttpWebRequest r(velta_test::HttpUrl("/upload").c_str());
    ASSERT_EQ(1, r.AddFormField("comment", "hello there"));
    ASSERT_EQ(1, r.AddFormData("blob", "blob.bin", small.data(), small.size(), "application/octet-stream"));
    ASSERT_EQ(1, r.AddFormFile("file", "disk.bin", diskPath.c_str(), "image/png"));
    ASSERT_EQ(1, r.AddFormField("empty", ""));
    uint32_t before, after;
    const auto seen = Upload(r, &before, &after);
    EXPECT_EQ("POST /upload HTTP/1.1", seen.RequestLine());
    EXPECT_TRUE(seen.complete);
    EXPECT_EQ(1u, CountHeaderLines(seen.head, "content-type"));
    const std::string boundary = BoundaryOf(seen);
    ExpectBoundaryFromTick(boundary, before, after);

    const FormPartList expected = {Field("comment", "hello there"),
                                   FilePart("blob", "blob.bin", "application/octet-stream", small),
                                   FilePart("file", "disk.bin", "image/png", diskContent), Field("empty", "")};
    const std::string body = multipart::ProduceBody(expected, boundary);
    EXPECT_EQ(body.size(), seen.body.size());
    EXPECT_TRUE(body == seen.body) << "body differs from the layout";
    EXPECT_EQ(std::to_string(*multipart::AnnouncedLength(expected, boundary)),
              seen.Header("Content-Length").value_or("(none)"));
    // An empty value: the header's empty line runs straight into the close delimiter.
    const std::string tail = "name=\"empty\"\r\n\r\n" + multipart::CloseDelimiter(boundary);
    EXPECT_EQ(tail, seen.body.substr(seen.body.size() - tail.size()));
    EXPECT_EQ(0u, HttpWebRequestProbe::PartCount(r));
}

TEST_F(MultipartUpload, OneByteFieldAnnouncesTwiceTheBoundaryPlusFiftyNine) {
    CHttpWebRequest r(velta_test::HttpUrl("/upload").c_str());
    ASSERT_EQ(1, r.AddFormField("a", "b"));
    uint32_t before, after;
    const auto seen = Upload(r, &before, &after);
    const std::string boundary = BoundaryOf(seen);
    ExpectBoundaryFromTick(boundary, before, after);
    const size_t expected = 2 * boundary.size() + 59;
    EXPECT_EQ(std::to_string(expected), seen.Header("Content-Length").value_or("(none)"));
    EXPECT_EQ(expected, seen.body.size());
}

TEST_F(MultipartUpload, ExistingContentTypeHeaderIsReplacedNotDoubled) {
    // Two uploads in a row: each carries one content-type header, and a later
    // millisecond gives a later boundary.
    std::string boundaries[2];
    for (std::string& boundary : boundaries) {
        ASSERT_TRUE(velta_test::Reset());
        Route route;
        route.target = "/upload";
        ASSERT_TRUE(velta_test::SetRoute(route));
        CHttpWebRequest r(velta_test::HttpUrl("/upload").c_str());
        ASSERT_EQ(1, r.AddFormField("k", "v"));
        uint32_t before, after;
        const auto seen = Upload(r, &before, &after);
        EXPECT_EQ(1u, CountHeaderLines(seen.head, "content-type"));
        boundary = BoundaryOf(seen);
        const uint32_t start = timeGetTime();
        ASSERT_TRUE(WaitUntil([&] { return timeGetTime() - start >= 2; }));
    }
    EXPECT_NE(boundaries[0], boundaries[1]);
}

TEST_F(MultipartUpload, DuplicateNamesAreRefusedAndChangeNothing) {
    CHttpWebRequest r(velta_test::HttpUrl("/upload").c_str());
    ASSERT_EQ(1, r.AddFormField("a", "first"));
    EXPECT_EQ(0, r.AddFormField("a", "second"));
    EXPECT_EQ(0, r.AddFormData("a", "f.bin", "x", 1, "t/t"));
    // The name is looked up before the file: a missing file leaves no error.
    EXPECT_EQ(0, r.AddFormFile("a", "f.bin", (m_folder + "missing").c_str(), "t/t"));
    EXPECT_EQ(0u, r.GetLastErrorCode());
    EXPECT_EQ(1, r.AddFormField("A", "other case"));
    EXPECT_EQ(2u, HttpWebRequestProbe::PartCount(r));
    uint32_t before, after;
    const auto seen = Upload(r, &before, &after);
    const std::string boundary = BoundaryOf(seen);
    EXPECT_EQ(multipart::ProduceBody({Field("a", "first"), Field("A", "other case")}, boundary), seen.body);
}

TEST_F(MultipartUpload, FilePartsNeedAFileNameAndAnOpenableFile) {
    const std::string path = m_folder + "present.txt";
    ASSERT_TRUE(WriteWholeFile(path, "abc"));
    CHttpWebRequest r(velta_test::HttpUrl("/upload").c_str());
    EXPECT_EQ(0, r.AddFormFile("f", "", path.c_str(), "text/plain"));
    EXPECT_EQ(0, r.AddFormData("d", "", "abc", 3, "text/plain"));
    EXPECT_EQ(0u, HttpWebRequestProbe::PartCount(r));
    EXPECT_EQ(0, r.AddFormFile("f", "x.txt", (m_folder + "missing.txt").c_str(), "text/plain"));
    EXPECT_EQ(static_cast<uint32_t>(ERROR_FILE_NOT_FOUND), r.GetLastErrorCode());
    EXPECT_EQ(0, r.AddFormFile("f", "x.txt", (m_folder + "no-dir\\missing.txt").c_str(), "text/plain"));
    EXPECT_EQ(static_cast<uint32_t>(ERROR_PATH_NOT_FOUND), r.GetLastErrorCode());
    EXPECT_EQ(1, r.AddFormFile("f", "x.txt", path.c_str(), "text/plain"));
    EXPECT_EQ(1u, HttpWebRequestProbe::PartCount(r));
}

TEST_F(MultipartUpload, DiskPartsStopJustBelowTwoGibibytes) {
    const std::string at = m_folder + "at-limit.bin";
    const std::string below = m_folder + "below-limit.bin";
    ASSERT_TRUE(MakeSparseFile(at, 2147483648ull));
    ASSERT_TRUE(MakeSparseFile(below, 2147483647ull));
    CHttpWebRequest r(velta_test::HttpUrl("/upload").c_str());
    EXPECT_EQ(0, r.AddFormFile("big", "big.bin", at.c_str(), "x/y"));
    EXPECT_EQ(223u, r.GetLastErrorCode());
    EXPECT_EQ(1, r.AddFormFile("big", "big.bin", below.c_str(), "x/y"));
    const FormPart* part = HttpWebRequestProbe::Find(r, "big");
    ASSERT_NE(nullptr, part);
    EXPECT_EQ(2147483647ull, part->size);
    DeleteFileA(at.c_str());
    DeleteFileA(below.c_str());
}

TEST_F(MultipartUpload, BodyBeyondThirtyTwoBitsIsNotSent) {
    CHttpWebRequest r(velta_test::HttpUrl("/upload").c_str());
    std::string paths[3];
    for (int i = 0; i < 3; ++i) {
        paths[i] = m_folder + "part" + std::to_string(i) + ".bin";
        ASSERT_TRUE(MakeSparseFile(paths[i], 0x60000000ull));  // 1.5 GiB each
        const std::string name = "p" + std::to_string(i);
        ASSERT_EQ(1, r.AddFormFile(name.c_str(), "p.bin", paths[i].c_str(), "x/y"));
    }
    r.Start();
    EXPECT_EQ(Failed, WaitEnd(r));
    EXPECT_EQ(223u, r.GetLastErrorCode());
    EXPECT_EQ(0, velta_test::RequestCount("/upload"));
    for (const std::string& path : paths) DeleteFileA(path.c_str());
}

TEST_F(MultipartUpload, DiskPartIsReadAnewPer1024ByteChunk) {
    const std::string content = Pattern(2500, 3);
    const std::string path = m_folder + "chunks.bin";
    ASSERT_TRUE(WriteWholeFile(path, content));
    CHttpWebRequest r(velta_test::HttpUrl("/upload").c_str());
    ASSERT_EQ(1, r.AddFormFile("f", "c.bin", path.c_str(), "x/y"));
    const FormPart* part = HttpWebRequestProbe::Find(r, "f");
    ASSERT_NE(nullptr, part);
    uint8_t buffer[2048];
    std::string read;
    std::vector<size_t> counts;
    for (uint64_t offset = 0;;) {
        std::memset(buffer, 0xEE, sizeof(buffer));
        const size_t count = HttpWebRequestProbe::ReadPartChunk(r, *part, offset, buffer);
        counts.push_back(count);
        // Nothing past the chunk is touched, and the file is not kept open.
        EXPECT_EQ(0xEE, buffer[1024]);
        EXPECT_TRUE(NobodyHoldsOpen(path));
        if (!count) break;
        read.append(reinterpret_cast<char*>(buffer), count);
        offset += count;
    }
    EXPECT_EQ((std::vector<size_t>{1024, 1024, 452, 0}), counts);
    EXPECT_EQ(content, read);
    EXPECT_EQ(1024u, HttpWebRequestProbe::ReadPartChunk(r, *part, 1476, buffer));
    EXPECT_EQ(0, std::memcmp(content.data() + 1476, buffer, 1024));
}

TEST_F(MultipartUpload, DiskPartThatChangedSinceAddingFailsBeforeAnythingIsSent) {
    struct Case {
        const char* what;
        std::string after;  // content when sending; empty with remove
        bool remove;
        uint32_t error;
    };
    const Case cases[] = {
        {"grown", Pattern(1500, 4), false, ERROR_FILE_INVALID},
        {"shrunk", Pattern(500, 4), false, ERROR_HANDLE_EOF},
        {"removed", "", true, ERROR_FILE_NOT_FOUND},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(velta_test::Reset());
        Route upload;
        upload.target = "/upload";
        ASSERT_TRUE(velta_test::SetRoute(upload));
        Route after;
        after.target = "/after";
        after.body = "clean";
        ASSERT_TRUE(velta_test::SetRoute(after));
        // A kept-alive connection to the server, so that a half-sent body
        // would have a connection to poison for the request that follows.
        {
            CHttpWebRequest warm(velta_test::HttpUrl("/after").c_str());
            warm.Start();
            ASSERT_EQ(Completed, WaitEnd(warm));
        }
        const std::string path = m_folder + c.what + std::string(".bin");
        ASSERT_TRUE(WriteWholeFile(path, Pattern(1000, 4)));
        {
            CHttpWebRequest r(velta_test::HttpUrl("/upload").c_str());
            ASSERT_EQ(1, r.AddFormFile("f", "f.bin", path.c_str(), "x/y"));
            if (c.remove)
                ASSERT_TRUE(DeleteFileA(path.c_str()));
            else
                ASSERT_TRUE(WriteWholeFile(path, c.after));
            r.Start();
            EXPECT_EQ(Failed, WaitEnd(r)) << c.what;
            EXPECT_EQ(c.error, r.GetLastErrorCode()) << c.what;
        }
        EXPECT_EQ(0, velta_test::RequestCount("/upload")) << c.what << ": part of the body went out";
        auto next = std::make_unique<CHttpWebRequest>(velta_test::HttpUrl("/after").c_str());
        next->Start();
        const RequestState end = WaitEnd(*next, 20000);
        EXPECT_EQ(Completed, end) << c.what << ": the next request did not get through";
        // A request stuck on a poisoned connection would block its destructor
        // for ever; leave it to the end of the process instead.
        if (end != Completed && end != Failed) {
            next.release();
            return;
        }
    }
}

TEST_F(MultipartUpload, ServerRefusalFailsWithItsStatus) {
    Route route;
    route.target = "/upload";
    route.status = 413;
    ASSERT_TRUE(velta_test::SetRoute(route));
    CHttpWebRequest r(velta_test::HttpsUrl("/upload").c_str());
    ASSERT_EQ(1, r.AddFormData("d", "d.bin", "12345", 5, "x/y"));
    r.Start();
    EXPECT_EQ(Failed, WaitEnd(r));
    EXPECT_EQ(413u, r.GetStatusCode());
    EXPECT_EQ(1, velta_test::RequestCount("/upload"));
}

TEST_F(MultipartUpload, PartsCannotBeAddedOnceStarted) {
    CHttpWebRequest r(velta_test::HttpUrl("/upload").c_str());
    ASSERT_EQ(1, r.AddFormField("a", "1"));
    r.Start();
    EXPECT_EQ(0, r.AddFormField("b", "2"));
    EXPECT_EQ(0, r.AddFormData("c", "c.bin", "3", 1, "x/y"));
    EXPECT_EQ(Completed, WaitEnd(r)) << r.GetStatusCode() << " " << r.GetLastErrorCode();
}
}  // namespace
