// A request as its owner and the server see it: states and read-back, start
// rules, what goes over the wire, how answers and certificates are judged.
// (Winsock 2 comes before windows.h, which would pull in the old winsock.)
#include <winsock2.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "tests/http/HttpTestSupport.h"

namespace {
using namespace http_test;
using velta_test::Length;
using velta_test::Route;
using RequestTest = ServerTest;

void ExpectNothingReadable(CHttpWebRequest& r) {
    SYSTEMTIME t, zero{};
    std::memset(&t, 0xAB, sizeof(t));
    int64_t length = 77;
    uint64_t received = 77;
    EXPECT_EQ(0,
              r.GetLastModified(&t) + r.GetContentLength(&length) + r.GetReceivedSize(&received));
    EXPECT_EQ(0, std::memcmp(&zero, &t, sizeof(t)));
    EXPECT_EQ(0, length);
    EXPECT_EQ(0u, received);
}

TEST_F(RequestTest, IdleBeforeTheStartAndAnUncreatableTargetFailsWithoutTraffic) {
    ASSERT_TRUE(velta_test::SetRoute(MakeRoute("/f", "x")));
    const std::string path = ScratchFolder() + "no-such-folder\\out.bin";
    CHttpWebRequest r(velta_test::HttpUrl("/f").c_str());
    EXPECT_EQ(Idle, r.Wait(kWaitForever));
    ExpectNothingReadable(r);
    EXPECT_EQ(0, r.StartToFile(path.c_str()));
    EXPECT_EQ(Failed, r.Wait(kWaitForever));
    EXPECT_EQ(0u, r.GetStatusCode());
    char copied[MAX_PATH];
    EXPECT_EQ(1, r.GetFilePath(copied));
    EXPECT_EQ(path, copied);
    EXPECT_EQ(0, velta_test::RequestCount("/f"));
}

// A request that failed at its start has ended: neither start revives it,
// and a second target is neither created nor remembered.
TEST_F(RequestTest, StartsAfterAFailedStartToFileChangeNothing) {
    ASSERT_TRUE(velta_test::SetRoute(MakeRoute("/f", "x")));
    const std::string folder = ScratchFolder();
    const std::string bad = folder + "no-such-folder\\out.bin", good = folder + "good.bin";
    for (const bool secondToFile : {true, false}) {
        SCOPED_TRACE(secondToFile ? "StartToFile" : "Start");
        DeleteFileA(good.c_str());
        CHttpWebRequest r(velta_test::HttpUrl("/f").c_str());
        ASSERT_EQ(0, r.StartToFile(bad.c_str()));
        EXPECT_EQ(secondToFile ? 0 : 1, secondToFile ? r.StartToFile(good.c_str()) : r.Start());
        EXPECT_EQ(Failed, r.Wait(300));
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(good.c_str()));
        char copied[MAX_PATH];
        EXPECT_EQ(1, r.GetFilePath(copied));
        EXPECT_EQ(bad, copied);
        EXPECT_EQ(0u, r.GetStatusCode());
        EXPECT_EQ(0, velta_test::RequestCount("/f"));
    }
}

TEST_F(RequestTest, SecondStartAfterTheEndChangesNothing) {
    ASSERT_TRUE(velta_test::SetRoute(MakeRoute("/once", "one")));
    const std::string path = ScratchFolder() + "once.bin";
    CHttpWebRequest r(velta_test::HttpUrl("/once").c_str());
    ASSERT_EQ(1, r.StartToFile(path.c_str()));
    ASSERT_EQ(Completed, WaitEnd(r));
    EXPECT_EQ(1, r.Start());
    // A second StartToFile must not truncate the finished download.
    EXPECT_EQ(0, r.StartToFile(path.c_str()));
    EXPECT_EQ(Completed, r.Wait(kWaitForever));
    EXPECT_EQ("one", ReadWholeFile(path));
    EXPECT_EQ(1, velta_test::RequestCount("/once"));
}

TEST_F(RequestTest, DestroyWhileReceivingStopsAfterAtMostOneReadAndKeepsThePartialFile) {
    Route route = MakeRoute("/stream");
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
    EXPECT_LE(kept.size(), before + 4096);
    EXPECT_FALSE(velta_test::FirstPatternMismatch(kept.data(), kept.size()).has_value());
}

