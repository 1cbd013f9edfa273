// One CHttpWebRequest against a misbehaving loopback server: each case must
// end in the right state within its bound and give back its handles and threads.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FaultSupport.h"
#include "http/HttpWebRequest.h"

namespace {

using namespace velta_test;
using velta_test::Route;

constexpr int64_t kBody = 600000, kUnchecked = INT64_MIN;

class RequestFaults : public testing::Test {
protected:
    static void SetUpTestSuite() { WarmUp(); }
    void SetUp() override { ASSERT_TRUE(velta_test::Reset()) << velta_test::LastError(); }
    velta_test::ScratchFolder m_folder{"faults-req"};
};

// The bytes kept are the pattern's first `count`, or at most -count of them.
void ExpectPatternPrefix(const std::string& got, int64_t count) {
    if (count >= 0) { EXPECT_EQ(got.size(), static_cast<size_t>(count)); }
    EXPECT_LE(got.size(), static_cast<size_t>(count >= 0 ? count : -count));
    EXPECT_FALSE(velta_test::FirstPatternMismatch(got.data(), got.size()).has_value());
}

Route Tweaked(int64_t size, void (*tweak)(Route&)) {
    Route r = PatternRoute("/faults/broken.bin", size);
    tweak(r);
    return r;
}

// Into memory and into a file, over HTTP and HTTPS. A short body with a
// length fails keeping its status; without one the close ends the body.
TEST_F(RequestFaults, BrokenAnswersEndInTheRightState) {
    struct Case {
        std::string what;
        Route route;
        RequestState state;
        uint32_t status;
        int64_t kept;  // Completed: the body's size; Failed: at most -kept in the file
    };
    std::vector<Case> cases = {
        {"reset after 100000", Tweaked(kBody, [](Route& r) { r.resetAfter = 100000; }), Failed, 200, -100000},
        {"reset instead of an answer", Tweaked(kBody, [](Route& r) { r.resetNow = true; }), Failed, 0, kUnchecked},
        {"closed instead of an answer", Tweaked(kBody, [](Route& r) { r.drop = true; }), Failed, 0, kUnchecked},
        {"500", Tweaked(5000, [](Route& r) { r.status = 500; }), Failed, 500, kUnchecked},
        {"503", Tweaked(5000, [](Route& r) { r.status = 503; r.headers = {{"Retry-After", "120"}}; }), Failed, 503, kUnchecked},
        {"status not a number", Tweaked(0, [](Route& r) { r.pattern.reset(); r.raw = true; r.body = "HTTP/1.1 abc OK\r\nContent-Length: 2\r\n\r\nok"; }), Failed, 0, kUnchecked},
        {"one header of 1 MiB", Tweaked(5000, [](Route& r) { r.headers = {{"X-Filler", std::string(1048576, 'a')}}; }), Completed, 200, 5000},
    };
    // At the edges of one 4,096-byte read and in the middle.
    for (int64_t at : std::vector<int64_t>{0, 1, 4095, 4096, 4097, kBody / 2}) {
        Route r = PatternRoute("/faults/broken.bin", kBody);
        r.closeAfter = at;
        cases.push_back({"closed at " + std::to_string(at) + " with length", r, Failed, 200, -at});
        r.length = velta_test::Length::None;
        cases.push_back({"closed at " + std::to_string(at) + " without length", r, Completed, 200, at});
    }
    const std::string path = m_folder.Path() + "body.bin";
    const Counters before = ReadCounters();  // one baseline, so small leaks add up
    for (const Case& c : cases) {
        for (bool https : {false, true}) {
            for (bool toFile : {false, true}) {
                SCOPED_TRACE(c.what + (https ? " https" : " http") + (toFile ? "/file" : "/memory"));
                ASSERT_TRUE(velta_test::Reset());
                ASSERT_TRUE(velta_test::SetRoute(c.route));
                DeleteFileA(path.c_str());
                std::string body;
                {
                    CHttpWebRequest request((https ? velta_test::HttpsUrl(c.route.target) : velta_test::HttpUrl(c.route.target)).c_str());
                    if (toFile) { EXPECT_EQ(request.StartToFile(path.c_str()), 1); }
                    if (!toFile) request.Start();
                    const RequestState state = request.Wait(60000);
                    ASSERT_TRUE(state == Failed || state == Completed) << "still " << state;
                    EXPECT_EQ(state, c.state);
                    EXPECT_EQ(request.GetStatusCode(), c.status);
                    uint64_t received = 0;
                    EXPECT_EQ(request.GetReceivedSize(&received) == 1, state == Completed) << "Failed answers no size";
                    if (state == Completed) { EXPECT_EQ(received, static_cast<uint64_t>(c.kept)); }
                    const uint8_t* data = nullptr;
                    const uint32_t size = toFile || state != Completed ? 0 : request.GetResponseData(&data);
                    if (size > 0) body.assign(reinterpret_cast<const char*>(data), size);
                }
                if (toFile) body = velta_test::ReadWholeFile(path);
                if (c.kept != kUnchecked && (toFile || c.state == Completed)) ExpectPatternPrefix(body, c.kept);
                ExpectCountersBack(before);
            }
        }
    }
}

// Destroying the request is the cancel; the worker is then inside one
// blocking WinINet call and the destructor waits for it, so only the
// request's own 30 s receive limit bounds it (Wine sets none).
TEST_F(RequestFaults, DestroyingAStalledRequestEnds) {
    const struct {
        Route route;
        RequestState held;
        bool toFile;
    } cases[] = {{Tweaked(kBody, [](Route& r) { r.delayStatusMs = 600000; }), Sending, false},
                 {Tweaked(kBody, [](Route& r) { r.stallAfter = 10000; }), Receiving, true}};
    const std::string path = m_folder.Path() + "stall.bin";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.held);
        ASSERT_TRUE(velta_test::Reset());
        ASSERT_TRUE(velta_test::SetRoute(c.route));
        const Counters before = ReadCounters();
        auto request = std::make_unique<CHttpWebRequest>(velta_test::HttpsUrl(c.route.target).c_str());
        if (c.toFile) request->StartToFile(path.c_str());
        if (!c.toFile) request->Start();
        uint64_t received = 0;
        ASSERT_TRUE(velta_test::WaitUntil([&] {
            request->GetReceivedSize(&received);
            return request->Wait(0) == c.held && velta_test::RequestCount(c.route.target) == 1 &&
                   (c.held != Receiving || received >= 8192);
        }, 20000)) << "state " << request->Wait(0);
        EXPECT_EQ(request->Wait(300), c.held) << "the stall holds";
        EXPECT_LT(WithSafetyNet([&] { request.reset(); }), 60000u) << "ended only by the server's release";
        ExpectCountersBack(before);
        if (c.toFile) ExpectPatternPrefix(velta_test::ReadWholeFile(path), -kBody);
    }
}

