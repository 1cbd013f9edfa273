// The live server, read through the tool's own request class: the same
// WinINet, flags, user agent, time limits and certificate policy a
// customer's tool meets. Every URL is fetched once; the certificate of each
// server is read from the requests that fetch it.
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "catalog/CatalogTransfer.h"
#include "common/UniqueHandle.h"
#include "http/HttpWebRequest.h"
#include "http/RequestFlags.h"
#include "http/ServerCertificate.h"
#include "sitecheck/Cp932.h"
#include "sitecheck/Sites.h"
#include "sitecheck/Url.h"

namespace sitecheck {
namespace {

// Certificate faults the tool's flags do not ignore: the request fails in
// sending, before any status.
const char* CertificateFault(uint32_t error) {
    switch (error) {
        case ERROR_INTERNET_INVALID_CA:
            return "is issued by an authority Windows does not trust";
        case ERROR_INTERNET_SEC_INVALID_CERT:
            return "is invalid";
        case ERROR_INTERNET_SEC_CERT_REVOKED:
            return "is revoked";
        case ERROR_INTERNET_SEC_CERT_REV_FAILED:
            return "cannot be checked for revocation";
        case ERROR_INTERNET_SEC_CERT_ERRORS:
            return "has errors";
        case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
            return "cannot be used for a secure channel";
        default:
            return nullptr;
    }
}

std::string Describe(const char* what, unsigned long value) {
    char text[160];
    std::snprintf(text, sizeof text, what, value);
    return text;
}

void DescribeFailure(uint32_t status, uint32_t error, Fetched& result) {
    result.status = status;
    if (result.status == 200) {
        result.outcome = Outcome::BrokenOff;
        // No platform error: the body ended before its Content-Length.
        result.detail =
            error != 0 ? Describe("status 200, then the body failed (WinINet error %lu)", error)
                       : std::string("status 200, then the body ended before its Content-Length");
    } else if (result.status >= 300 && result.status < 400) {
        result.outcome = Outcome::Status;
        result.detail =
            Describe("a redirect (status %lu), which the tool never follows", result.status);
    } else if (result.status != 0) {
        result.outcome = Outcome::Status;
        result.detail = Describe("status %lu", result.status);
    } else if (const char* fault = CertificateFault(error)) {
        result.outcome = Outcome::TlsRefused;
        result.detail = std::string("the tool refuses the server's certificate, which ") + fault +
                        Describe(" (WinINet error %lu)", error);
    } else {
        result.outcome = Outcome::NoAnswer;
        result.detail = Describe("no answer (WinINet error %lu)", error);
    }
}

void DescribeFailure(CHttpWebRequest& request, Fetched& result) {
    DescribeFailure(request.GetStatusCode(), request.GetLastErrorCode(), result);
}

// Errors of the checker's own disk, not of the transfer.
bool IsOwnDiskError(uint32_t error) {
    return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL ||
           error == ERROR_WRITE_FAULT || error == ERROR_WRITE_PROTECT;
}

// 100-ns FILETIME ticks in a day.
constexpr int64_t kTicksPerDay = 864000000000LL;

int64_t Ticks(const FILETIME& time) {
    return static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) |
                                time.dwLowDateTime);
}

// The request's own limits end a server that goes silent within 30 s; a
// connection that is never accepted and a TLS handshake that never comes
// are ended by nothing under Wine (about 135 s, and never). So the checker
// waits for a request only while it moves: a request whose state and
// received bytes stay the same for longer than the limit and a margin is
// given up (destroying it does not wait for its worker).
constexpr DWORD kQuietLimitMs = http_flags::kSilentServerLimitMs + 5000;
constexpr DWORD kQuietPollMs = 1000;

