// Multipart POST: the parts a request accepts (before the start only), the
// exact bytes the server receives compared with the layout, the reading of
// disk parts, a disk part that changed before the send, a refusing server.
#include "tests/http/FormParts.h"
#include "tests/http/HttpTestSupport.h"

#include <mmsystem.h>

#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace {
using namespace http_test;
using velta_test::Route;

class MultipartUpload : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        ASSERT_TRUE(velta_test::SetRoute(MakeRoute("/upload", "stored")));
    }
    // Sends the request and returns the one upload the server recorded.
    velta_test::RecordedRequest Send() {
        m_before = timeGetTime();
        r.Start();
        EXPECT_EQ(Completed, WaitEnd(r));
        m_after = timeGetTime();
        const auto seen = velta_test::RecordedRequests("/upload");
        EXPECT_EQ(1u, seen.size());
        return seen.empty() ? velta_test::RecordedRequest{} : seen.front();
    }
    const std::string m_folder = ScratchFolder();
    CHttpWebRequest r{velta_test::HttpUrl("/upload").c_str()};
    uint32_t m_before = 0, m_after = 0;
};

TEST_F(MultipartUpload, ServerReceivesExactlyTheLaidOutBodyAndItsLength) {
    std::string small(3000, '\0'), disk(2500, '\0');
    for (size_t i = 0; i < small.size(); ++i) small[i] = static_cast<char>(i * 131 >> 3);
    for (size_t i = 0; i < disk.size(); ++i) disk[i] = static_cast<char>(i * 7);
    ASSERT_TRUE(MakeFile(m_folder + "disk.bin", disk));
    ASSERT_EQ(1, r.AddFormField("comment", "hello there"));
    ASSERT_EQ(1, r.AddFormData("blob", "blob.bin", small.data(), small.size(),
                               "application/octet-stream"));
    ASSERT_EQ(1, r.AddFormFile("file", "disk.bin", (m_folder + "disk.bin").c_str(), "image/png"));
    ASSERT_EQ(1, r.AddFormField("empty", ""));
    const auto seen = Send();
    EXPECT_EQ("POST /upload HTTP/1.1", seen.RequestLine());
    // One content-type header, its boundary made from the millisecond tick of the send.
    std::string head = seen.head;
    for (char& c : head) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(head.find("\r\ncontent-type:"), head.rfind("\r\ncontent-type:")) << "doubled";
    const std::string type = seen.Header("Content-Type").value_or("");
    const std::string prefix =
        std::string("multipart/form-data; boundary=") + multipart::kBoundaryHead;
    ASSERT_EQ(prefix, type.substr(0, prefix.size()));
    const std::string digits = type.substr(prefix.size());
    ASSERT_EQ(std::string::npos, digits.find_first_not_of("0123456789"));
    const uint32_t tick = static_cast<uint32_t>(std::stoul(digits));
    EXPECT_LE(tick - m_before, m_after - m_before);  // unsigned: survives a wrap of the counter
    const std::string boundary = multipart::BoundaryFromTick(tick);
    const FormPartList expected = {Part("comment", "hello there"),
                                   Part("blob", small, "blob.bin", "application/octet-stream"),
                                   Part("file", disk, "disk.bin", "image/png"), Part("empty", "")};
    EXPECT_TRUE(multipart::ProduceBody(expected, boundary) == seen.body)
        << "body differs from the layout";
    EXPECT_EQ(std::to_string(seen.body.size()), seen.Header("Content-Length").value_or("(none)"));
}

TEST_F(MultipartUpload, DuplicateNamesAndFilePartsWithoutANameOrFileAreRefused) {
    ASSERT_EQ(1, r.AddFormField("a", "first"));
    EXPECT_EQ(0, r.AddFormField("a", "second"));
    EXPECT_EQ(0, r.AddFormData("a", "f.bin", "x", 1, "t/t"));
    // The name is looked up before the file: a missing file leaves no error.
    EXPECT_EQ(0, r.AddFormFile("a", "f.bin", (m_folder + "missing").c_str(), "t/t"));
    EXPECT_EQ(0u, r.GetLastErrorCode());
    EXPECT_EQ(1, r.AddFormField("A", "other case"));
    EXPECT_EQ(1, r.AddFormField("ab", "longer"));
    EXPECT_EQ(0, r.AddFormData("d", "", "abc", 3, "text/plain"));
    ASSERT_TRUE(MakeFile(m_folder + "present.txt", "abc"));
    EXPECT_EQ(0, r.AddFormFile("f", "", (m_folder + "present.txt").c_str(), "text/plain"));
    EXPECT_EQ(0, r.AddFormFile("f", "x.txt", (m_folder + "missing.txt").c_str(), "text/plain"));
    EXPECT_EQ(static_cast<uint32_t>(ERROR_FILE_NOT_FOUND), r.GetLastErrorCode());
    EXPECT_EQ(
        0, r.AddFormFile("f", "x.txt", (m_folder + "no-dir\\missing.txt").c_str(), "text/plain"));
    EXPECT_EQ(static_cast<uint32_t>(ERROR_PATH_NOT_FOUND), r.GetLastErrorCode());
    EXPECT_EQ(3u, HttpWebRequestProbe::PartCount(r));
    const auto seen = Send();
    const std::string boundary = seen.Header("Content-Type").value_or("").substr(30);
    EXPECT_EQ(multipart::ProduceBody(
                  {Part("a", "first"), Part("A", "other case"), Part("ab", "longer")}, boundary),
              seen.body);
}