TEST(RequestFlags, OpenFlagsAndTargetFollowTheScheme) {
    struct Case {
        const char* url;
        uint32_t flags;
        const char* target;
    } const cases[] = {
        {"http://localhost:1/a/b.txt", 0x84200000u, "/a/b.txt"},
        {"http://localhost", 0x84200000u, ""},
        {"https://localhost/a/b.txt?k=v&z", 0x84A03000u, "/a/b.txt?k=v&z"},
        {"HTTPS://localhost:8443/", 0x84A03000u, "/"},
    };
    for (const Case& c : cases) {
        CHttpWebRequest r(c.url);
        ASSERT_TRUE(HttpWebRequestProbe::Connect(r)) << c.url;
        EXPECT_EQ(c.flags, HttpWebRequestProbe::OpenFlags(r)) << c.url;
        EXPECT_EQ(c.target, HttpWebRequestProbe::ObjectName(r)) << c.url;
    }
}

TEST_F(RequestTest, OtherStatusesFailWithTheStatusReadableAndRedirectsNotFollowed) {
    ASSERT_TRUE(velta_test::SetRoute(MakeRoute("/elsewhere", "target")));
    for (int status : {301, 302, 404}) {
        Route route = MakeRoute("/moved", "not here");
        route.status = status;
        route.headers.push_back({"Location", "/elsewhere"});
        ASSERT_TRUE(velta_test::SetRoute(route));
        CHttpWebRequest r(velta_test::HttpUrl("/moved").c_str());
        EXPECT_EQ(1, r.Start());
        EXPECT_EQ(Failed, WaitEnd(r)) << status;
        EXPECT_EQ(static_cast<uint32_t>(status), r.GetStatusCode());
        ExpectNothingReadable(r);
        EXPECT_EQ("", Body(r));
        EXPECT_EQ(0, velta_test::RequestCount("/elsewhere")) << status;
    }
}

// The query reaches the server; the length reads back as sent, -1 without
// a header and 0 for text that is not a number; a missing date reads back
// as all zero.
TEST_F(RequestTest, QueryReachesTheServerAndLengthAndDateReadBackOrFallBack) {
    struct Case {
        Length policy;
        const char* text;
        std::string body;
        int64_t expected;
    } const cases[] = {
        {Length::Auto, "", "hello world", 11},
        {Length::Auto, "", "", 0},
        {Length::None, "", "hello world", -1},  // the body runs to the end of the connection
        {Length::Literal, "abc", "hello world",
         0},  // read as 0: no basis to call the body truncated
    };
    for (const Case& c : cases) {
        Route route = MakeRoute("/dir/len?x=1", c.body);
        route.length = c.policy;
        route.lengthText = c.text;
        route.close = c.policy != Length::Auto;
        // Without the header the date reads back as all zero.
        const bool dated = c.policy != Length::Literal;
        if (dated) route.headers.push_back({"Last-Modified", "Wed, 21 Oct 2015 07:28:00 GMT"});
        ASSERT_TRUE(velta_test::SetRoute(route));
        CHttpWebRequest r(velta_test::HttpUrl("/dir/len?x=1").c_str());
        r.Start();
        ASSERT_EQ(Completed, WaitEnd(r)) << c.text;
        int64_t length = 12345;
        EXPECT_EQ(1, r.GetContentLength(&length));
        EXPECT_EQ(c.expected, length) << static_cast<int>(c.policy);
        const uint8_t sentinel = 0;
        const uint8_t* data = &sentinel;
        const uint32_t size = r.GetResponseData(&data);
        EXPECT_EQ(c.body, std::string(reinterpret_cast<const char*>(data), size));
        if (c.body.empty()) {
            EXPECT_EQ(&sentinel, data) << "an empty body leaves the caller's pointer alone";
        }
        uint64_t received = 1;
        EXPECT_EQ(1, r.GetReceivedSize(&received));
        EXPECT_EQ(c.body.size(), received);
        SYSTEMTIME t, want = dated ? SYSTEMTIME{2015, 10, 3, 21, 7, 28, 0, 0} : SYSTEMTIME{};
        std::memset(&t, 0x5A, sizeof(t));
        ASSERT_EQ(1, r.GetLastModified(&t));
        EXPECT_EQ(0, std::memcmp(&want, &t, sizeof(t)))
            << t.wYear << "-" << t.wMonth << "-" << t.wDay;
    }
    const auto seen = velta_test::RecordedRequests("/dir/len?x=1");
    ASSERT_EQ(4u, seen.size());
    EXPECT_EQ("GET /dir/len?x=1 HTTP/1.1", seen[0].RequestLine());
    EXPECT_EQ("MarrowZOVE", seen[0].Header("User-Agent").value_or("(none)"));
}

