// One CHttpWebRequest against a server that misbehaves: connections cut at
// awkward byte offsets, resets, stalls, garbage and oversized heads, broken
// chunking, server errors and a body without end. Each case runs into
// memory and into a file, over plain HTTP and over HTTPS, and must end in
// the right state within its bound and give back every handle and thread.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ProcessCounters.h"
#include "http/HttpWebRequest.h"
#include "tests/download/DownloadRunTestSupport.h"
#include "tests/support/TestServer.h"

namespace {

using fault_test::ProcessCounters;
using fault_test::Since;
using velta_test::Length;
using velta_test::Route;

// Far above anything a healthy loopback exchange of these sizes needs; a
// request still running at this point counts as hung.
constexpr DWORD kEndBoundMs = 60000;
constexpr int64_t kBody = 600000;
// A minute: far beyond any healthy exchange, short enough for the suite.
constexpr DWORD kStallBoundMs = 60000;

enum class Target { Memory, File };
enum class Scheme { Http, Https };

const char* Name(Target t) { return t == Target::Memory ? "memory" : "file"; }
const char* Name(Scheme s) { return s == Scheme::Http ? "http" : "https"; }

std::string UrlFor(Scheme scheme, const std::string& target) {
    return scheme == Scheme::Http ? velta_test::HttpUrl(target) : velta_test::HttpsUrl(target);
}

bool IsFinal(RequestState s) { return s == Failed || s == Completed; }

struct Outcome {
    RequestState state = Idle;
    uint32_t status = 0;
    uint64_t received = 0;
    bool receivedAnswered = false;
    std::string body;           // memory target: what GetResponseData gives
    std::string fileBytes;      // file target: the file after the request ended
    DWORD elapsedMs = 0;
};

class RequestFaults : public testing::Test {
protected:
    static void SetUpTestSuite() {
        velta_test::Reset();
        fault_test::WarmUp();
    }

    void SetUp() override {
        ASSERT_TRUE(velta_test::Reset()) << velta_test::LastError();
        m_folder = std::make_unique<run_test::ScratchFolder>("faults-req");
        m_baseline = fault_test::ReadCounters();
    }

    std::string FilePath(const std::string& leaf) const { return m_folder->Path() + leaf; }

    // Starts one request, waits for its end against the bound, reads it back
    // and destroys it; then checks that the process is back where it was
    // when the test began, so that small leaks add up across a table.
    Outcome RunOne(const Route& route, Scheme scheme, Target target) {
        Outcome out;
        const std::string path = FilePath("body.bin");
        DeleteFileA(path.c_str());
        {
            std::unique_ptr<CHttpWebRequest> request(
                new CHttpWebRequest(UrlFor(scheme, route.target).c_str()));
            const DWORD start = GetTickCount();
            if (target == Target::File) {
                EXPECT_EQ(request->StartToFile(path.c_str()), 1);
            } else {
                request->Start();
            }
            out.state = request->Wait(kEndBoundMs);
            out.elapsedMs = Since(start);
            out.status = request->GetStatusCode();
            out.receivedAnswered = request->GetReceivedSize(&out.received) == 1;
            if (target == Target::Memory && out.state == Completed) {
                const uint8_t* data = nullptr;
                const uint32_t size = request->GetResponseData(&data);
                if (size > 0) out.body.assign(reinterpret_cast<const char*>(data), size);
            }
        }
        if (target == Target::File) out.fileBytes = run_test::ReadWholeFile(path);
        ExpectCountersBack(m_baseline);
        return out;
    }

    static void ExpectCountersBack(const ProcessCounters& before) {
        ProcessCounters after;
        EXPECT_TRUE(fault_test::WaitForCountersBack(before, fault_test::Slack{}, 20000, &after))
            << "before: " << fault_test::Describe(before)
            << "; after: " << fault_test::Describe(after);
    }

