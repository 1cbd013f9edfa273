// A disk part whose size the platform cannot tell. A named pipe is such a
// file: it opens like one, but its size query fails (Wine answers
// ERROR_INVALID_FUNCTION), so a chunk read of it goes no further than that
// query.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "common/UniqueHandle.h"
#include "http/HttpWebRequest.h"
#include "tests/http/HttpTestSupport.h"

namespace {

HANDLE OpenPipeForReading(const std::string& name) {
    return CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The chunk read fails with the size query's own error, not with that of a
// later step that read on as if the part held 4 GiB.
TEST(DiskPartSize, ChunkOfAPartWhoseSizeCannotBeReadFailsWithTheSizeQuerysError) {
    const std::string name =
        "\\\\.\\pipe\\velta-part-size-" + std::to_string(GetCurrentProcessId());
    // Two instances: one to learn the platform's answer, one for the request.
    UniqueFileHandle servers[2];
    for (UniqueFileHandle& server : servers) {
        server.reset(CreateNamedPipeA(name.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE, 2, 4096,
                                      4096, 0, nullptr));
        ASSERT_TRUE(server) << GetLastError();
    }
    // Something to read, should a read be attempted (Wine takes it before
    // the client connects; Windows refuses, which is as good).
    DWORD written = 0;
    WriteFile(servers[1].get(), "0123456789", 10, &written, nullptr);

    DWORD sizeError = 0;
    {
        const UniqueFileHandle client(OpenPipeForReading(name));
        ASSERT_TRUE(client) << GetLastError();
        LARGE_INTEGER size{};
        if (GetFileSizeEx(client.get(), &size)) GTEST_SKIP() << "this platform tells a pipe's size";
        sizeError = GetLastError();
    }

    FormPart part;
    part.name = "f";
    part.fileName = "pipe.bin";
    part.filePath = name;
    part.size = 10;
    CHttpWebRequest r("http://localhost/");
    uint8_t buffer[1024];
    EXPECT_EQ(0u, HttpWebRequestProbe::ReadPartChunk(r, part, 0, buffer));
    EXPECT_EQ(sizeError, r.GetLastErrorCode());
}

}  // namespace