// A body cut short of its length, or a short write on a full device, fails with the status kept.
TEST_F(RequestTest, TruncatedBodyOrShortWriteFails) {
    for (const bool cut : {true, false}) {
        Route route = MakeRoute("/cut");
        route.pattern = 200000;
        if (cut) route.closeAfter = 100000;
        ASSERT_TRUE(velta_test::SetRoute(route));
        const std::string path = cut ? ScratchFolder() + "cut.bin" : "Z:\\dev\\full";
        CHttpWebRequest r(velta_test::HttpUrl("/cut").c_str());
        ASSERT_EQ(1, r.StartToFile(path.c_str()));
        EXPECT_EQ(Failed, WaitEnd(r)) << cut;
        EXPECT_EQ(200u, r.GetStatusCode());
        if (!cut) continue;
        const std::string kept = ReadWholeFile(path);
        EXPECT_LE(kept.size(), 100000u);
        EXPECT_FALSE(velta_test::FirstPatternMismatch(kept.data(), kept.size()).has_value());
    }
}

TEST_F(RequestTest, CertificateNameAndDateFaultsAreAcceptedOtherFaultsRefused) {
    ASSERT_TRUE(velta_test::SetRoute(MakeRoute("/tls", "secure")));
    struct Case {
        std::string url;
        RequestState end;
    } const cases[] = {
        {velta_test::HttpsUrl("/tls"), Completed},
        {velta_test::HttpsWrongHostUrl("/tls"), Completed},
        {velta_test::HttpsExpiredUrl("/tls"), Completed},
        {velta_test::HttpsUntrustedUrl("/tls"), Failed},
    };
    for (const Case& c : cases) {
        CHttpWebRequest r(c.url.c_str());
        r.Start();
        EXPECT_EQ(c.end, WaitEnd(r)) << c.url;
        EXPECT_EQ(c.end == Completed ? "secure" : "", Body(r)) << c.url;
        if (c.end == Completed) continue;
        EXPECT_EQ(0u, r.GetStatusCode());
        // Wine 8 names an unknown issuer 12057; a transport error, never a status.
        const uint32_t e = r.GetLastErrorCode();
        EXPECT_TRUE(e == ERROR_INTERNET_INVALID_CA || e == ERROR_INTERNET_SEC_CERT_REV_FAILED ||
                    e == ERROR_INTERNET_SEC_CERT_ERRORS || e == ERROR_INTERNET_SEC_INVALID_CERT)
            << e;
    }
}

// The answer's status line is held back until the server is reset, so the
// request sits in Sending: a zero wait must report that, not wait for the end.
TEST_F(RequestTest, WaitZeroReturnsTheCurrentStateWithoutWaiting) {
    Route route = MakeRoute("/held", "late");
    route.delayStatusMs = 600000;
    ASSERT_TRUE(velta_test::SetRoute(route));
    CHttpWebRequest r(velta_test::HttpUrl("/held").c_str());
    EXPECT_EQ(Idle, r.Wait(0));
    r.Start();
    ASSERT_TRUE(WaitUntil([&] {
        return r.Wait(0) == Sending && velta_test::RequestCount("/held") == 1;
    })) << "state "
        << r.Wait(0);
    EXPECT_EQ(Sending, r.Wait(0));
    ASSERT_TRUE(velta_test::Reset());  // lets the held answer go
    const RequestState end = WaitEnd(r);
    ASSERT_TRUE(end == Completed || end == Failed) << end;
    EXPECT_EQ(end, r.Wait(0));
}

