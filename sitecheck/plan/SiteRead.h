#pragma once
// One side of a planned change: a site read as `velta-site check` reads it
// (the check runs through a recorder, so every catalog, list and file is
// fetched once, by the check itself), then taken apart with the tool's own
// catalog and file-list plans into what a customer's run can request.
// Everything is keyed by the path a web server maps a URL to, so that two
// sites published at one address can be compared path by path.
#include <functional>
#include <map>
#include <unordered_map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "catalog/CatalogTypes.h"
#include "sitecheck/SiteCheck.h"
#include "sitecheck/plan/Sha256.h"

namespace sitecheck {

// What a path of the site answers, as the tool receives it.
struct Content {
    bool present = false;  // status 200 and the whole body
    uint64_t size = 0;
    Sha256Digest sha256{};
    // False for a live file larger than the checker keeps of a fetch: its
    // bytes were seen once, as `check` sees them, and not kept.
    bool digestKnown = true;
    std::string detail;  // absent: why ("missing, no file ...")

    // Equal sizes where a digest is unknown count as the same bytes; the
    // plan names each such file.
    bool Same(const Content& other) const {
        if (present != other.present) return false;
        if (!present) return true;
        if (size != other.size) return false;
        return !digestKnown || !other.digestKnown || sha256 == other.sha256;
    }
};

struct ProductRead {
    int line = 0;  // in the catalog
    CatalogEntry entry;
    std::string listUrl;
    std::string listPath;  // empty: off the site (another host, or outside its root)
};

struct CatalogRead {
    int testMode = 0;
    std::string url, path;
    std::vector<ProductRead> products;  // empty for an absent catalog or the update notice
};

struct FileEntry {
    int line = 0;          // in the list
    std::string relative;  // the list's line, code page 932
    std::string url;
    std::string path;  // empty: off the site
};

struct ListRead {
    std::string url, path;
    bool usable = false;  // present and accepted whole by the tool
    std::vector<FileEntry> files;
};

// Streams the file behind url for its SHA-256; nullopt when it cannot.
using Digester = std::function<std::optional<Sha256Digest>(const std::string& url)>;
// For a site without a digester (live): how many bytes of the file at a
// path to keep from the one fetch the check makes of it, so that it can be
// hashed whole (0: the default). The plan asks for the size NEW has there.
using KeepWhole = std::function<uint64_t(const std::string& path)>;

// A live file is kept whole for its digest up to this size; a larger one
// is compared by its size only.
inline constexpr uint64_t kMostKeptWhole = 64ull << 20;

class SiteRead {
public:
    // Reads the whole site through CheckSite; the report is the check's.
    SiteRead(Site& site, const Options& options, Digester digester, KeepWhole keepWhole = {});
    SiteRead(const SiteRead&) = delete;
    SiteRead& operator=(const SiteRead&) = delete;
    ~SiteRead();

    Site& site() { return *m_site; }
    // How this site's findings name its root folder (or origin), ending in '/'.
    std::string Root() const;
    const Report& report() const { return m_report; }
    const std::vector<CatalogRead>& catalogs() const { return m_catalogs; }
    // The site path of url ("/a/b", code page 932 bytes); empty when the
    // URL leads off the site.
    std::string PathOf(const std::string& url) const;
    // A URL of this site that maps to path.
    std::string UrlOf(const std::string& path) const;
    // The text of line `line` (1-based) of the text this site's Where()
    // names `where`, in UTF-8; empty when unknown.
    std::string LineText(const std::string& where, int line);

    // What the site answers at a path, fetched once: from the check's own
    // fetch when it made one, else now. A text keeps its body.
    const Content& TextContent(const std::string& path);
    const Content& FileContent(const std::string& path);
    // The body of the text at path, or nullptr when the site has none.
    const std::string* Text(const std::string& path);
    // The products the catalog at path gives, as the tool lists them.
    std::vector<ProductRead> Products(const std::string& catalogPath);
    // The list below baseUrl as the tool reads it from this site.
    const ListRead& List(const std::string& baseUrl);

    // Every path the check reached, and the roles it had.
    enum Role { kCatalog = 1, kList = 2, kFile = 4 };
    const std::unordered_map<std::string, int>& Reached() const { return m_reached; }

    // This site's answer for url's path with at least headBytes of its
    // head (a text: its whole body), for a composed site that replays it.
    // Safe to call from several threads at once (nothing else is).
    Fetched Replay(const std::string& url, std::size_t headBytes, bool text);

private:
    class Recorder;
    void Walk();
    // Keeps what a fetch of a file received, and its content while the
    // body is whole; the body is cut to headBytes.
    Fetched KeepFile(const std::string& url, Fetched fetched, std::size_t headBytes);
    Content FileContentOf(const std::string& url, const Fetched& fetched);

    // The head to fetch of a file asked for with headBytes.
    std::size_t Widened(const std::string& url, std::size_t headBytes) const;

    Site* m_site;
    Digester m_digester;
    KeepWhole m_keepWhole;
    std::string m_authority;
    Report m_report;
    std::vector<CatalogRead> m_catalogs;
    std::string m_origin;
    // A file as the check's first fetch of it found it, and the answer with
    // the most head bytes any fetch of it asked for.
    struct FileRead {
        Content content;
        Fetched fetched;
    };
    // By path; a text's body is whole.
    std::unordered_map<std::string, Fetched> m_texts;
    std::unordered_map<std::string, Content> m_textContents;
    std::unordered_map<std::string, FileRead> m_fileReads;
    std::map<std::string, ListRead> m_lists;                    // by base URL
    std::unordered_map<std::string, int> m_reached;             // by path
    std::unordered_map<std::string, std::string> m_whereTexts;  // Where() -> path, when asked
    std::mutex m_replayLock;
};

}  // namespace sitecheck
