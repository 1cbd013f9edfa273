#include "tests/support/TestServer.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "BuildConfig.h"

namespace velta_test {
namespace {

std::mutex g_errorMutex;
std::string g_lastError;

void SetError(const std::string& text) {
    std::lock_guard<std::mutex> lock(g_errorMutex);
    g_lastError = text;
}

void EnsureWinsock() {
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    });
}

struct Socket {
    SOCKET s = INVALID_SOCKET;
    ~Socket() {
        if (s != INVALID_SOCKET) closesocket(s);
    }
};

std::string PercentEncode(const std::string& text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '_' || c == '.' || c == '~' || c == '/') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// One control call with Connection: close; returns the body of a 200 answer.
bool Control(const std::string& method, const std::string& target, const std::string& body,
             std::string& out) {
    std::string request =
        method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
    request += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    request += body;
    RawExchangeResult r = RawExchange(PortNumber(Port::Http), request);
    if (!r.ok) {
        SetError("control " + target + ": " + r.error);
        return false;
    }
    size_t headEnd = r.received.find("\r\n\r\n");
    if (headEnd == std::string::npos || r.received.compare(0, 13, "HTTP/1.1 200 ") != 0) {
        SetError("control " + target + ": " + r.received.substr(0, 200));
        return false;
    }
    out = r.received.substr(headEnd + 4);
    return true;
}

std::string Lower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

}  // namespace

int PortBase() {
    if (const char* env = std::getenv("VELTA_TEST_PORT_BASE")) {
        int value = std::atoi(env);
        if (value > 0 && value < 65531) return value;
    }
    return VELTA_TEST_PORT_BASE;
}

int PortNumber(Port p) { return PortBase() + static_cast<int>(p); }

static std::string HostPort(Port p) { return "localhost:" + std::to_string(PortNumber(p)); }

std::string HttpUrl(const std::string& target) { return "http://" + HostPort(Port::Http) + target; }
std::string HttpsUrl(const std::string& target) {
    return "https://" + HostPort(Port::Https) + target;
}
std::string HttpsUntrustedUrl(const std::string& target) {
    return "https://" + HostPort(Port::HttpsUntrusted) + target;
}
std::string HttpsWrongHostUrl(const std::string& target) {
    return "https://" + HostPort(Port::HttpsWrongHost) + target;
}
std::string HttpsExpiredUrl(const std::string& target) {
    return "https://" + HostPort(Port::HttpsExpired) + target;
}

std::string UrlOn(Port port, bool https, const std::string& target) {
    return (https ? "https://" : "http://") + HostPort(port) + target;
}

std::string RecordedRequest::RequestLine() const { return head.substr(0, head.find("\r\n")); }

std::optional<std::string> RecordedRequest::Header(const std::string& name) const {
    const std::string wanted = Lower(name);
    size_t pos = head.find("\r\n");
    while (pos != std::string::npos && pos + 2 < head.size()) {
        size_t start = pos + 2;
        size_t end = head.find("\r\n", start);
        if (end == std::string::npos || end == start) break;
        std::string line = head.substr(start, end - start);
        size_t colon = line.find(':');
        if (colon != std::string::npos && Lower(line.substr(0, colon)) == wanted) {
            size_t v = line.find_first_not_of(" \t", colon + 1);
            size_t e = line.find_last_not_of(" \t");
            return v == std::string::npos ? std::string() : line.substr(v, e - v + 1);
        }
        pos = end;
    }
    return std::nullopt;
}

bool Reset() {
    std::string out;
    return Control("POST", "/__ctl/reset", std::string(), out);
}

namespace {

bool PostRoute(const Route& route, const std::string& call) {
    // Options are "key value" lines, a blank line, then the body bytes.
    std::string description;
    auto line = [&description](const char* key, const std::string& value) {
        description += key;
        description += ' ';
        description += value;
        description += '\n';
    };
    if (route.target.empty() || route.target.find('\n') != std::string::npos) {
        SetError("SetRoute: the target must be one non-empty line");
        return false;
    }
    line("target", route.target);
    line("status", std::to_string(route.status));
    if (!route.reason.empty()) line("reason", route.reason);
    for (const auto& [name, value] : route.headers) line("header", name + ": " + value);
    for (const auto& name : route.removeHeaders) line("noheader", name);
    switch (route.length) {
        case Length::Auto:
            line("length", "auto");
            break;
        case Length::None:
            line("length", "none");
            break;
        case Length::Literal:
            line("length", route.lengthText);
            break;
    }
    if (route.pattern)
        line("pattern",
             *route.pattern < 0 ? std::string("endless") : std::to_string(*route.pattern));
    if (route.chunked != Chunked::Off)
        line("chunked", route.chunked == Chunked::Valid ? "valid" : "broken");
    line("chunk_size", std::to_string(route.chunkSize));
    if (route.delayStatusMs) line("delay_status_ms", std::to_string(route.delayStatusMs));
    if (route.delayHeadersMs) line("delay_headers_ms", std::to_string(route.delayHeadersMs));
    if (route.chunkDelayMs) line("chunk_delay_ms", std::to_string(route.chunkDelayMs));
    if (route.rate) line("rate", std::to_string(route.rate));
    if (route.closeAfter) line("close_after", std::to_string(*route.closeAfter));
    if (route.resetAfter) line("reset_after", std::to_string(*route.resetAfter));
    if (route.stallAfter) line("stall_after", std::to_string(*route.stallAfter));
    if (route.resetNow) line("reset_now", "1");
    if (route.drop) line("drop", "1");
    if (route.raw) line("raw", "1");
    if (route.close) line("close", "1");
    description += '\n';
    description += route.body;
    std::string out;
    return Control("POST", call, description, out);
}

}  // namespace