// Each argument null in turn, the others valid and the file present: the
// part is refused before its name is looked up or its file read, and the
// same call with every argument present is taken.
TEST_F(MultipartUpload, EachNullArgumentAloneIsRefused) {
    ASSERT_TRUE(MakeFile(m_folder + "present.txt", "abc"));
    const std::string path = m_folder + "present.txt";
    const char* p = path.c_str();
    struct Case {
        const char* what;
        std::function<int()> add;
    };
    const Case cases[] = {
        {"field name", [&] { return r.AddFormField(nullptr, "v"); }},
        {"field value", [&] { return r.AddFormField("n", nullptr); }},
        {"file part name", [&] { return r.AddFormFile(nullptr, "x.txt", p, "text/plain"); }},
        {"file name", [&] { return r.AddFormFile("n", nullptr, p, "text/plain"); }},
        {"file path", [&] { return r.AddFormFile("n", "x.txt", nullptr, "text/plain"); }},
        {"file content type", [&] { return r.AddFormFile("n", "x.txt", p, nullptr); }},
        {"data part name", [&] { return r.AddFormData(nullptr, "x.bin", "abc", 3, "t/t"); }},
        {"data file name", [&] { return r.AddFormData("n", nullptr, "abc", 3, "t/t"); }},
        {"data", [&] { return r.AddFormData("n", "x.bin", nullptr, 3, "t/t"); }},
        {"data content type", [&] { return r.AddFormData("n", "x.bin", "abc", 3, nullptr); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(0, c.add());
        EXPECT_EQ(0u, HttpWebRequestProbe::PartCount(r));
        EXPECT_EQ(0u, r.GetLastErrorCode());
    }
    // With a part already listed, a null name must not reach the lookup.
    ASSERT_EQ(1, r.AddFormField("listed", "v"));
    EXPECT_EQ(0, r.AddFormFile(nullptr, "x.txt", p, "text/plain"));
    EXPECT_EQ(0, r.AddFormData(nullptr, "x.bin", "abc", 3, "t/t"));
    EXPECT_EQ(1, r.AddFormFile("file", "x.txt", p, "text/plain"));
    EXPECT_EQ(1, r.AddFormData("data", "x.bin", "abc", 3, "t/t"));
    EXPECT_EQ(1, r.AddFormData("empty", "e.bin", nullptr, 0, "t/t")) << "no bytes need no data";
    EXPECT_EQ(4u, HttpWebRequestProbe::PartCount(r));
}

TEST_F(MultipartUpload, DiskPartsStopBelowTwoGibibytesAndTheWholeBelowFour) {
    ASSERT_TRUE(MakeFile(m_folder + "at.bin", "", 2147483648ull));  // sparse: no disk space
    EXPECT_EQ(0, r.AddFormFile("big", "big.bin", (m_folder + "at.bin").c_str(), "x/y"));
    EXPECT_EQ(223u, r.GetLastErrorCode());
    ASSERT_TRUE(MakeFile(m_folder + "below.bin", "", 2147483647ull));
    ASSERT_EQ(1, r.AddFormFile("big", "big.bin", (m_folder + "below.bin").c_str(), "x/y"));
    EXPECT_EQ(2147483647ull, HttpWebRequestProbe::Find(r, "big")->size);
    for (const char* name : {"p0", "p1"}) {  // 1.5 GiB each: allowed alone, too much together
        ASSERT_TRUE(MakeFile(m_folder + name, "", 0x60000000ull));
        ASSERT_EQ(1, r.AddFormFile(name, "p.bin", (m_folder + name).c_str(), "x/y"));
    }
    r.Start();
    EXPECT_EQ(Failed, WaitEnd(r));
    EXPECT_EQ(223u, r.GetLastErrorCode());
    EXPECT_EQ(0, velta_test::RequestCount("/upload"));
    for (const char* name : {"at.bin", "below.bin", "p0", "p1"})
        DeleteFileA((m_folder + name).c_str());
}

std::string Pattern(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + seed) >> 3);
    return bytes;
}