TEST_F(RequestTest, StatesComeInOrderAndReadBackAnswersFromHeadersOn) {
    Route route = MakeRoute("/steps", std::string(10000, 'b'));
    route.delayStatusMs = 800;
    route.delayHeadersMs = 800;
    route.headers.push_back({"Last-Modified", "Wed, 21 Oct 2015 07:28:00 GMT"});
    ASSERT_TRUE(velta_test::SetRoute(route));
    CHttpWebRequest r(velta_test::HttpUrl("/steps").c_str());
    r.Start();
    const std::vector<RequestState> order = {Idle,      Connecting, Sending, HeadersReceived,
                                             Receiving, Completed};
    std::vector<RequestState> seen;
    bool answeredWhileReceiving = false;
    ASSERT_TRUE(WaitUntil([&] {
        const RequestState s = r.Wait(5);
        if (seen.empty() || seen.back() != s) seen.push_back(s);
        if (s == Receiving) {
            int64_t length = 0;
            SYSTEMTIME t{};
            answeredWhileReceiving = r.GetContentLength(&length) == 1 && length == 10000 &&
                                     r.GetLastModified(&t) == 1 && t.wYear == 2015;
        }
        return s == Completed || s == Failed;
    }));
    ASSERT_EQ(Completed, seen.back());
    size_t last = 0;
    for (RequestState s : seen) {
        const size_t index = std::find(order.begin(), order.end(), s) - order.begin();
        ASSERT_LT(index, order.size()) << "unexpected state " << s;
        EXPECT_GE(index, last) << "state " << s << " came after a later one";
        last = index;
    }
    // Both delays are long enough that the polls must see these two.
    EXPECT_NE(seen.end(), std::find(seen.begin(), seen.end(), Sending));
    EXPECT_NE(seen.end(), std::find(seen.begin(), seen.end(), Receiving));
    EXPECT_TRUE(answeredWhileReceiving);
}

TEST_F(RequestTest, UrlAndTargetPathAreCopiedWithTheirTerminator) {
    ASSERT_TRUE(velta_test::SetRoute(MakeRoute("/dir/a.txt?x=1", "a")));
    const std::string url = velta_test::HttpUrl("/dir/a.txt?x=1");
    const std::string path = ScratchFolder() + "a.txt";
    char buffer[512];
    for (const bool toFile : {false, true}) {
        CHttpWebRequest r(url.c_str());
        ASSERT_EQ(1, toFile ? r.StartToFile(path.c_str()) : r.Start());
        ASSERT_EQ(Completed, WaitEnd(r));
        std::memset(buffer, 'Z', sizeof(buffer));
        EXPECT_EQ(1, r.GetUrl(buffer));
        EXPECT_EQ(url, buffer);
        std::memset(buffer, 'Z', sizeof(buffer));
        EXPECT_EQ(toFile ? 1 : 0, r.GetFilePath(buffer));
        EXPECT_EQ(toFile ? path : "", std::string(buffer)) << toFile;
    }
    CHttpWebRequest empty("");
    std::memset(buffer, 'Z', sizeof(buffer));
    EXPECT_EQ(0, empty.GetUrl(buffer));
    EXPECT_EQ('\0', buffer[0]);
    EXPECT_EQ(1, empty.SetContext(buffer, 42));
}

TEST_F(RequestTest, UnreachableServerOrUnsplittableUrlFailsWithStatusZero) {
    // base+9 lies in the range kept for these tests, and nothing listens there.
    const struct {
        std::string url;
        std::optional<uint32_t> error;  // none: any transport error
    } cases[] = {
        {"http://127.0.0.1:" + std::to_string(velta_test::PortBase() + 9) + "/x",
         static_cast<uint32_t>(ERROR_INTERNET_CANNOT_CONNECT)},
        {"not a url", std::nullopt},
    };
    for (const auto& c : cases) {
        CHttpWebRequest r(c.url.c_str());
        r.Start();
        EXPECT_EQ(Failed, WaitEnd(r)) << c.url;
        EXPECT_EQ(0u, r.GetStatusCode()) << c.url;
        if (c.error) {
            EXPECT_EQ(*c.error, r.GetLastErrorCode()) << c.url;
        } else {
            EXPECT_NE(0u, r.GetLastErrorCode()) << c.url;
        }
    }
}