RequestState WaitWhileMoving(CHttpWebRequest& request) {
    RequestState state = request.Wait(0);
    uint64_t received = 0;
    DWORD quietSince = GetTickCount();
    for (;;) {
        const RequestState now = request.Wait(kQuietPollMs);
        if (now == Completed || now == Failed) return now;
        uint64_t size = 0;
        request.GetReceivedSize(&size);
        if (now != state || size != received) {
            state = now;
            received = size;
            quietSince = GetTickCount();
        } else if (GetTickCount() - quietSince >= kQuietLimitMs) {
            return now;
        }
    }
}

// A request given up while it still ran.
void DescribeStall(RequestState state, Fetched& result) {
    const unsigned long seconds = kQuietLimitMs / 1000;
    if (state == Receiving || state == HeadersReceived) {
        result.status = 200;
        result.outcome = Outcome::BrokenOff;
        result.detail = Describe("status 200, then the body stopped for %lu s", seconds);
    } else {
        result.outcome = Outcome::NoAnswer;
        result.detail = Describe(
            "no answer for %lu s: the connection or its TLS handshake never completed", seconds);
    }
}

// Creates (and leaves) the empty file the transfer will write to. A file
// the checker cannot create is its own failure, never the site's: the
// request would fail before any status, like a server that does not answer.
bool CanCreate(const std::string& path, Fetched& result) {
    UniqueFileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) return true;
    const DWORD error = GetLastError();
    result.detail = Describe("cannot create its temporary file (error %lu) at ", error) + path;
    return false;
}

// The file as the download run receives it: into a file, so that files of
// any size pass, then its first headBytes bytes read back. Safe on any
// thread: each call has its own request and its own file. An empty path:
// the checker has no temporary folder.
Fetched FetchToFile(const std::string& url, std::size_t headBytes, const std::string& path,
                    ServerCertificate& certificate) {
    Fetched result;
    if (path.empty() || !CanCreate(path, result)) {
        result.outcome = Outcome::CheckerFailed;
        if (result.detail.empty()) result.detail = "no temporary folder";
        return result;
    }
    {
        CHttpWebRequest request(url.c_str());
        request.KeepServerCertificate();
        request.StartToFile(path.c_str());
        const RequestState state = WaitWhileMoving(request);
        certificate = request.GetServerCertificate();
        if (state != Completed && state != Failed) {
            DescribeStall(state, result);
        } else if (state != Completed) {
            DescribeFailure(request, result);
            if (IsOwnDiskError(request.GetLastErrorCode())) {
                result.outcome = Outcome::CheckerFailed;
                result.detail = Describe("writing its temporary file failed (error %lu)",
                                         request.GetLastErrorCode()) +
                                std::string(" at ") + path;
            }
        } else {
            int64_t length = -1;
            uint64_t received = 0;
            request.GetContentLength(&length);
            request.GetReceivedSize(&received);
            result.headersSeen = true;
            if (length >= 0) result.contentLength = length;
            result.contentType = request.GetContentType();
            result.size = received;
            result.outcome = Outcome::Ok;
            result.status = 200;
        }
    }
    if (result.outcome == Outcome::Ok && headBytes > 0) {
        UniqueFileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) {
            result.body.resize(headBytes);
            DWORD read = 0;
            if (!ReadFile(file.get(), result.body.data(), static_cast<DWORD>(headBytes), &read,
                          nullptr)) {
                read = 0;
            }
            result.body.resize(read);
        }
    }
    DeleteFileA(path.c_str());
    return result;
}

// Process-wide, so that two live sites of one process never share a file.
std::atomic<unsigned> g_fileCounter{0};

class LiveSite : public Site {
public:
    LiveSite(std::string origin, LiveOptions options)
        : m_origin(std::move(origin)),
          m_authority(AuthorityOf(m_origin)),
          m_options(std::move(options)) {
        char folder[MAX_PATH] = {};
        const DWORD length = GetTempPathA(sizeof folder, folder);
        if (length > 0 && length < sizeof folder) m_tempFolder = folder;
        if (m_options.jobs < 1) m_options.jobs = 1;
    }

