// The owner's view of a request: states, read-back outside and inside the
// states that answer, start rules and destruction while data arrives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "tests/http/HttpTestSupport.h"
#include "tests/support/TestServer.h"

namespace {
using namespace http_test;
using velta_test::Route;

class RequestLifecycle : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(velta_test::Reset()) << velta_test::LastError(); }
};

void ExpectNothingReadable(CHttpWebRequest& r) {
    SYSTEMTIME t;
    std::memset(&t, 0xAB, sizeof(t));
    int64_t length = 77;
    uint64_t received = 77;
    EXPECT_EQ(0, r.GetLastModified(&t));
    EXPECT_EQ(0, t.wYear + t.wMonth + t.wDayOfWeek + t.wDay + t.wHour + t.wMinute + t.wSecond + t.wMilliseconds);
    EXPECT_EQ(0, r.GetContentLength(&length));
    EXPECT_EQ(0, length);
    EXPECT_EQ(0, r.GetReceivedSize(&received));
    EXPECT_EQ(0u, received);
}

TEST_F(RequestLifecycle, NeverStartedIsIdleAtOnceEvenWithoutLimit) {
    CHttpWebRequest r(velta_test::HttpUrl("/never").c_str());
    EXPECT_EQ(Idle, r.Wait(0));
    EXPECT_EQ(Idle, r.Wait(kWaitForever));
    ExpectNothingReadable(r);
    EXPECT_EQ(0u, r.GetStatusCode());
    EXPECT_EQ(0, velta_test::RequestCount("/never"));
}

TEST_F(RequestLifecycle, UncreatableTargetFailsAtOnceWithoutAnyTraffic) {
    Route route;
    route.target = "/f";
    route.body = "x";
    ASSERT_TRUE(velta_test::SetRoute(route));
    const std::string path = ScratchFolder() + "no-such-folder\\out.bin";
    CHttpWebRequest r(velta_test::HttpUrl("/f").c_str());
    EXPECT_EQ(0, r.StartToFile(path.c_str()));
    EXPECT_EQ(Failed, r.Wait(0));
    EXPECT_EQ(Failed, r.Wait(kWaitForever));
    EXPECT_EQ(0u, r.GetStatusCode());
    EXPECT_EQ(0u, r.GetLastErrorCode());
    char copied[MAX_PATH];
    EXPECT_EQ(1, r.GetFilePath(copied));
    EXPECT_EQ(path, copied);
    EXPECT_EQ(0, velta_test::RequestCount("/f"));
}

TEST_F(RequestLifecycle, NotFoundFailsWithStatusReadableAndNoLength) {
    Route route;
    route.target = "/missing";
    route.status = 404;
    route.body = "not here";
    ASSERT_TRUE(velta_test::SetRoute(route));
    CHttpWebRequest r(velta_test::HttpUrl("/missing").c_str());
    EXPECT_EQ(1, r.Start());
    EXPECT_EQ(Failed, WaitEnd(r));
    EXPECT_EQ(404u, r.GetStatusCode());
    ExpectNothingReadable(r);
    const uint8_t* data = nullptr;
    EXPECT_EQ(0u, r.GetResponseData(&data));
}

TEST_F(RequestLifecycle, EmptyBodyCompletesAndLeavesTheCallersPointer) {
    Route route;
    route.target = "/empty";
    ASSERT_TRUE(velta_test::SetRoute(route));
    CHttpWebRequest r(velta_test::HttpUrl("/empty").c_str());
    r.Start();
    ASSERT_EQ(Completed, WaitEnd(r));
    const uint8_t sentinel = 0;
    const uint8_t* data = &sentinel;
    EXPECT_EQ(0u, r.GetResponseData(&data));
    EXPECT_EQ(&sentinel, data);
    uint64_t received = 1;
    EXPECT_EQ(1, r.GetReceivedSize(&received));
    EXPECT_EQ(0u, received);
    int64_t length = -5;
    EXPECT_EQ(1, r.GetContentLength(&length));
    EXPECT_EQ(0, length);
}

TEST_F(RequestLifecycle, WaitZeroPollsWhileTheAnswerIsHeldBack) {
    Route route;
    route.target = "/slow";
    route.delayStatusMs = 1500;
    route.body = "late";
    ASSERT_TRUE(velta_test::SetRoute(route));
    CHttpWebRequest r(velta_test::HttpUrl("/slow").c_str());
    r.Start();
    // The status is held back for 1.5 s, so a zero wait must come back
    // before the request can have finished.
    const RequestState polled = r.Wait(0);
    EXPECT_NE(Completed, polled);
    EXPECT_NE(Failed, polled);
    EXPECT_EQ(Completed, WaitEnd(r));
}