TEST_F(RequestTest, CacheableAnswerIsFetchedFromTheServerEveryTime) {
    Route route = MakeRoute("/cacheable", "same");
    route.headers.push_back({"Cache-Control", "max-age=3600"});
    ASSERT_TRUE(velta_test::SetRoute(route));
    for (int i = 0; i < 2; ++i) {
        CHttpWebRequest r(velta_test::HttpUrl("/cacheable").c_str());
        r.Start();
        ASSERT_EQ(Completed, WaitEnd(r));
        EXPECT_EQ("same", Body(r));
    }
    EXPECT_EQ(2, velta_test::RequestCount("/cacheable"));
}

// Grown by doubling from the reserved 64 KiB, not chunk by chunk: the
// capacity stays 64 KiB times a power of two, below twice the body.
TEST_F(RequestTest, LargeBodyArrivesWholeAndTheMemoryBodyGrowsByDoublingFrom64KiB) {
    constexpr int64_t kSize = 3 * 1024 * 1024 + 77;
    Route route = MakeRoute("/big");
    route.pattern = kSize;
    ASSERT_TRUE(velta_test::SetRoute(route));

    CHttpWebRequest memory(velta_test::HttpUrl("/big").c_str());
    EXPECT_EQ(65536u, HttpWebRequestProbe::BodyCapacity(memory));
    memory.Start();
    ASSERT_EQ(Completed, WaitEnd(memory));
    const size_t capacity = HttpWebRequestProbe::BodyCapacity(memory);
    EXPECT_EQ(0u, capacity % 65536) << capacity;
    EXPECT_EQ(0u, (capacity / 65536) & (capacity / 65536 - 1)) << capacity;
    EXPECT_LT(capacity, 2u * kSize);
    const uint8_t* data = nullptr;
    ASSERT_EQ(static_cast<uint32_t>(kSize), memory.GetResponseData(&data));
    EXPECT_FALSE(velta_test::FirstPatternMismatch(data, kSize).has_value());
    uint64_t received = 0;
    EXPECT_EQ(1, memory.GetReceivedSize(&received));
    EXPECT_EQ(static_cast<uint64_t>(kSize), received);

    const std::string path = ScratchFolder() + "big.bin";
    CHttpWebRequest file(velta_test::HttpsUrl("/big").c_str());
    ASSERT_EQ(1, file.StartToFile(path.c_str()));
    ASSERT_EQ(Completed, WaitEnd(file));
    EXPECT_EQ(0u, file.GetResponseData(&data));
    EXPECT_TRUE(NobodyHoldsOpen(path));
    EXPECT_TRUE(velta_test::FileMatchesPattern(path, kSize));
}

// The server sends 6,000 bytes and then nothing: the first read of 4,096
// bytes lands and is counted at once, the second waits for bytes that do
// not come. A count kept back until the end, or reads of more than 4,096
// bytes, would show 0 here.
TEST_F(RequestTest, ReceivedSizeRisesWithEachReadOfAtMost4096Bytes) {
    Route route = MakeRoute("/trickle");
    route.pattern = 100000;
    route.stallAfter = 6000;
    const std::string path = ScratchFolder() + "trickle.bin";
    for (const bool toFile : {false, true}) {
        ASSERT_TRUE(velta_test::Reset());
        ASSERT_TRUE(velta_test::SetRoute(route));
        CHttpWebRequest r(velta_test::HttpUrl("/trickle").c_str());
        ASSERT_EQ(1, toFile ? r.StartToFile(path.c_str()) : r.Start());
        uint64_t received = 0;
        ASSERT_TRUE(WaitUntil([&] { return r.GetReceivedSize(&received) == 1 && received > 0; }))
            << toFile;
        EXPECT_EQ(Receiving, r.Wait(300)) << toFile;
        EXPECT_EQ(1, r.GetReceivedSize(&received));
        EXPECT_EQ(4096u, received) << toFile;
        ASSERT_TRUE(velta_test::Reset());  // releases the stall: the body ends short of its length
        EXPECT_EQ(Failed, WaitEnd(r)) << toFile;
    }
}

