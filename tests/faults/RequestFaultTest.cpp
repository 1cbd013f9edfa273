// One CHttpWebRequest against a misbehaving loopback server: bodies cut
// short of or running past their length, resets, error statuses, broken and
// oversized heads, stalls, a slow and an endless body. Each case must end in
// the right state within its bound and give back its handles and threads.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "FaultSupport.h"
#include "http/HttpWebRequest.h"

namespace {

using namespace velta_test;
using velta_test::Route;

constexpr int64_t kBody = 600000, kUnchecked = INT64_MIN;
constexpr uint32_t kNot200 = 0xFFFFFFFFu;  // any status but 200

class RequestFaults : public testing::Test {
protected:
    static void SetUpTestSuite() { WarmUp(); }
    void SetUp() override { ASSERT_TRUE(velta_test::Reset()) << velta_test::LastError(); }
    velta_test::ScratchFolder m_folder{"faults-req"};
};

// The bytes kept are the pattern's first `count`, or at most -count of them.
void ExpectPatternPrefix(const std::string& got, int64_t count) {
    if (count >= 0) {
        EXPECT_EQ(got.size(), static_cast<size_t>(count));
    }
    EXPECT_LE(got.size(), static_cast<size_t>(count >= 0 ? count : -count));
    EXPECT_FALSE(velta_test::FirstPatternMismatch(got.data(), got.size()).has_value());
}

Route Tweaked(int64_t size, void (*tweak)(Route&)) {
    Route r = PatternRoute("/faults/broken.bin", size);
    tweak(r);
    return r;
}

// The bytes are the whole answer, head included; the server closes after them.
Route Raw(const std::string& bytes, const std::string& target = "/faults/broken.bin") {
    Route r;
    r.target = target;
    r.raw = true;
    r.body = bytes;
    return r;
}

// One row: the answer, the state it must end in, the status kept (Wine
// clamps a status too large to 2147483647, hence kNot200) and the body:
// Completed gives exactly `kept` pattern bytes; Failed leaves at most -kept
// of them in the file.
struct Case {
    std::string what;
    Route route;
    RequestState state;
    uint32_t status;
    int64_t kept;
};

// Runs every row into memory and into a file, over HTTP and HTTPS, against
// one baseline of handles and threads, so that small leaks add up.
void ExpectEachEnds(const std::vector<Case>& cases, const std::string& path) {
    const Counters before = ReadCounters();
    for (const Case& c : cases) {
        for (bool https : {false, true}) {
            for (bool toFile : {false, true}) {
                SCOPED_TRACE(c.what + (https ? " https" : " http") +
                             (toFile ? "/file" : "/memory"));
                ASSERT_TRUE(velta_test::Reset());
                ASSERT_TRUE(velta_test::SetRoute(c.route));
                DeleteFileA(path.c_str());
                std::string body;
                {
                    const std::string url = https ? velta_test::HttpsUrl(c.route.target)
                                                  : velta_test::HttpUrl(c.route.target);
                    CHttpWebRequest request(url.c_str());
                    if (toFile) {
                        EXPECT_EQ(request.StartToFile(path.c_str()), 1);
                    } else {
                        request.Start();
                    }
                    const RequestState state = request.Wait(60000);
                    ASSERT_TRUE(state == Failed || state == Completed) << "still " << state;
                    EXPECT_EQ(state, c.state);
                    if (c.status == kNot200) {
                        EXPECT_NE(request.GetStatusCode(), 200u);
                    } else {
                        EXPECT_EQ(request.GetStatusCode(), c.status);
                    }
                    uint64_t received = 0;
                    EXPECT_EQ(request.GetReceivedSize(&received) == 1, state == Completed)
                        << "Failed answers no size";
                    if (state == Completed) {
                        EXPECT_EQ(received, static_cast<uint64_t>(c.kept));
                    }
                    const uint8_t* data = nullptr;
                    const uint32_t size =
                        toFile || state != Completed ? 0 : request.GetResponseData(&data);
                    if (size > 0) body.assign(reinterpret_cast<const char*>(data), size);
                }
                if (toFile) body = velta_test::ReadWholeFile(path);
                if (c.kept != kUnchecked && (toFile || c.state == Completed))
                    ExpectPatternPrefix(body, c.kept);
                ExpectCountersBack(before);
            }
        }
    }
}

// A body is whole when the server's data ends and, if a Content-Length was
// sent, exactly that many bytes arrived. Without a length the close ends the
// body. A body can run past its length two ways under WinINet: bytes that
// came with the head are handed out whole (Wine), and a chunked body is read
// by its chunks, whatever length is announced beside them.
TEST_F(RequestFaults, BodiesShortOfOrPastTheirLengthFailAndWholeOnesComplete) {
    std::vector<Case> cases;
    // Cut at the edges of one 4,096-byte read and in the middle.
    for (int64_t at : std::vector<int64_t>{0, 1, 4095, 4096, 4097, kBody / 2}) {
        Route r = PatternRoute("/faults/length.bin", kBody);
        r.closeAfter = at;
        cases.push_back({"closed at " + std::to_string(at) + " with length", r, Failed, 200, -at});
        r.length = velta_test::Length::None;
        cases.push_back(
            {"closed at " + std::to_string(at) + " without length", r, Completed, 200, at});
    }
    Route chunked = PatternRoute("/faults/length.bin", kBody);
    chunked.chunked = velta_test::Chunked::Valid;
    chunked.chunkSize = 10000;
    cases.push_back({"chunked without length", chunked, Completed, 200, kBody});
    const struct {
        const char* what;
        int64_t length;
        RequestState state;
        int64_t kept;
    } lengths[] = {
        {"chunked with its length", kBody, Completed, kBody},
        {"chunked past its length", 100000, Failed, -100000},
        {"chunked short of its length", kBody + 1, Failed, -kBody},
    };
    for (const auto& l : lengths) {
        Route r = chunked;
        r.headers = {{"Content-Length", std::to_string(l.length)}};
        cases.push_back({l.what, r, l.state, 200, l.kept});
    }
    std::string extra = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\n";
    for (char b = 0; b < 10; ++b) extra += b;  // the pattern's first 10 bytes
    cases.push_back(
        {"10 bytes after a length of 5", Raw(extra, "/faults/length.bin"), Failed, 200, -5});
    ExpectEachEnds(cases, m_folder.Path() + "body.bin");
}

// Answers that end the exchange before or instead of a usable body; an
// oversized but well-formed head is still a normal answer.
TEST_F(RequestFaults, ResetsErrorStatusesAndBrokenHeadsFailAndAnOversizedHeadCompletes) {
    const std::vector<Case> cases = {
        {"reset after 100000", Tweaked(kBody, [](Route& r) { r.resetAfter = 100000; }), Failed, 200,
         -100000},
        {"reset instead of an answer", Tweaked(kBody, [](Route& r) { r.resetNow = true; }), Failed,
         0, kUnchecked},
        {"closed instead of an answer", Tweaked(kBody, [](Route& r) { r.drop = true; }), Failed, 0,
         kUnchecked},
        {"500", Tweaked(5000, [](Route& r) { r.status = 500; }), Failed, 500, kUnchecked},
        {"503",
         Tweaked(5000,
                 [](Route& r) {
                     r.status = 503;
                     r.headers = {{"Retry-After", "120"}};
                 }),
         Failed, 503, kUnchecked},
        {"status not a number", Raw("HTTP/1.1 abc OK\r\nContent-Length: 2\r\n\r\nok"), Failed, 0,
         kUnchecked},
        {"status too large", Raw("HTTP/1.1 99999999999 OK\r\nContent-Length: 2\r\n\r\nok"), Failed,
         kNot200, kUnchecked},
        {"nothing but a close", Raw(""), Failed, 0, kUnchecked},
        {"one header of 1 MiB",
         Tweaked(5000,
                 [](Route& r) {
                     r.headers = {{"X-Filler", std::string(1048576, 'a')}};
                 }),
         Completed, 200, 5000},
    };
    ExpectEachEnds(cases, m_folder.Path() + "body.bin");
}

// Destroying the request is the cancel, and it must not wait for a worker
// held in a blocking WinINet call: Wine ends none of them early (closing
// their handles does not), a silent server holds one for the request's own
// 30 s limit and a connection that is never accepted for about 135 s. The
// destructor returns after a short grace with the target file closed; the
// worker, released later (by the server's reset, or its own limit), ends on
// its own without writing again and gives its thread and handles back.
TEST_F(RequestFaults, DestroyingAStalledRequestReturnsAtOnceWithTheFileClosed) {
    const std::string path = m_folder.Path() + "stall.bin";
    const Route stalled = PatternRoute("/faults/stall.bin", kBody);
    const struct {
        const char* what;
        velta_test::Port port;
        Route route;
        RequestState held;
        bool toFile;
    } cases[] = {
        {"TLS handshake never comes", velta_test::Port::Silent, stalled, Sending, true},
        {"silent after the request", velta_test::Port::Https,
         Tweaked(kBody, [](Route& r) { r.delayStatusMs = 600000; }), Sending, false},
        {"silent after the headers", velta_test::Port::Https,
         Tweaked(kBody, [](Route& r) { r.delayHeadersMs = 600000; }), Receiving, true},
        {"body stops after 10000 bytes", velta_test::Port::Https,
         Tweaked(kBody, [](Route& r) { r.stallAfter = 10000; }), Receiving, true},
        // Last: its worker stays in the connect for about 135 s, long after
        // the test; the process still ends at once (see the test's log).
        {"connection never accepted", velta_test::Port::Unaccepted, stalled, Sending, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const bool reachesServer = c.port == velta_test::Port::Https;
        ASSERT_TRUE(velta_test::Reset());
        ASSERT_TRUE(velta_test::SetRoute(c.route));
        DeleteFileA(path.c_str());
        const Counters before = ReadCounters();
        auto request = std::make_unique<CHttpWebRequest>(
            velta_test::UrlOn(c.port, true, c.route.target).c_str());
        if (c.toFile) {
            ASSERT_EQ(1, request->StartToFile(path.c_str()));
        } else {
            request->Start();
        }
        uint64_t received = 0;
        ASSERT_TRUE(velta_test::WaitUntil(
            [&] {
                request->GetReceivedSize(&received);
                const bool arrived =
                    c.port == velta_test::Port::Silent
                        ? velta_test::HeldCount() == 1
                        : !reachesServer || velta_test::RequestCount(c.route.target) == 1;
                // A read waits to fill its 4,096 bytes: 8,192 come before the stall.
                return request->Wait(0) == c.held && arrived &&
                       received == (c.route.stallAfter ? 8192u : 0u);
            },
            20000))
            << "state " << request->Wait(0);
        EXPECT_EQ(request->Wait(300), c.held) << "the stall holds";
        const DWORD took = WithSafetyNet([&] { request.reset(); });
        std::printf("[ stall    ] %-30s destroyed in %lu ms\n", c.what, took);
        EXPECT_LT(took, 3000u) << "waited for the blocked worker";
        if (c.toFile) {
            // What the download run does next: read what arrived, remove it.
            const std::string kept = velta_test::ReadWholeFile(path);
            EXPECT_EQ(kept.size(), received);
            ExpectPatternPrefix(kept, -kBody);
            EXPECT_TRUE(DeleteFileA(path.c_str())) << "still held open: " << GetLastError();
        }
        if (c.port == velta_test::Port::Unaccepted) continue;
        // The server lets go: the worker's call returns (for the stalled body
        // with more bytes), and it ends without a file to write them to.
        ASSERT_TRUE(velta_test::Reset());
        if (c.port == velta_test::Port::Silent) {
            // Wine answers a handshake that broke off with one more try on a
            // new connection, which the silent port holds again.
            velta_test::WaitUntil([] { return velta_test::HeldCount() > 0; }, 5000);
            ASSERT_TRUE(velta_test::Reset());
        }
        ExpectCountersBack(before);
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str()))
            << "written after the destructor";
    }
}