// Stopped by destroying the request after 128 MiB; the memory goes with it.
TEST_F(RequestFaults, EndlessBodyIntoMemoryStopsAndGivesItsMemoryBack) {
    constexpr uint64_t kStopAt = 128ull << 20;
    ASSERT_TRUE(velta_test::SetRoute(PatternRoute("/faults/endless.bin", -1)));
    const Counters before = ReadCounters();
    auto request = std::make_unique<CHttpWebRequest>(velta_test::HttpUrl("/faults/endless.bin").c_str());
    request->Start();
    uint64_t received = 0;
    ASSERT_TRUE(velta_test::WaitUntil([&] { return request->GetReceivedSize(&received) == 1 && received >= kStopAt; }, 120000))
        << "received " << received;
    int64_t length = 0;
    EXPECT_EQ(request->GetContentLength(&length), 1);
    EXPECT_EQ(length, -1) << "an endless body has no length";
    const Counters during = ReadCounters();
    const DWORD start = GetTickCount();
    request.reset();
    EXPECT_LT(GetTickCount() - start, 5000u);
    ExpectCountersBack(before);
    EXPECT_GE(during.privateBytes, before.privateBytes + kStopAt / 2) << "the body was in memory: " << during;
    EXPECT_LT(ReadCounters().privateBytes, before.privateBytes + (16ull << 20)) << "and is given back";
}

}  // namespace