// Two uploads of one one-byte field, at least 2 ms apart: each announces
// and sends 2 x boundary + 59 bytes, and each takes the boundary of its own
// millisecond.
TEST_F(MultipartUpload, OneByteFieldIsTwiceTheBoundaryPlus59AndEachUploadTakesItsOwnBoundary) {
    std::string boundaries[2];
    for (std::string& boundary : boundaries) {
        ASSERT_TRUE(velta_test::Reset());
        ASSERT_TRUE(velta_test::SetRoute(MakeRoute("/upload")));
        CHttpWebRequest upload(velta_test::HttpUrl("/upload").c_str());
        ASSERT_EQ(1, upload.AddFormField("a", "b"));
        upload.Start();
        ASSERT_EQ(Completed, WaitEnd(upload));
        const auto seen = velta_test::RecordedRequests("/upload");
        ASSERT_EQ(1u, seen.size());
        boundary = seen[0].Header("Content-Type").value_or("").substr(30);
        const std::string digits = boundary.substr(std::strlen(multipart::kBoundaryHead));
        EXPECT_TRUE(digits == "0" || digits[0] != '0') << "leading zero in " << digits;
        const size_t expected = 2 * boundary.size() + 59;
        EXPECT_EQ(std::to_string(expected), seen[0].Header("Content-Length").value_or("(none)"));
        EXPECT_EQ(expected, seen[0].body.size());
        const uint32_t start = timeGetTime();
        ASSERT_TRUE(WaitUntil([&] { return timeGetTime() - start >= 2; }));
    }
    EXPECT_NE(boundaries[0], boundaries[1]);
}

TEST_F(MultipartUpload, DiskPartIsReadAnewPer1024ByteChunk) {
    const std::string content = Pattern(2500, 3);
    const std::string path = m_folder + "chunks.bin";
    ASSERT_TRUE(MakeFile(path, content));
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

// A half-sent body would leave a connection inside it that WinINet may hand
// to the next request for the same server, which then waits for an answer
// that never comes. So a part that changed is caught before the first byte,
// and the request after it still gets through.
TEST_F(MultipartUpload, DiskPartThatChangedSinceItWasAddedFailsBeforeAnyByteIsSent) {
    const struct {
        const char* what;
        std::string after;  // the content when sending
        bool remove;
        uint32_t error;
    } cases[] = {
        {"grown", Pattern(1500, 4), false, ERROR_FILE_INVALID},
        {"shrunk", Pattern(500, 4), false, ERROR_HANDLE_EOF},
        {"removed", "", true, ERROR_FILE_NOT_FOUND},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(velta_test::Reset());
        ASSERT_TRUE(velta_test::SetRoute(MakeRoute("/upload")));
        ASSERT_TRUE(velta_test::SetRoute(MakeRoute("/after", "clean")));
        // A kept-alive connection to the server, for a half-sent body to poison.
        {
            CHttpWebRequest warm(velta_test::HttpUrl("/after").c_str());
            warm.Start();
            ASSERT_EQ(Completed, WaitEnd(warm));
        }
        const std::string path = m_folder + c.what + ".bin";
        ASSERT_TRUE(MakeFile(path, Pattern(1000, 4)));
        {
            CHttpWebRequest upload(velta_test::HttpUrl("/upload").c_str());
            ASSERT_EQ(1, upload.AddFormFile("f", "f.bin", path.c_str(), "x/y"));
            if (c.remove) {
                ASSERT_TRUE(DeleteFileA(path.c_str()));
            } else {
                ASSERT_TRUE(MakeFile(path, c.after));
            }
            upload.Start();
            EXPECT_EQ(Failed, WaitEnd(upload));
            EXPECT_EQ(c.error, upload.GetLastErrorCode());
        }
        EXPECT_EQ(0, velta_test::RequestCount("/upload")) << "part of the body went out";
        auto next = std::make_unique<CHttpWebRequest>(velta_test::HttpUrl("/after").c_str());
        next->Start();
        const RequestState end = next->Wait(20000);
        EXPECT_EQ(Completed, end) << "the next request did not get through";
        // One stuck on a poisoned connection would block its destructor for
        // ever; it is left to the end of the process instead.
        if (end != Completed && end != Failed) {
            next.release();
            return;
        }
    }
}

// The worker reads the parts without a lock once started.
TEST_F(MultipartUpload, PartsCannotBeAddedOnceStarted) {
    const std::string path = m_folder + "late.txt";
    ASSERT_TRUE(MakeFile(path, "late"));
    ASSERT_EQ(1, r.AddFormField("a", "1"));
    const auto seen = Send();
    EXPECT_EQ(0, r.AddFormField("b", "2"));
    EXPECT_EQ(0, r.AddFormData("c", "c.bin", "3", 1, "x/y"));
    EXPECT_EQ(0, r.AddFormFile("d", "d.txt", path.c_str(), "text/plain"));
    const std::string boundary = seen.Header("Content-Type").value_or("").substr(30);
    EXPECT_EQ(multipart::ProduceBody({Part("a", "1")}, boundary), seen.body);
}

TEST_F(MultipartUpload, ServerRefusalFailsWithItsStatus) {
    Route refusal = MakeRoute("/upload");
    refusal.status = 413;
    ASSERT_TRUE(velta_test::SetRoute(refusal));
    CHttpWebRequest upload(velta_test::HttpsUrl("/upload").c_str());
    ASSERT_EQ(1, upload.AddFormData("d", "d.bin", "12345", 5, "x/y"));
    upload.Start();
    EXPECT_EQ(Failed, WaitEnd(upload));
    EXPECT_EQ(413u, upload.GetStatusCode());
    EXPECT_EQ(1, velta_test::RequestCount("/upload"));
}
}  // namespace