TEST_F(RequestLifecycle, StatesProgressInOrderAndAnswerFromHeadersOn) {
    Route route;
    route.target = "/steps";
    route.delayStatusMs = 800;
    route.delayHeadersMs = 800;
    route.headers.push_back({"Last-Modified", "Wed, 21 Oct 2015 07:28:00 GMT"});
    route.body = std::string(10000, 'b');
    ASSERT_TRUE(velta_test::SetRoute(route));
    CHttpWebRequest r(velta_test::HttpUrl("/steps").c_str());
    r.Start();
    const std::vector<RequestState> order = {Idle, Connecting, Sending, HeadersReceived, Receiving, Completed};
    std::vector<RequestState> seen;
    bool lengthDuringReceiving = false;
    ASSERT_TRUE(WaitUntil([&] {
        const RequestState s = r.Wait(5);
        if (seen.empty() || seen.back() != s) seen.push_back(s);
        if (s == Receiving) {
            int64_t length = 0;
            SYSTEMTIME t{};
            lengthDuringReceiving = r.GetContentLength(&length) == 1 && length == 10000 &&
                                    r.GetLastModified(&t) == 1 && t.wYear == 2015;
        }
        return s == Completed || s == Failed;
    }));
    ASSERT_EQ(Completed, seen.back());
    size_t last = 0;
    for (RequestState s : seen) {
        size_t index = 0;
        while (index < order.size() && order[index] != s) ++index;
        ASSERT_LT(index, order.size()) << "unexpected state " << s;
        EXPECT_GE(index, last) << "state " << s << " came after a later one";
        last = index;
    }
    // Both delays are long enough that the polls must see them.
    EXPECT_NE(seen.end(), std::find(seen.begin(), seen.end(), Sending));
    EXPECT_NE(seen.end(), std::find(seen.begin(), seen.end(), Receiving));
    EXPECT_TRUE(lengthDuringReceiving);
}

TEST_F(RequestLifecycle, SecondStartAfterTheEndChangesNothing) {
    Route route;
    route.target = "/once";
    route.body = "one";
    ASSERT_TRUE(velta_test::SetRoute(route));
    const std::string path = ScratchFolder() + "once.bin";
    CHttpWebRequest r(velta_test::HttpUrl("/once").c_str());
    ASSERT_EQ(1, r.StartToFile(path.c_str()));
    ASSERT_EQ(Completed, WaitEnd(r));
    EXPECT_EQ(1, r.Start());
    EXPECT_EQ(Completed, r.Wait(0));
    // A second StartToFile must not truncate the finished download.
    EXPECT_EQ(0, r.StartToFile(path.c_str()));
    EXPECT_EQ(Completed, r.Wait(kWaitForever));
    EXPECT_EQ("one", ReadWholeFile(path));
    EXPECT_EQ(1, velta_test::RequestCount("/once"));
}

TEST_F(RequestLifecycle, UrlAndPathAreCopiedWithTheirTerminator) {
    const std::string url = velta_test::HttpUrl("/dir/a.txt?x=1");
    CHttpWebRequest r(url.c_str());
    char buffer[512];
    std::memset(buffer, 'Z', sizeof(buffer));
    EXPECT_EQ(1, r.GetUrl(buffer));
    EXPECT_EQ(url, buffer);
    std::memset(buffer, 'Z', sizeof(buffer));
    EXPECT_EQ(0, r.GetFilePath(buffer));
    EXPECT_EQ('\0', buffer[0]);

    CHttpWebRequest empty("");
    std::memset(buffer, 'Z', sizeof(buffer));
    EXPECT_EQ(0, empty.GetUrl(buffer));
    EXPECT_EQ('\0', buffer[0]);
    EXPECT_EQ(1, empty.SetContext(buffer, 42));
}

TEST_F(RequestLifecycle, DestroyWhileReceivingStopsAfterAtMostOneReadAndKeepsThePartialFile) {
    Route route;
    route.target = "/stream";
    route.pattern = -1;  // endless
    route.chunkSize = 4096;
    route.chunkDelayMs = 150;
    ASSERT_TRUE(velta_test::SetRoute(route));
    const std::string path = ScratchFolder() + "partial.bin";
    auto r = std::make_unique<CHttpWebRequest>(velta_test::HttpUrl("/stream").c_str());
    ASSERT_EQ(1, r->StartToFile(path.c_str()));
    uint64_t before = 0;
    ASSERT_TRUE(WaitUntil([&] { return r->GetReceivedSize(&before) && before >= 3 * 4096; }));
    r->GetReceivedSize(&before);
    r.reset();  // returns only after the worker has closed the file
    ASSERT_TRUE(NobodyHoldsOpen(path));
    const std::string kept = ReadWholeFile(path);
    EXPECT_GE(kept.size(), before);
    // The read in progress may still land; no further read may start.
    EXPECT_LE(kept.size(), before + 4096);
    EXPECT_FALSE(velta_test::FirstPatternMismatch(kept.data(), kept.size()).has_value());
}

}  // namespace
