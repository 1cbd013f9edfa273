// The worker's request steps: connection, GET, status and body. They run on
// the worker thread only; m_hMutex is held solely around m_body changes,
// never across a network call, so the owner is never blocked by the network.
#include <cstring>
#include <new>
#include <optional>

#include "common/MutexLock.h"
#include "http/ContentLength.h"
#include "http/RequestCore.h"
#include "http/RequestFlags.h"

namespace {
using http_flags::kOpenFlagsHttp;
using http_flags::kOpenFlagsHttps;
using http_flags::kSilentServerLimitMs;
using http_flags::kUserAgent;
constexpr DWORD kQueryStatusNumber = HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER;
constexpr DWORD kQueryLastModifiedTime = HTTP_QUERY_LAST_MODIFIED | HTTP_QUERY_FLAG_SYSTEMTIME;
constexpr DWORD kQueryContentLength = HTTP_QUERY_CONTENT_LENGTH;
static_assert(kQueryStatusNumber == 0x20000013);
static_assert(kQueryLastModifiedTime == 0x4000000B);
static_assert(kQueryContentLength == 5);
constexpr DWORD kContentLengthBuffer = 256;
constexpr DWORD kReadChunk = 4096;
constexpr uint64_t kMaxMemoryBody = 0xFFFFFFFFull;  // GetResponseData reports 32 bits

static_assert(sizeof(URL_COMPONENTSA) == 104, "URL_COMPONENTSA as the platform lays it out");
}  // namespace