// One 4,096-byte piece every 50 ms over HTTPS: destroying the request takes
// effect after the read in progress, not at the end of the 50 MiB body.
TEST_F(RequestFaults, DestroyingDuringASlowBodyReturnsAfterTheReadInProgress) {
    const Route route = Tweaked(50 << 20, [](Route& r) {
        r.chunkSize = 4096;
        r.chunkDelayMs = 50;
    });
    const std::string path = m_folder.Path() + "slow.bin";
    for (const bool toFile : {false, true}) {
        SCOPED_TRACE(toFile ? "file" : "memory");
        ASSERT_TRUE(velta_test::Reset());
        ASSERT_TRUE(velta_test::SetRoute(route));
        const Counters before = ReadCounters();
        auto request =
            std::make_unique<CHttpWebRequest>(velta_test::HttpsUrl(route.target).c_str());
        if (toFile) {
            request->StartToFile(path.c_str());
        } else {
            request->Start();
        }
        uint64_t received = 0;
        ASSERT_TRUE(velta_test::WaitUntil(
            [&] { return request->GetReceivedSize(&received) == 1 && received >= 40960; }, 30000));
        const DWORD start = GetTickCount();
        request.reset();
        // One piece takes 50 ms; the whole body would take over ten minutes.
        EXPECT_LT(GetTickCount() - start, 5000u);
        ExpectCountersBack(before);
        if (toFile) ExpectPatternPrefix(velta_test::ReadWholeFile(path), -(50 << 20));
    }
}

