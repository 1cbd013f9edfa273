#pragma once
// Client of the loopback test server (testserver/server.py). Talks to the
// control API over raw Winsock, never through WinINet, so a fault in the code
// under test cannot hide a fault of the harness. Call Reset() at the start of
// each test: routes and the log are shared by every port and test program.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace velta_test {

// VELTA_TEST_PORT_BASE from the environment (with-test-env.sh exports it and
// Wine passes it through), else the value compiled into BuildConfig.h.
int PortBase();

enum class Port {
    Http = 0,
    Https = 1,
    HttpsUntrusted = 2,
    HttpsWrongHost = 3,
    HttpsExpired = 4,
    Unaccepted = 5,  // never accepts a connection: connection requests are dropped
    Silent = 6,      // accepts and reads, never sends a byte (TLS: no handshake)
};
int PortNumber(Port p);

// Full URLs for a request target ("/path?query"), host "localhost".
std::string HttpUrl(const std::string& target);
std::string HttpsUrl(const std::string& target);           // trusted, right name
std::string HttpsUntrustedUrl(const std::string& target);  // CA not in the Root store
std::string HttpsWrongHostUrl(const std::string& target);  // certificate for wrong.invalid
std::string HttpsExpiredUrl(const std::string& target);    // certificate expired in 2020
// "http://" or "https://" and localhost on the given port.
std::string UrlOn(Port port, bool https, const std::string& target);

enum class Length { Auto, None, Literal };
enum class Chunked { Off, Valid, Broken };

// One scripted answer. The server keys routes by the exact request target as
// sent (path and query); every port serves the same routes.
struct Route {
    std::string target;
    int status = 200;
    std::string reason;  // empty: the usual phrase
    std::vector<std::pair<std::string, std::string>>
        headers;                             // added; replace automatic ones of that name
    std::vector<std::string> removeHeaders;  // automatic headers to leave out
    Length length = Length::Auto;       // Auto: Content-Length of the body; None: close-delimited
    std::string lengthText;             // Literal: sent as the Content-Length value as is
    std::string body;                   // the body, or with raw the whole response
    std::optional<int64_t> pattern;     // instead of body: PatternBytes(0, n); -1 = endless
    Chunked chunked = Chunked::Off;     // Broken: one good chunk, then a size line that is not hex
    int chunkSize = 65536;              // bytes per chunk (and per paced piece)
    int delayStatusMs = 0;              // before the status line
    int delayHeadersMs = 0;             // after the headers, before the body
    int chunkDelayMs = 0;               // between pieces of chunkSize bytes
    int64_t rate = 0;                   // body bytes per second, 0 = as fast as possible
    std::optional<int64_t> closeAfter;  // close after this many body bytes
    std::optional<int64_t> resetAfter;  // TCP reset after this many body bytes
    std::optional<int64_t> stallAfter;  // send nothing more after this many body bytes,
                                        // until the client leaves or Reset() is called
    bool resetNow = false;              // TCP reset instead of any answer
    bool drop = false;                  // plain close instead of any answer
    bool raw = false;    // send body verbatim (e.g. a garbage status line), then close
    bool close = false;  // Connection: close and close after the answer
};

// A request as the server received it, in arrival order.
struct RecordedRequest {
    int port = 0;
    std::string sni;        // TLS server name the client sent, empty if none or plain HTTP
    bool complete = false;  // head and announced body fully received
    std::string head;       // request line and headers, raw, ending with CR LF CR LF
    std::string body;       // body bytes as sent (chunk framing included if chunked)

    std::string RequestLine() const;  // without CR LF
    // Value of the first header with that name (case-insensitive), trimmed;
    // nullopt when absent.
    std::optional<std::string> Header(const std::string& name) const;
};

// Each returns false (and the error text through LastError()) when the server
// cannot be reached or rejects the call.
bool Reset();
bool SetRoute(const Route& route);
// Stages: whole route tables kept aside by number. SetStageRoute adds a
// route to stage `stage`'s table; SwitchToStage puts that table in place of
// the routes now; SwitchToStageWhenRequested queues a switch that happens
// when `target` is next requested (that request is still answered by the
// routes before it). Queued switches happen one after the other, in order.
bool SetStageRoute(int stage, const Route& route);
bool SwitchToStage(int stage);
bool SwitchToStageWhenRequested(const std::string& target, int stage);
// Requests recorded for one target; all requests when target is empty.
std::vector<RecordedRequest> RecordedRequests(const std::string& target = std::string());
int RequestCount(const std::string& target = std::string());  // -1 on error
// How a port treats connections until the next Reset(), which puts every
// port back (Unaccepted and Silent ports stay so). The plain port, which
// carries these calls, cannot be switched.
enum class Listening { Normal, Silent, Unaccepted };
bool SetListening(Port port, Listening how);
// Connections held by silent ports since the last Reset(); -1 on error.
int HeldCount();
std::string LastError();

// Pattern routes send byte i = i % 251, so misplaced, lost or repeated
// 4096-byte blocks change the content.
// Offset of the first byte that differs from the pattern, or nullopt if all match.
std::optional<uint64_t> FirstPatternMismatch(const void* data, size_t size, uint64_t offset = 0);
// True when the file holds exactly the first `size` pattern bytes.
bool FileMatchesPattern(const std::string& path, uint64_t size);

// A raw exchange over Winsock on 127.0.0.1: sends the bytes, returns all the
// bytes received until the server closes (or the timeout ends the wait).
struct RawExchangeResult {
    bool ok = false;  // connected, sent, and the server closed in time
    std::string received;
    std::string error;
};
RawExchangeResult RawExchange(int port, const std::string& request, int timeoutMs = 15000);

}  // namespace velta_test