bool RequestCore::Connect() {
    if (!m_hInternet) {
        m_hInternet.reset(
            InternetOpenA(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
        if (!m_hInternet) return FailWith(GetLastError());
        DWORD ignoreOffline = 1;
        InternetSetOptionA(m_hInternet.get(), INTERNET_OPTION_IGNORE_OFFLINE, &ignoreOffline,
                           sizeof(ignoreOffline));
    }

    // Each part gets a buffer as long as the whole URL, so none can be cut.
    const DWORD partLength = static_cast<DWORD>(m_url.size() + 1);
    std::string host(partLength, '\0'), path(partLength, '\0'), extra(partLength, '\0');
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host.data();
    parts.dwHostNameLength = partLength;
    parts.lpszUrlPath = path.data();
    parts.dwUrlPathLength = partLength;
    parts.lpszExtraInfo = extra.data();
    parts.dwExtraInfoLength = partLength;
    // A URL that cannot be split leaves empty parts; the connection or the
    // request then fails with the platform's own error.
    InternetCrackUrlA(m_url.c_str(), 0, 0, &parts);

    m_objectName = path.c_str();
    m_objectName += extra.c_str();

    m_hConnect.reset(InternetConnectA(m_hInternet.get(), host.c_str(), parts.nPort, nullptr,
                                      nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    const DWORD connectError = GetLastError();
    m_openFlags = parts.nScheme == INTERNET_SCHEME_HTTPS ? kOpenFlagsHttps : kOpenFlagsHttp;
    if (!m_hConnect) {
        m_hInternet.reset();
        return FailWith(connectError);
    }
    return true;
}

// Opens the request for the verb. A stalled server must not hold the
// worker, and with it the destructor and the cancel button, for ever: the
// platform's usual send and receive limits are set on the request
// explicitly, so that they hold on every WinINet.
bool RequestCore::OpenRequest(const char* verb) {
    m_hRequest.reset(HttpOpenRequestA(m_hConnect.get(), verb, m_objectName.c_str(), nullptr,
                                      nullptr, nullptr, m_openFlags, 0));
    if (!m_hRequest) return FailWith(GetLastError());
    DWORD limit = kSilentServerLimitMs;
    InternetSetOptionA(m_hRequest.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &limit, sizeof limit);
    InternetSetOptionA(m_hRequest.get(), INTERNET_OPTION_SEND_TIMEOUT, &limit, sizeof limit);
    return true;
}

bool RequestCore::SendGet() {
    if (!OpenRequest("GET")) return false;
    if (!HttpSendRequestA(m_hRequest.get(), "", 0, nullptr, 0)) return FailWith(GetLastError());
    return true;
}

// Everything the owner may read in states 2..4 is stored before the state
// says HeadersReceived (m_state is the publishing store).
void RequestCore::ReadStatus() {
    m_statusCode = 0;
    DWORD status = 0;
    DWORD length = sizeof(status);
    if (!HttpQueryInfoA(m_hRequest.get(), kQueryStatusNumber, &status, &length, nullptr)) {
        FailWith(GetLastError());
        m_state = Failed;
        return;
    }
    m_statusCode = status;
    if (m_statusCode != 200) {
        m_state = Failed;
        return;
    }

    length = sizeof(m_lastModified);
    if (!HttpQueryInfoA(m_hRequest.get(), kQueryLastModifiedTime, &m_lastModified, &length,
                        nullptr))
        std::memset(&m_lastModified, 0, sizeof(m_lastModified));
    m_lastModified.wMilliseconds = 0;

    // One reading of the header serves both: the length the owner is told
    // and, when it is a plain number, the length the body is held to.
    char text[kContentLengthBuffer] = {};
    length = kContentLengthBuffer;
    if (HttpQueryInfoA(m_hRequest.get(), kQueryContentLength, text, &length, nullptr)) {
        text[length < sizeof(text) ? length : sizeof(text) - 1] = '\0';
        m_contentLength = ParseContentLength(text);
        m_announcedLength = ExactContentLength(text);
    } else {
        m_contentLength = -1;
        m_announcedLength.reset();
    }
    char type[kContentLengthBuffer] = {};
    length = kContentLengthBuffer;
    m_contentType.clear();
    if (HttpQueryInfoA(m_hRequest.get(), HTTP_QUERY_CONTENT_TYPE, type, &length, nullptr))
        m_contentType.assign(type, length < sizeof(type) ? length : sizeof(type) - 1);
    m_state = HeadersReceived;
}

bool RequestCore::ReceiveBody() {
    {
        const MutexLock lock(m_hMutex.get());
        m_body.clear();
    }
    // A connection that drops before the announced length arrived must not
    // pass as a complete body (a truncated download reported as complete).
    const std::optional<int64_t> announced =
        m_contentLength >= 0 ? m_announcedLength : std::nullopt;

    uint8_t buffer[kReadChunk];
    for (;;) {
        // The stop is seen between reads; a read in progress is not
        // interrupted. (The mirror answers like a zero-time wait on the
        // event, without the round trip to the server; see StopEvent.h.)
        if (m_hStopEvent.IsSet()) return false;
        DWORD read = 0;
        if (!InternetReadFile(m_hRequest.get(), buffer, kReadChunk, &read)) return false;
        const uint64_t received = m_receivedSize.load();
        if (read == 0) return !announced || received == static_cast<uint64_t>(*announced);
        if (announced && received + read > static_cast<uint64_t>(*announced)) return false;
        if (!WriteBodyPiece(buffer, read)) return false;
        m_receivedSize = received + read;
    }
}

bool RequestCore::WriteBodyPiece(const void* bytes, size_t count) {
    // A file closed by the owner's destructor refuses the write: the
    // request ends Failed without touching the file again.
    if (m_hFile.Wanted()) return m_hFile.Write(bytes, static_cast<DWORD>(count));
    const MutexLock lock(m_hMutex.get());
    bool appended = false;
    if (m_body.size() + count <= kMaxMemoryBody) {
        try {
            // insert() grows the capacity geometrically, so a large body costs
            // a logarithmic number of reallocations, not one per chunk.
            const uint8_t* begin = static_cast<const uint8_t*>(bytes);
            m_body.insert(m_body.end(), begin, begin + count);
            appended = true;
        } catch (const std::bad_alloc&) {
            m_lastError = ERROR_NOT_ENOUGH_MEMORY;
        }
    } else {
        m_lastError = ERROR_NOT_ENOUGH_MEMORY;
    }
    return appended;
}
