#pragma once
// The vendor's side of the download: a site checked by the tool's own rules.
// The catalog, the file lists and the file names go through the same parsers
// and name rules as VELTADL.exe; what reaches the checker is what a customer's
// tool would receive, from a folder on disk or from the live server.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sitecheck/Rules.h"

namespace sitecheck {

// file:line: severity: what — customer [rule]. The severity and what the
// customer sees are the rule's (sitecheck/Rules.h); the finding says only
// where and what is wrong.
struct Finding {
    RuleId rule;
    std::string file;
    int line = 0;      // 0: the finding has no line
    std::string what;  // what is wrong, UTF-8

    Severity severity() const { return RuleOf(rule).severity; }
    const char* customer() const { return RuleOf(rule).customer; }
};

enum class Outcome {
    Ok,             // status 200, the whole body
    Status,         // an answer other than 200 (a redirect included)
    NoAnswer,       // no status at all: no connection, or nothing on disk to serve
    TlsRefused,     // the tool refuses the server's certificate
    BrokenOff,      // status 200, then the transfer failed
    NotFollowed,    // outside what this mode can reach (directory mode: another host)
    TimedOut,       // the tool's own wait ran out before the transfer ended (live catalog)
    CheckerFailed,  // the checker itself could not do its part (its temporary folder, a full
                    // disk, a file on disk it may not read): no fault of the site
};

struct Fetched {
    Outcome outcome = Outcome::NoAnswer;
    uint32_t status = 0;
    std::string detail;        // why, in the checker's words: "status 404", "no such file", ...
    std::string body;          // texts: the whole body; files: the first bytes
    uint64_t size = 0;         // bytes the body has (or had when received)
    bool headersSeen = false;  // live: the response's headers arrived, so contentLength
                               // and contentType say what the server sent
    std::optional<int64_t> contentLength;  // the announced length; nullopt: none sent
    std::string contentType;               // the Content-Type header as sent (live mode)
    std::optional<uint32_t> elapsedMs;     // how long the fetch took (live catalog)
};

// Where the checker reads the site from.
class Site {
public:
    virtual ~Site() = default;
    // The catalog URL of the site for test mode 0 or 1.
    virtual std::string CatalogUrl(int testMode) const = 0;
    // Whole body, as a fetch into memory receives it.
    virtual Fetched FetchText(const std::string& url) = 0;
    // The catalog, as the tool's own catalog fetch receives it (live: with
    // its wait, reporting TimedOut and elapsedMs).
    virtual Fetched FetchCatalog(const std::string& url) { return FetchText(url); }
    // The file as the download run receives it; body holds its first
    // headBytes bytes.
    virtual Fetched FetchFile(const std::string& url, std::size_t headBytes) = 0;
    // How findings name the thing behind url (a path on disk, or the URL).
    virtual std::string Where(const std::string& url) const = 0;
    // host[:port] the site is published as.
    virtual std::string Authority() const = 0;
    // A certificate the tool accepts but a browser would not (wrong name or
    // dates): the reason, or empty. Asked after url has been fetched, and
    // answered from the certificate that fetch met. Live mode only.
    virtual std::string CertificateWarning(const std::string&) { return std::string(); }
    // Whole days until the certificate of url's server expires (negative:
    // expired); nullopt when there is none or it cannot be read. Asked, and
    // answered, like CertificateWarning. Live mode.
    virtual std::optional<int> CertificateDaysLeft(const std::string&) { return std::nullopt; }
    // The files the checker is about to ask FetchFile for, in its order,
    // each with its headBytes: a site may fetch them ahead, several at
    // once, and answer FetchFile from what it fetched. Each file once.
    virtual void Prefetch(const std::vector<std::pair<std::string, std::size_t>>&) {}
    virtual bool Live() const = 0;
};

struct Options {
    bool normalCatalog = true;
    bool testCatalog = false;
    // Downloads folder assumed when judging path lengths; ends in '\'.
    std::string downloadsFolder = DefaultDownloadsFolder();
    // A certificate that expires within this many days is warned about.
    int certDays = 30;
    static std::string DefaultDownloadsFolder();
};

struct Report {
    std::vector<Finding> findings;
    int catalogs = 0, products = 0, files = 0;
    // Live: how long each catalog took through the tool's own fetch, in
    // the order checked (a catalog that ran out of the wait included).
    std::vector<uint32_t> catalogMilliseconds;
    std::string fatal;  // set when the site could not be checked at all

    int Count(Severity severity) const;
};

Report CheckSite(Site& site, const Options& options);

}  // namespace sitecheck