// Stopped by destroying the request after 128 MiB; the memory goes with it.
TEST_F(RequestFaults, EndlessBodyIntoMemoryStopsAndGivesItsMemoryBack) {
    constexpr uint64_t kStopAt = 128ull << 20;
    ASSERT_TRUE(velta_test::SetRoute(PatternRoute("/faults/endless.bin", -1)));
    const Counters before = ReadCounters();
    auto request =
        std::make_unique<CHttpWebRequest>(velta_test::HttpUrl("/faults/endless.bin").c_str());
    request->Start();
    uint64_t received = 0;
    ASSERT_TRUE(velta_test::WaitUntil(
        [&] { return request->GetReceivedSize(&received) == 1 && received >= kStopAt; }, 120000))
        << "received " << received;
    int64_t length = 0;
    EXPECT_EQ(request->GetContentLength(&length), 1);
    EXPECT_EQ(length, -1) << "an endless body has no length";
    const Counters during = ReadCounters();
    const DWORD start = GetTickCount();
    request.reset();
    EXPECT_LT(GetTickCount() - start, 5000u);
    ExpectCountersBack(before);
    EXPECT_GE(during.privateBytes, before.privateBytes + kStopAt / 2)
        << "the body was in memory: " << during;
    EXPECT_LT(ReadCounters().privateBytes, before.privateBytes + (16ull << 20))
        << "and is given back";
}

}  // namespace
