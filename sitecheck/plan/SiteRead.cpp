#include "sitecheck/plan/SiteRead.h"

#include "catalog/CatalogParser.h"
#include "catalog/CatalogPlan.h"
#include "sitecheck/Cp932.h"
#include "sitecheck/ForwardingSite.h"
#include "sitecheck/Url.h"

namespace sitecheck {
namespace {

// A site path back into a URL the site maps to the same path: the bytes a
// path may hold but a URL may not carry as they are go out %-escaped.
std::string UrlOfPath(const std::string& origin, const std::string& path) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string url = origin;
    for (char c : path) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '%' || c == '?' || c == '#' || u <= 0x20 || u == 0x7F) {
            url += '%';
            url += kDigits[u >> 4];
            url += kDigits[u & 15];
        } else {
            url += c;
        }
    }
    return url;
}

// A file up to this size is read whole with the fetch the check makes of
// it, hashed there and cut back to what the check asked for: no file is
// read twice, and a live file's bytes are not fetched again.
constexpr std::size_t kWholeBytes = 64 * 1024;

// Keeps the answer with the longer body.
void Keep(std::unordered_map<std::string, Fetched>& store, const std::string& path,
          const Fetched& fetched) {
    const auto known = store.find(path);
    if (known == store.end()) {
        store.emplace(path, fetched);
    } else if (known->second.body.size() < fetched.body.size()) {
        known->second = fetched;
    }
}

}  // namespace

// Keeps what the check received, and widens each file's fetch so that a
// small file is read whole once.
class SiteRead::Recorder : public ForwardingSite {
public:
    explicit Recorder(SiteRead& read) : ForwardingSite(*read.m_site), m_read(read) {}

    Fetched FetchText(const std::string& url) override {
        return KeepText(url, ForwardingSite::FetchText(url));
    }
    Fetched FetchCatalog(const std::string& url) override {
        return KeepText(url, ForwardingSite::FetchCatalog(url));
    }
    Fetched FetchFile(const std::string& url, std::size_t headBytes) override {
        return m_read.KeepFile(url, ForwardingSite::FetchFile(url, m_read.Widened(url, headBytes)),
                               headBytes);
    }
    // Announced as they will be asked for.
    void Prefetch(const std::vector<std::pair<std::string, std::size_t>>& files) override {
        std::vector<std::pair<std::string, std::size_t>> widened;
        widened.reserve(files.size());
        for (const auto& [url, headBytes] : files)
            widened.emplace_back(url, m_read.Widened(url, headBytes));
        ForwardingSite::Prefetch(widened);
    }

private:
    Fetched KeepText(const std::string& url, Fetched fetched) {
        const std::string path = m_read.PathOf(url);
        if (!path.empty()) Keep(m_read.m_texts, path, fetched);
        return fetched;
    }

    SiteRead& m_read;
};

SiteRead::SiteRead(Site& site, const Options& options, Digester digester, KeepWhole keepWhole)
    : m_site(&site),
      m_digester(std::move(digester)),
      m_keepWhole(std::move(keepWhole)),
      m_authority(site.Authority()),
      m_origin(SplitUrl(site.CatalogUrl(0)).origin) {
    Recorder recorder(*this);
    m_report = CheckSite(recorder, options);
    if (!m_report.fatal.empty()) return;
    for (int testMode = 0; testMode < 2; ++testMode) {
        if (testMode == 0 ? !options.normalCatalog : !options.testCatalog) continue;
        CatalogRead catalog;
        catalog.testMode = testMode;
        catalog.url = site.CatalogUrl(testMode);
        catalog.path = PathOf(catalog.url);
        catalog.products = Products(catalog.path);
        m_catalogs.push_back(catalog);
    }
    Walk();
}

SiteRead::~SiteRead() = default;

void SiteRead::Walk() {
    for (const CatalogRead& catalog : m_catalogs) {
        m_reached[catalog.path] |= kCatalog;
        for (const ProductRead& product : catalog.products) {
            if (product.listPath.empty()) continue;
            m_reached[product.listPath] |= kList;
            for (const FileEntry& file : List(product.entry.baseUrl).files) {
                if (file.path.empty()) continue;
                m_reached[file.path] |= kFile;
                FileContent(file.path);
            }
        }
    }
}

std::string SiteRead::PathOf(const std::string& url) const {
    if (AuthorityOf(url) != m_authority) return std::string();
    std::string relative;
    if (!ResolveRequestPath(RequestPath(url), relative)) return std::string();
    return relative.empty() ? std::string("/") : relative;
}

std::size_t SiteRead::Widened(const std::string& url, std::size_t headBytes) const {
    std::size_t wanted = headBytes > kWholeBytes ? headBytes : kWholeBytes;
    if (!m_digester && m_keepWhole) {
        const uint64_t whole = m_keepWhole(PathOf(url));
        if (whole > wanted && whole <= kMostKeptWhole) wanted = static_cast<std::size_t>(whole);
    }
    return wanted;
}

std::string SiteRead::UrlOf(const std::string& path) const { return UrlOfPath(m_origin, path); }

std::string SiteRead::LineText(const std::string& where, int line) {
    if (m_whereTexts.size() != m_texts.size()) {
        for (const auto& [path, fetched] : m_texts) m_whereTexts[m_site->Where(UrlOf(path))] = path;
    }
    const auto path = m_whereTexts.find(where);
    if (path == m_whereTexts.end() || line <= 0) return std::string();
    const std::string& body = m_texts.at(path->second).body;
    for (const TextLine& text : SplitTextLines(body)) {
        if (text.number == line)
            return Cp932ToUtf8(std::string_view(body).substr(text.start, text.length));
    }
    return std::string();
}