    std::unique_ptr<run_test::ScratchFolder> m_folder;
    ProcessCounters m_baseline;
};

Route PatternRoute(const std::string& target, int64_t size) {
    Route r;
    r.target = target;
    r.pattern = size;
    return r;
}

// The body must be the pattern's first bytes, whichever target took it.
void ExpectPatternPrefix(const Outcome& out, Target target, uint64_t count,
                         const std::string& where) {
    const std::string& got = target == Target::Memory ? out.body : out.fileBytes;
    EXPECT_EQ(got.size(), count) << where;
    const auto mismatch = velta_test::FirstPatternMismatch(got.data(), got.size());
    EXPECT_FALSE(mismatch.has_value()) << where << ": first wrong byte at " << *mismatch;
}

// Cut at the edges of one read (4,096 bytes) and in the middle. With a
// Content-Length the short body is a failure with the status kept; without
// one, the server's close is the end of the body.
TEST_F(RequestFaults, ConnectionClosedAtByteOffsets) {
    const int64_t offsets[] = {0, 1, 4095, 4096, 4097, kBody / 2};
    for (Scheme scheme : {Scheme::Http, Scheme::Https}) {
        for (Target target : {Target::Memory, Target::File}) {
            for (bool announced : {true, false}) {
                for (int64_t offset : offsets) {
                    const std::string where = std::string(Name(scheme)) + "/" + Name(target) +
                                              (announced ? "/length " : "/no length ") +
                                              std::to_string(offset);
                    SCOPED_TRACE(where);
                    ASSERT_TRUE(velta_test::Reset());
                    Route r = PatternRoute("/faults/close.bin", kBody);
                    r.closeAfter = offset;
                    if (!announced) r.length = Length::None;
                    ASSERT_TRUE(velta_test::SetRoute(r));

                    const Outcome out = RunOne(r, scheme, target);

                    ASSERT_TRUE(IsFinal(out.state)) << "still " << out.state << " after "
                                                    << out.elapsedMs << " ms";
                    EXPECT_EQ(out.status, 200u);
                    if (announced) {
                        EXPECT_EQ(out.state, Failed) << "a short body is not complete";
                        EXPECT_FALSE(out.receivedAnswered) << "Failed answers no size";
                        // The file keeps what arrived, and only that.
                        if (target == Target::File) {
                            EXPECT_LE(out.fileBytes.size(), static_cast<size_t>(offset));
                            ExpectPatternPrefix(out, target, out.fileBytes.size(), where);
                        }
                    } else {
                        EXPECT_EQ(out.state, Completed);
                        EXPECT_EQ(out.received, static_cast<uint64_t>(offset));
                        ExpectPatternPrefix(out, target, static_cast<uint64_t>(offset), where);
                    }
                }
            }
        }
    }
}

// Faults that end the exchange before or instead of a usable answer.
TEST_F(RequestFaults, BrokenAnswersEndFailedWithTheirStatus) {
    struct Case {
        const char* what;
        Route route;
        uint32_t status;  // what GetStatusCode must give afterwards
    };
    Route reset = PatternRoute("/faults/broken.bin", kBody);
    reset.resetAfter = 100000;
    Route resetNow = PatternRoute("/faults/broken.bin", kBody);
    resetNow.resetNow = true;
    Route dropped = PatternRoute("/faults/broken.bin", kBody);
    dropped.drop = true;
    Route error500 = PatternRoute("/faults/broken.bin", 5000);
    error500.status = 500;
    Route error503 = PatternRoute("/faults/broken.bin", 5000);
    error503.status = 503;
    error503.headers = {{"Retry-After", "120"}};
    const Case cases[] = {
        {"reset after 100000 body bytes", reset, 200},
        {"reset instead of an answer", resetNow, 0},
        {"closed instead of an answer", dropped, 0},
        {"500", error500, 500},
        {"503", error503, 503},
    };
    for (const Case& c : cases) {
        for (Scheme scheme : {Scheme::Http, Scheme::Https}) {
            for (Target target : {Target::Memory, Target::File}) {
                SCOPED_TRACE(std::string(c.what) + " " + Name(scheme) + "/" + Name(target));
                ASSERT_TRUE(velta_test::Reset());
                ASSERT_TRUE(velta_test::SetRoute(c.route));
                const Outcome out = RunOne(c.route, scheme, target);
                ASSERT_TRUE(IsFinal(out.state)) << "after " << out.elapsedMs << " ms";
                EXPECT_EQ(out.state, Failed);
                EXPECT_EQ(out.status, c.status);
                EXPECT_FALSE(out.receivedAnswered);
            }
        }
    }
}

// Heads no server of ours sends. Each must end within its bound; one that
// carries no usable status is a failure without status, and an oversized
// but well-formed head is still a normal answer with its body intact.
TEST_F(RequestFaults, MalformedAndOversizedHeadsEnd) {
    struct Case {
        const char* what;
        Route route;
        RequestState state;
        bool statusIs200;
    };
    auto raw = [](const std::string& bytes) {
        Route r;
        r.target = "/faults/head.bin";
        r.raw = true;
        r.body = bytes;
        return r;
    };
    Route big = PatternRoute("/faults/head.bin", 5000);
    big.headers = {{"X-Filler", std::string(1048576, 'a')}};
    const Case cases[] = {
        {"status code not a number", raw("HTTP/1.1 abc OK\r\nContent-Length: 2\r\n\r\nok"),
         Failed, false},
        {"status code too large", raw("HTTP/1.1 99999999999 OK\r\nContent-Length: 2\r\n\r\nok"),
         Failed, false},
        {"nothing but a close", raw(""), Failed, false},
        {"one header of 1 MiB", big, Completed, true},
    };
    for (const Case& c : cases) {
        for (Scheme scheme : {Scheme::Http, Scheme::Https}) {
            for (Target target : {Target::Memory, Target::File}) {
                const std::string where = std::string(c.what) + " " + Name(scheme) + "/" + Name(target);
                SCOPED_TRACE(where);
                ASSERT_TRUE(velta_test::Reset());
                ASSERT_TRUE(velta_test::SetRoute(c.route));
                const Outcome out = RunOne(c.route, scheme, target);
                ASSERT_TRUE(IsFinal(out.state)) << "after " << out.elapsedMs << " ms";
                printf("[ head ] %-26s %-5s %-6s -> state %d, status %u, %lu ms\n", c.what,
                       Name(scheme), Name(target), out.state, out.status,
                       static_cast<unsigned long>(out.elapsedMs));
                EXPECT_EQ(out.state, c.state);
                EXPECT_EQ(out.status == 200, c.statusIs200) << out.status;
                if (c.state == Completed) ExpectPatternPrefix(out, target, 5000, where);
            }
        }
    }
}

// An answer without any status line is not a 200: WinINet takes it as an
// HTTP/0.9 body and reports 200, so a captive portal or any other service
// on the port would be stored (and run) as the product's file. Wine even
// reports the version "HTTP/1.0" and the raw head "HTTP/1.0 200 OK" for it,
// the same as a real HTTP/1.0 answer without headers, so the request has
// nothing to tell the two apart by. Kept as the record of a known gap.
TEST_F(RequestFaults, DISABLED_AnswerWithoutStatusLineFails) {
    Route r;
    r.target = "/faults/nostatus.bin";
    r.raw = true;
    r.body = "GARBAGE GARBAGE\r\n\r\nbody";
    for (Scheme scheme : {Scheme::Http, Scheme::Https}) {
        for (Target target : {Target::Memory, Target::File}) {
            SCOPED_TRACE(std::string(Name(scheme)) + "/" + Name(target));
            ASSERT_TRUE(velta_test::Reset());
            ASSERT_TRUE(velta_test::SetRoute(r));
            const Outcome out = RunOne(r, scheme, target);
            EXPECT_EQ(out.state, Failed) << "body taken: " << (out.body + out.fileBytes);
            EXPECT_NE(out.status, 200u);
        }
    }
}

// A chunked body that breaks off at a size line that is not hex is cut
// short, not complete. Wine's WinINet ends the read there with success,
// exactly as at a valid last chunk, so the request reports Completed with
// the first chunk only. Disabled until the request can tell the two apart.
TEST_F(RequestFaults, DISABLED_BrokenChunkingFails) {
    Route r = PatternRoute("/faults/chunked.bin", kBody);
    r.chunked = velta_test::Chunked::Broken;
    r.chunkSize = 10000;
    for (Scheme scheme : {Scheme::Http, Scheme::Https}) {
        for (Target target : {Target::Memory, Target::File}) {
            SCOPED_TRACE(std::string(Name(scheme)) + "/" + Name(target));
            ASSERT_TRUE(velta_test::Reset());
            ASSERT_TRUE(velta_test::SetRoute(r));
            const Outcome out = RunOne(r, scheme, target);
            EXPECT_EQ(out.state, Failed) << "received " << out.received;
            EXPECT_EQ(out.status, 200u);
        }
    }
}

// The same chunking intact arrives whole: the broken case above differs
// only in its second size line.
TEST_F(RequestFaults, ValidChunkingArrivesWhole) {
    Route r = PatternRoute("/faults/chunked.bin", kBody);
    r.chunked = velta_test::Chunked::Valid;
    r.chunkSize = 10000;
    for (Scheme scheme : {Scheme::Http, Scheme::Https}) {
        for (Target target : {Target::Memory, Target::File}) {
            const std::string where = std::string(Name(scheme)) + "/" + Name(target);
            SCOPED_TRACE(where);
            ASSERT_TRUE(velta_test::Reset());
            ASSERT_TRUE(velta_test::SetRoute(r));
            const Outcome out = RunOne(r, scheme, target);
            EXPECT_EQ(out.state, Completed);
            ExpectPatternPrefix(out, target, kBody, where);
        }
    }
}

// A stalled server: destroying the request is the cancel. The worker is
// inside one blocking WinINet call then and the destructor waits for it, so
// only a receive time limit can bound the cancel. Wine applies no default
// limit (the destructor once returned only when the server let go, 150 s),
// so the request sets the platform's usual 30 s itself. Reset() on the
// server is the safety net that keeps the suite from hanging.
TEST_F(RequestFaults, DestroyingAStalledRequestEnds) {
    // Each stall waits out the 30 s limit, so each runs once, the header
    // stall into memory and the body stall into a file.
    struct Case {
        const char* what;
        Route route;
        RequestState stateSeen;  // where the stall holds the request
        Target target;
    };
    Route head = PatternRoute("/faults/stall.bin", kBody);
    head.delayStatusMs = 600000;
    Route body = PatternRoute("/faults/stall.bin", kBody);
    body.stallAfter = 10000;
    const Case cases[] = {
        {"stall before the status line", head, Sending, Target::Memory},
        {"stall after 10000 body bytes", body, Receiving, Target::File},
    };
    for (const Case& c : cases) {
        {
            const Target target = c.target;
            SCOPED_TRACE(std::string(c.what) + " " + Name(target));
            ASSERT_TRUE(velta_test::Reset());
            ASSERT_TRUE(velta_test::SetRoute(c.route));
            const ProcessCounters before = fault_test::ReadCounters();
            const std::string path = FilePath("stall.bin");
            auto request = std::make_unique<CHttpWebRequest>(
                velta_test::HttpsUrl(c.route.target).c_str());
            if (target == Target::File) {
                request->StartToFile(path.c_str());
            } else {
                request->Start();
            }
            uint64_t received = 0;
            const bool reached = run_test::WaitUntil(
                [&] {
                    request->GetReceivedSize(&received);
                    return request->Wait(0) == c.stateSeen &&
                           velta_test::RequestCount(c.route.target) == 1 &&
                           (c.stateSeen != Receiving || received >= 8192);
                },
                20000);
            ASSERT_TRUE(reached) << "state " << request->Wait(0);
            EXPECT_EQ(request->Wait(300), c.stateSeen) << "the stall holds";

            std::thread safetyNet;
            HANDLE destroyed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
            safetyNet = std::thread([destroyed] {
                if (WaitForSingleObject(destroyed, kStallBoundMs + 5000) == WAIT_TIMEOUT) {
                    velta_test::Reset();
                }
            });
            const DWORD start = GetTickCount();
            request.reset();
            const DWORD destroyMs = Since(start);
            SetEvent(destroyed);
            safetyNet.join();
            CloseHandle(destroyed);

            printf("[ stall ] %-30s %-6s destroyed after %lu ms\n", c.what, Name(target),
                   static_cast<unsigned long>(destroyMs));
            EXPECT_LT(destroyMs, kStallBoundMs) << "ended only by the server's release";
            ExpectCountersBack(before);
            if (target == Target::File) {
                const std::string kept = run_test::ReadWholeFile(path);
                const auto mismatch = velta_test::FirstPatternMismatch(kept.data(), kept.size());
                EXPECT_FALSE(mismatch.has_value()) << "the file keeps what arrived";
            }
        }
    }
}

// A slow body (one 4,096-byte piece every 50 ms): destroying the request
// takes effect after the read in progress, not at the end of the body.
TEST_F(RequestFaults, DestroyDuringASlowBodyReturnsAfterOneRead) {
    Route r = PatternRoute("/faults/slow.bin", 50 * 1048576);
    r.chunkSize = 4096;
    r.chunkDelayMs = 50;
    for (Target target : {Target::Memory, Target::File}) {
        SCOPED_TRACE(Name(target));
        ASSERT_TRUE(velta_test::Reset());
        ASSERT_TRUE(velta_test::SetRoute(r));
        const ProcessCounters before = fault_test::ReadCounters();
        auto request = std::make_unique<CHttpWebRequest>(velta_test::HttpsUrl(r.target).c_str());
        const std::string path = FilePath("slow.bin");
        if (target == Target::File) {
            request->StartToFile(path.c_str());
        } else {
            request->Start();
        }
        uint64_t received = 0;
        ASSERT_TRUE(run_test::WaitUntil(
            [&] { return request->GetReceivedSize(&received) == 1 && received >= 40960; }, 30000));
        const DWORD start = GetTickCount();
        request.reset();
        const DWORD destroyMs = Since(start);
        printf("[ slow ] %-6s destroyed after %lu ms\n", Name(target),
               static_cast<unsigned long>(destroyMs));
        // One piece takes 50 ms; a second is long and still far below the
        // 12,800 pieces of the whole body.
        EXPECT_LT(destroyMs, 5000u);
        ExpectCountersBack(before);
    }
}

// A body without end into memory cannot be driven to 4 GiB in test time;
// it is stopped by destroying the request after some MiB, and the memory
// it took must be given back with the object.
TEST_F(RequestFaults, EndlessBodyIntoMemoryStopsAndGivesItsMemoryBack) {
    constexpr uint64_t kStopAt = 128ull * 1048576;
    Route r;
    r.target = "/faults/endless.bin";
    r.pattern = -1;
    ASSERT_TRUE(velta_test::SetRoute(r));
    const ProcessCounters before = fault_test::ReadCounters();
    auto request = std::make_unique<CHttpWebRequest>(velta_test::HttpUrl(r.target).c_str());
    request->Start();
    uint64_t received = 0;
    ASSERT_TRUE(run_test::WaitUntil(
        [&] { return request->GetReceivedSize(&received) == 1 && received >= kStopAt; }, 120000))
        << "received " << received;
    int64_t length = 0;
    EXPECT_EQ(request->GetContentLength(&length), 1);
    EXPECT_EQ(length, -1) << "an endless body has no length";
    const ProcessCounters during = fault_test::ReadCounters();
    const DWORD start = GetTickCount();
    request.reset();
    const DWORD destroyMs = Since(start);
    ProcessCounters after;
    EXPECT_TRUE(fault_test::WaitForCountersBack(before, fault_test::Slack{}, 20000, &after));
    after = fault_test::ReadCounters();
    printf("[ endless ] before: %s\n[ endless ] at %llu MiB: %s\n[ endless ] after: %s; destroyed"
           " in %lu ms\n",
           fault_test::Describe(before).c_str(),
           static_cast<unsigned long long>(received / 1048576), fault_test::Describe(during).c_str(),
           fault_test::Describe(after).c_str(), static_cast<unsigned long>(destroyMs));
    EXPECT_GE(during.privateBytes, before.privateBytes + kStopAt / 2) << "the body was in memory";
    EXPECT_LT(after.privateBytes, before.privateBytes + 16ull * 1048576) << "and is given back";
    EXPECT_LT(destroyMs, 5000u);
}

}  // namespace
