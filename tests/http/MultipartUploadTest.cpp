// Multipart POST: the parts a request accepts, and the exact bytes the server
// receives, compared with the layout computed independently.
#include "tests/http/FormParts.h"
#include "tests/http/HttpTestSupport.h"

#include <mmsystem.h>

namespace {
using namespace http_test;

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
    ASSERT_EQ(1, r.AddFormData("blob", "blob.bin", small.data(), small.size(), "application/octet-stream"));
    ASSERT_EQ(1, r.AddFormFile("file", "disk.bin", (m_folder + "disk.bin").c_str(), "image/png"));
    ASSERT_EQ(1, r.AddFormField("empty", ""));
    const auto seen = Send();
    EXPECT_EQ("POST /upload HTTP/1.1", seen.RequestLine());
    // One content-type header, its boundary made from the millisecond tick of the send.
    std::string head = seen.head;
    for (char& c : head) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(head.find("\r\ncontent-type:"), head.rfind("\r\ncontent-type:")) << "doubled";
    const std::string type = seen.Header("Content-Type").value_or("");
    const std::string prefix = std::string("multipart/form-data; boundary=") + multipart::kBoundaryHead;
    ASSERT_EQ(prefix, type.substr(0, prefix.size()));
    const std::string digits = type.substr(prefix.size());
    ASSERT_EQ(std::string::npos, digits.find_first_not_of("0123456789"));
    const uint32_t tick = static_cast<uint32_t>(std::stoul(digits));
    EXPECT_LE(tick - m_before, m_after - m_before);  // unsigned: survives a wrap of the counter
    const std::string boundary = multipart::BoundaryFromTick(tick);
    const FormPartList expected = {Part("comment", "hello there"),
                                   Part("blob", small, "blob.bin", "application/octet-stream"),
                                   Part("file", disk, "disk.bin", "image/png"), Part("empty", "")};
    EXPECT_TRUE(multipart::ProduceBody(expected, boundary) == seen.body) << "body differs from the layout";
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
    EXPECT_EQ(0, r.AddFormData("d", "", "abc", 3, "text/plain"));
    ASSERT_TRUE(MakeFile(m_folder + "present.txt", "abc"));
    EXPECT_EQ(0, r.AddFormFile("f", "", (m_folder + "present.txt").c_str(), "text/plain"));
    EXPECT_EQ(0, r.AddFormFile("f", "x.txt", (m_folder + "missing.txt").c_str(), "text/plain"));
    EXPECT_EQ(static_cast<uint32_t>(ERROR_FILE_NOT_FOUND), r.GetLastErrorCode());
    EXPECT_EQ(0, r.AddFormFile("f", "x.txt", (m_folder + "no-dir\\missing.txt").c_str(), "text/plain"));
    EXPECT_EQ(static_cast<uint32_t>(ERROR_PATH_NOT_FOUND), r.GetLastErrorCode());
    EXPECT_EQ(2u, HttpWebRequestProbe::PartCount(r));
    const auto seen = Send();
    const std::string boundary = seen.Header("Content-Type").value_or("").substr(30);
    EXPECT_EQ(multipart::ProduceBody({Part("a", "first"), Part("A", "other case")}, boundary), seen.body);
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
    for (const char* name : {"at.bin", "below.bin", "p0", "p1"}) DeleteFileA((m_folder + name).c_str());
}
}  // namespace