    std::string CatalogUrl(int testMode) const override { return m_origin + CatalogPath(testMode); }
    // URLs hold the file lists' names in code page 932, as the tool sends them.
    std::string Where(const std::string& url) const override { return Cp932ToUtf8(url); }
    std::string Authority() const override { return m_authority; }
    bool Live() const override { return true; }

    Fetched FetchText(const std::string& url) override {
        Fetched result;
        CHttpWebRequest request(url.c_str());
        request.KeepServerCertificate();
        request.Start();
        const RequestState state = WaitWhileMoving(request);
        Remember(url, request.GetServerCertificate());
        if (state != Completed && state != Failed) {
            DescribeStall(state, result);
            return result;
        }
        if (state != Completed) {
            DescribeFailure(request, result);
            return result;
        }
        const uint8_t* data = nullptr;
        const uint32_t size = request.GetResponseData(&data);
        result.body.assign(reinterpret_cast<const char*>(data), size);
        result.size = size;
        result.outcome = Outcome::Ok;
        result.status = 200;
        return result;
    }

    // Through the tool's own catalog fetch, with its wait.
    Fetched FetchCatalog(const std::string& url) override {
        Fetched result;
        CHttpWebRequest request(url.c_str());
        request.KeepServerCertificate();
        const CatalogTransfer transfer = TransferCatalog(request);
        Remember(url, request.GetServerCertificate());
        result.elapsedMs = transfer.elapsedMs;
        result.contentType = transfer.contentType;
        if (transfer.state == Completed) {
            result.body = transfer.body;
            result.size = transfer.body.size();
            result.outcome = Outcome::Ok;
            result.status = 200;
        } else if (transfer.state == Failed) {
            DescribeFailure(transfer.status, transfer.lastError, result);
        } else if (transfer.state == Idle) {
            result.outcome = Outcome::NoAnswer;
            result.detail = "the request never started";
        } else {
            result.outcome = Outcome::TimedOut;
            result.status = transfer.status;
            result.detail = "still under way when the wait ran out";
        }
        return result;
    }

    Fetched FetchFile(const std::string& url, std::size_t headBytes) override {
        const auto ahead = m_prefetched.find({url, headBytes});
        if (ahead != m_prefetched.end()) {
            Fetched result = std::move(ahead->second);
            m_prefetched.erase(ahead);
            return result;
        }
        ServerCertificate certificate;
        Fetched result = FetchToFile(url, headBytes, NextTempPath(), certificate);
        Remember(url, certificate);
        return result;
    }