bool SetRoute(const Route& route) { return PostRoute(route, "/__ctl/route"); }

bool SetStageRoute(int stage, const Route& route) {
    return PostRoute(route, "/__ctl/route?stage=" + std::to_string(stage));
}

bool SwitchToStage(int stage) {
    std::string out;
    return Control("POST", "/__ctl/stage?stage=" + std::to_string(stage), std::string(), out);
}

bool SwitchToStageWhenRequested(const std::string& target, int stage) {
    std::string out;
    return Control(
        "POST", "/__ctl/stage?stage=" + std::to_string(stage) + "&target=" + PercentEncode(target),
        std::string(), out);
}

std::vector<RecordedRequest> RecordedRequests(const std::string& target) {
    std::vector<RecordedRequest> result;
    std::string out;
    std::string call = "/__ctl/log";
    if (!target.empty()) call += "?target=" + PercentEncode(target);
    if (!Control("GET", call, std::string(), out)) return result;
    // Records: "port sni complete headLength bodyLength\n" + head + body.
    size_t pos = 0;
    while (pos < out.size()) {
        size_t nl = out.find('\n', pos);
        if (nl == std::string::npos) break;
        char sni[256] = {};
        int port = 0, complete = 0;
        unsigned long long headLen = 0, bodyLen = 0;
        std::string meta = out.substr(pos, nl - pos);
        if (std::sscanf(meta.c_str(), "%d %255s %d %llu %llu", &port, sni, &complete, &headLen,
                        &bodyLen) != 5 ||
            nl + 1 + headLen + bodyLen > out.size()) {
            SetError("log: malformed record " + meta);
            result.clear();
            return result;
        }
        RecordedRequest r;
        r.port = port;
        r.sni = std::strcmp(sni, "-") == 0 ? std::string() : std::string(sni);
        r.complete = complete != 0;
        r.head = out.substr(nl + 1, headLen);
        r.body = out.substr(nl + 1 + headLen, bodyLen);
        result.push_back(std::move(r));
        pos = nl + 1 + headLen + bodyLen;
    }
    return result;
}

int RequestCount(const std::string& target) {
    std::string out;
    std::string call = "/__ctl/count";
    if (!target.empty()) call += "?target=" + PercentEncode(target);
    if (!Control("GET", call, std::string(), out)) return -1;
    return std::atoi(out.c_str());
}

bool SetListening(Port port, Listening how) {
    const char* mode = how == Listening::Silent       ? "silent"
                       : how == Listening::Unaccepted ? "unaccepted"
                                                      : "normal";
    std::string out;
    return Control("GET",
                   "/__ctl/listen?port=" + std::to_string(static_cast<int>(port)) + "&mode=" + mode,
                   std::string(), out);
}

int HeldCount() {
    std::string out;
    if (!Control("GET", "/__ctl/held", std::string(), out)) return -1;
    return std::atoi(out.c_str());
}

std::string LastError() {
    std::lock_guard<std::mutex> lock(g_errorMutex);
    return g_lastError;
}

std::optional<uint64_t> FirstPatternMismatch(const void* data, size_t size, uint64_t offset) {
    const auto* p = static_cast<const unsigned char*>(data);
    unsigned phase = static_cast<unsigned>(offset % 251);
    for (size_t i = 0; i < size; ++i) {
        if (p[i] != phase) return offset + i;
        if (++phase == 251) phase = 0;
    }
    return std::nullopt;
}

bool FileMatchesPattern(const std::string& path, uint64_t size) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::vector<char> buffer(1 << 20);
    uint64_t offset = 0;
    bool ok = true;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
            ok = false;
            break;
        }
        if (got == 0) break;
        if (offset + got > size || FirstPatternMismatch(buffer.data(), got, offset)) {
            ok = false;
            break;
        }
        offset += got;
    }
    CloseHandle(file);
    return ok && offset == size;
}

RawExchangeResult RawExchange(int port, const std::string& request, int timeoutMs) {
    EnsureWinsock();
    RawExchangeResult result;
    Socket sock;
    sock.s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (sock.s == INVALID_SOCKET) {
        result.error = "socket failed, WSA error " + std::to_string(WSAGetLastError());
        return result;
    }
    DWORD timeout = static_cast<DWORD>(timeoutMs);
    setsockopt(sock.s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
               sizeof timeout);
    setsockopt(sock.s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout),
               sizeof timeout);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<u_short>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(sock.s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        result.error = "connect to 127.0.0.1:" + std::to_string(port) + " failed, WSA error " +
                       std::to_string(WSAGetLastError()) +
                       " (is the test server running? see tests/README.md)";
        return result;
    }
    size_t sent = 0;
    while (sent < request.size()) {
        int chunk = static_cast<int>(std::min<size_t>(request.size() - sent, 1 << 20));
        int n = send(sock.s, request.data() + sent, chunk, 0);
        if (n <= 0) {
            result.error = "send failed, WSA error " + std::to_string(WSAGetLastError());
            return result;
        }
        sent += static_cast<size_t>(n);
    }
    char buffer[65536];
    for (;;) {
        int n = recv(sock.s, buffer, sizeof buffer, 0);
        if (n == 0) break;
        if (n < 0) {
            int error = WSAGetLastError();
            result.error = error == WSAETIMEDOUT
                               ? std::string("timed out waiting for the server")
                               : "recv failed, WSA error " + std::to_string(error);
            return result;
        }
        result.received.append(buffer, static_cast<size_t>(n));
    }
    result.ok = true;
    return result;
}

}  // namespace velta_test