const Content& SiteRead::TextContent(const std::string& path) {
    const auto known = m_textContents.find(path);
    if (known != m_textContents.end()) return known->second;
    auto fetched = m_texts.find(path);
    if (fetched == m_texts.end()) {
        fetched = m_texts.emplace(path, m_site->FetchText(UrlOfPath(m_origin, path))).first;
    }
    Content content;
    const Fetched& f = fetched->second;
    if (f.outcome == Outcome::Ok) {
        content.present = true;
        content.size = f.body.size();
        content.sha256 = Sha256Of(f.body);
    } else {
        content.detail = f.detail;
        if (f.outcome == Outcome::CheckerFailed && m_report.fatal.empty())
            m_report.fatal = "the checker failed: " + f.detail;
    }
    return m_textContents.emplace(path, content).first->second;
}

Content SiteRead::FileContentOf(const std::string& url, const Fetched& f) {
    Content content;
    if (f.outcome != Outcome::Ok) {
        content.detail = f.detail;
        if (f.outcome == Outcome::CheckerFailed && m_report.fatal.empty())
            m_report.fatal = "the checker failed: " + f.detail;
        return content;
    }
    content.present = true;
    content.size = f.size;
    if (f.body.size() == f.size) {
        content.sha256 = Sha256Of(f.body);
    } else if (!m_digester) {
        content.digestKnown = false;
    } else if (const std::optional<Sha256Digest> digest = m_digester(url)) {
        content.sha256 = *digest;
    } else if (m_report.fatal.empty()) {
        m_report.fatal = "the checker failed: cannot read the whole of " + m_site->Where(url);
    }
    return content;
}

Fetched SiteRead::KeepFile(const std::string& url, Fetched fetched, std::size_t headBytes) {
    const std::string path = PathOf(url);
    if (path.empty()) {
        if (fetched.body.size() > headBytes) fetched.body.resize(headBytes);
        return fetched;
    }
    const auto [read, first] = m_fileReads.try_emplace(path);
    if (first) read->second.content = FileContentOf(url, fetched);
    if (fetched.body.size() > headBytes) fetched.body.resize(headBytes);
    // A file asked for twice (once as a data file, once as a setup
    // program) is answered from the fuller head.
    if (first || read->second.fetched.body.size() < fetched.body.size())
        read->second.fetched = fetched;
    return fetched;
}

const Content& SiteRead::FileContent(const std::string& path) {
    const auto known = m_fileReads.find(path);
    if (known != m_fileReads.end()) return known->second.content;
    const std::string url = UrlOfPath(m_origin, path);
    KeepFile(url, m_site->FetchFile(url, kWholeBytes), 0);
    return m_fileReads.at(path).content;
}

const std::string* SiteRead::Text(const std::string& path) {
    if (path.empty() || !TextContent(path).present) return nullptr;
    return &m_texts.at(path).body;
}

std::vector<ProductRead> SiteRead::Products(const std::string& catalogPath) {
    std::vector<ProductRead> products;
    const std::string* text = Text(catalogPath);
    if (text == nullptr) return products;
    const CatalogPlan plan = PlanCatalog(*text);
    for (const PlannedProduct& p : plan.products) {
        ProductRead product;
        product.line = p.line;
        product.entry = p.entry;
        product.listUrl = BuildFileListUrl(p.entry.baseUrl);
        product.listPath = p.entry.baseUrl.empty() ? std::string() : PathOf(product.listUrl);
        products.push_back(std::move(product));
    }
    return products;
}

const ListRead& SiteRead::List(const std::string& baseUrl) {
    const auto known = m_lists.find(baseUrl);
    if (known != m_lists.end()) return known->second;
    ListRead list;
    list.url = BuildFileListUrl(baseUrl);
    list.path = PathOf(list.url);
    if (const std::string* text = Text(list.path)) {
        const FileListPlan plan = PlanFileList(baseUrl, *text);
        list.usable = !plan.fails;
        for (const PlannedFile& f : plan.files) {
            if (!list.usable) break;
            FileEntry file;
            file.line = f.line;
            file.relative = f.url.substr(baseUrl.size());
            file.url = f.url;
            file.path = PathOf(f.url);
            list.files.push_back(std::move(file));
        }
    }
    return m_lists.emplace(baseUrl, std::move(list)).first->second;
}

std::string SiteRead::Root() const {
    std::string root = m_site->Where(m_origin + "/");
    if (root.empty() || root.back() != '/') root += '/';
    return root;
}

Fetched SiteRead::Replay(const std::string& url, std::size_t headBytes, bool text) {
    const std::string path = PathOf(url);
    const std::lock_guard<std::mutex> lock(m_replayLock);
    if (text) {
        TextContent(path);
        return m_texts.at(path);
    }
    FileContent(path);
    Fetched fetched = m_fileReads.at(path).fetched;
    const std::size_t wanted = headBytes < fetched.size ? headBytes : fetched.size;
    if (fetched.outcome == Outcome::Ok && fetched.body.size() < wanted) {
        fetched = KeepFile(url, m_site->FetchFile(url, headBytes), headBytes);
    }
    if (fetched.body.size() > headBytes) fetched.body.resize(headBytes);
    return fetched;
}

}  // namespace sitecheck