// Accepts one connection on 127.0.0.1:443 and pipes it to the test server's
// trusted HTTPS port, so that a URL without a port can reach the server.
class DefaultHttpsPortRelay {
public:
    DefaultHttpsPortRelay() {
        WSADATA wsa;
        m_winsock = WSAStartup(MAKEWORD(2, 2), &wsa) == 0;
        m_listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(443);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_listening =
            m_listener != INVALID_SOCKET &&
            bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
            listen(m_listener, 1) == 0;
        m_bindError = m_listening ? 0 : WSAGetLastError();
        if (m_listening) m_thread = std::thread([this] { Pipe(); });
    }
    ~DefaultHttpsPortRelay() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
        if (m_listener != INVALID_SOCKET) closesocket(m_listener);
        if (m_winsock) WSACleanup();
    }
    bool Listening() const { return m_listening; }
    int BindError() const { return m_bindError; }
    int Accepted() const { return m_accepted; }

private:
    // Waits in short slices so that the destructor's stop is seen.
    bool Readable(SOCKET a, SOCKET b, bool* aReady, bool* bReady) {
        while (!m_stop) {
            fd_set set;
            FD_ZERO(&set);
            FD_SET(a, &set);
            if (b != INVALID_SOCKET) FD_SET(b, &set);
            timeval slice{0, 100000};
            const int n = select(0, &set, nullptr, nullptr, &slice);
            if (n < 0) return false;
            if (n == 0) continue;
            *aReady = FD_ISSET(a, &set);
            if (bReady) *bReady = b != INVALID_SOCKET && FD_ISSET(b, &set);
            return true;
        }
        return false;
    }
    static bool Forward(SOCKET from, SOCKET to) {
        char buffer[16384];
        const int n = recv(from, buffer, sizeof(buffer), 0);
        if (n <= 0) return false;
        for (int sent = 0; sent < n;) {
            const int m = send(to, buffer + sent, n - sent, 0);
            if (m <= 0) return false;
            sent += m;
        }
        return true;
    }
    void Pipe() {
        bool ready = false;
        if (!Readable(m_listener, INVALID_SOCKET, &ready, nullptr)) return;
        const SOCKET client = accept(m_listener, nullptr, nullptr);
        if (client == INVALID_SOCKET) return;
        ++m_accepted;
        const SOCKET server = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port =
            htons(static_cast<u_short>(velta_test::PortNumber(velta_test::Port::Https)));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(server, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
            bool fromClient = false, fromServer = false;
            while (Readable(client, server, &fromClient, &fromServer)) {
                if (fromClient && !Forward(client, server)) break;
                if (fromServer && !Forward(server, client)) break;
            }
        }
        closesocket(server);
        closesocket(client);
    }

    bool m_winsock = false;
    SOCKET m_listener = INVALID_SOCKET;
    bool m_listening = false;
    int m_bindError = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_accepted{0};
    std::thread m_thread;
};

// The connection goes to the scheme's default port: the relay on 443 is the
// only way to the server, and the server sees TLS arrive on its HTTPS port.
TEST_F(RequestTest, HttpsUrlWithoutAPortGoesToPort443) {
    ASSERT_TRUE(velta_test::SetRoute(MakeRoute("/default-port", "via 443")));
    DefaultHttpsPortRelay relay;
    if (!relay.Listening()) {
        GTEST_SKIP() << "127.0.0.1:443 cannot be bound here (Winsock error " << relay.BindError()
                     << "; binding it needs root or another program holds it)";
    }
    CHttpWebRequest r("https://127.0.0.1/default-port");
    r.Start();
    EXPECT_EQ(Completed, WaitEnd(r)) << "error " << r.GetLastErrorCode();
    EXPECT_EQ("via 443", Body(r));
    EXPECT_EQ(1, relay.Accepted());
    const auto seen = velta_test::RecordedRequests("/default-port");
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(velta_test::PortNumber(velta_test::Port::Https), seen[0].port);
    EXPECT_EQ("127.0.0.1", seen[0].Header("Host").value_or("(none)"))
        << "the default port is not named";
}
}  // namespace