    // m_options.jobs workers take the files in order; this thread waits for
    // them and reports progress, so the progress sink needs no lock.
    void Prefetch(const std::vector<std::pair<std::string, std::size_t>>& files) override {
        std::vector<std::pair<std::string, std::size_t>> wanted;
        for (const auto& file : files) {
            if (m_prefetched.count(file) == 0 &&
                std::find(wanted.begin(), wanted.end(), file) == wanted.end()) {
                wanted.push_back(file);
            }
        }
        if (wanted.empty()) return;
        std::vector<std::string> paths;
        for (std::size_t i = 0; i < wanted.size(); ++i) paths.push_back(NextTempPath());
        std::vector<Fetched> results(wanted.size());
        std::mutex mutex;
        std::condition_variable changed;
        std::size_t next = 0, done = 0;
        auto work = [&] {
            for (;;) {
                std::size_t index;
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    if (next == wanted.size()) return;
                    index = next++;
                }
                ServerCertificate certificate;
                Fetched fetched = FetchToFile(wanted[index].first, wanted[index].second,
                                              paths[index], certificate);
                Remember(wanted[index].first, certificate);
                std::lock_guard<std::mutex> lock(mutex);
                results[index] = std::move(fetched);
                ++done;
                changed.notify_all();
            }
        };
        const std::size_t jobs =
            std::min<std::size_t>(static_cast<std::size_t>(m_options.jobs), wanted.size());
        std::vector<std::thread> workers;
        for (std::size_t i = 0; i < jobs; ++i) workers.emplace_back(work);
        {
            std::unique_lock<std::mutex> lock(mutex);
            std::size_t shown = static_cast<std::size_t>(-1);
            while (shown != wanted.size()) {
                changed.wait(lock, [&] { return done != shown; });
                shown = done;
                if (m_options.progress) {
                    lock.unlock();
                    m_options.progress(shown, wanted.size());
                    lock.lock();
                }
            }
        }
        for (std::thread& worker : workers) worker.join();
        for (std::size_t i = 0; i < wanted.size(); ++i) {
            m_prefetched.emplace(wanted[i], std::move(results[i]));
        }
    }

    // A browser checks name and dates; the tool ignores both. Read from the
    // last request that reached url's server (the check asks after fetching
    // url); the errors named are those WinINet gives when the check is on.
    std::string CertificateWarning(const std::string& url) override {
        const ServerCertificate certificate = CertificateOf(url);
        if (certificate.otherHost) {
            return Describe("is issued for another host name (WinINet error %lu)",
                            ERROR_INTERNET_SEC_CERT_CN_INVALID);
        }
        if (certificate.outsideDates) {
            return Describe("is outside its validity dates (WinINet error %lu)",
                            ERROR_INTERNET_SEC_CERT_DATE_INVALID);
        }
        return std::string();
    }

    // The certificate the tool itself accepted for url's server.
    std::optional<int> CertificateDaysLeft(const std::string& url) override {
        const ServerCertificate certificate = CertificateOf(url);
        if (!certificate.read) return std::nullopt;
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        const int64_t left = Ticks(certificate.notAfter) - Ticks(now);
        // Whole days, rounded down, also below zero.
        return static_cast<int>(left >= 0 ? left / kTicksPerDay
                                          : -((-left + kTicksPerDay - 1) / kTicksPerDay));
    }

private:
    std::string NextTempPath() {
        if (m_tempFolder.empty()) return std::string();
        char path[MAX_PATH];
        std::snprintf(path, sizeof path, "%svelta-site-%lu-%u.part", m_tempFolder.c_str(),
                      GetCurrentProcessId(), g_fileCounter++);
        return path;
    }

    // Safe on the prefetching threads. A request that showed no certificate
    // (plain HTTP, no connection) leaves what an earlier one showed.
    void Remember(const std::string& url, const ServerCertificate& certificate) {
        if (!certificate.read) return;
        const std::lock_guard<std::mutex> lock(m_certificateMutex);
        m_certificates[AuthorityOf(url)] = certificate;
    }
    ServerCertificate CertificateOf(const std::string& url) {
        const std::lock_guard<std::mutex> lock(m_certificateMutex);
        const auto found = m_certificates.find(AuthorityOf(url));
        return found == m_certificates.end() ? ServerCertificate() : found->second;
    }

    std::string m_origin;
    std::string m_authority;
    LiveOptions m_options;
    std::string m_tempFolder;
    std::map<std::pair<std::string, std::size_t>, Fetched> m_prefetched;
    std::mutex m_certificateMutex;
    std::map<std::string, ServerCertificate> m_certificates;  // by authority
};

}  // namespace

std::unique_ptr<Site> MakeLiveSite(const std::string& siteUrl, std::string& error) {
    return MakeLiveSite(siteUrl, LiveOptions(), error);
}

std::unique_ptr<Site> MakeLiveSite(const std::string& siteUrl, const LiveOptions& options,
                                   std::string& error) {
    std::string origin = siteUrl;
    while (!origin.empty() && origin.back() == '/') origin.pop_back();
    const std::string authority = AuthorityOf(origin);
    if (authority.empty() || !SplitUrl(origin).rest.empty()) {
        error = "the site must be given as https://HOST[:PORT], not " + siteUrl;
        return nullptr;
    }
    error.clear();
    return std::make_unique<LiveSite>(origin, options);
}

}  // namespace sitecheck
