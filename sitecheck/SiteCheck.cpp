#include "sitecheck/SiteCheck.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include "catalog/CatalogParser.h"
#include "catalog/CatalogPlan.h"
#include "catalog/CatalogWait.h"
#include "common/CustomerTexts.h"
#include "common/PathSplit.h"
#include "download/FileName.h"
#include "download/FilePlan.h"
#include "download/WorkFolderPath.h"
#include "sitecheck/Cp932.h"
#include "sitecheck/Rules.h"
#include "sitecheck/Url.h"

namespace sitecheck {
namespace {

// The tool's own texts, as the customer reads them (UTF-8 here).
constexpr const char* kCatalogFailure = texts::kCatalogCommunicationError;
using texts::kCatalogNoResponse;
using texts::kDownloadFailure;
using texts::kFileListFailure;
using texts::kNoProducts;
using texts::kSetupFailure;
using texts::kUpdateNotice;

// Enough of a setup program to find its PE header.
constexpr std::size_t kHeadBytes = 64 * 1024;
// Enough of a data file to tell an HTML page from it.
constexpr std::size_t kDataHeadBytes = 512;
// A catalog this large needs about 4 s on a mobile line throttled to
// 128 kbit/s (16,000 bytes a second), which Japanese carriers fall back to
// once a month's volume is used up; with a second for name lookup and the
// TLS handshake over such a line, that is the tool's whole 5000 ms wait.
constexpr uint64_t kSlowLineCatalogBytes = 64000;

std::string Sees(const char* text) { return std::string("the customer sees \"") + text + "\""; }

std::string Quote(const std::string& cp932) { return "\"" + Cp932ToUtf8(cp932) + "\""; }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    const std::size_t n = std::strlen(prefix);
    if (text.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    }
    return true;
}

bool EndsWithNoCase(const std::string& text, const char* suffix) {
    const std::size_t n = std::strlen(suffix);
    return text.size() >= n && StartsWithNoCase(text.substr(text.size() - n), suffix);
}

bool IsWholeNumber(const std::string& text) {
    std::size_t i = (!text.empty() && (text[0] == '+' || text[0] == '-')) ? 1 : 0;
    if (i == text.size()) return false;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    return true;
}

// The number as written, without '+' and leading zeros, for comparing with
// what the tool makes of it.
std::string CanonicalNumber(const std::string& text) {
    std::string sign = text[0] == '-' ? "-" : "";
    std::size_t i = (text[0] == '+' || text[0] == '-') ? 1 : 0;
    while (i + 1 < text.size() && text[i] == '0') ++i;
    std::string digits = text.substr(i);
    if (digits == "0") sign.clear();
    return sign + digits;
}

bool IsCalendarDate(const std::string& text) {
    if (text.size() != 8) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    const int year = std::stoi(text.substr(0, 4));
    const int month = std::stoi(text.substr(4, 2));
    const int day = std::stoi(text.substr(6, 2));
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || month < 1 || month > 12 || day < 1) return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

std::string DescribeByte(unsigned char c) {
    char text[16];
    if (c >= 0x20 && c < 0x7F) {
        std::snprintf(text, sizeof text, "'%c'", c);
    } else {
        std::snprintf(text, sizeof text, "byte 0x%02X", c);
    }
    return text;
}

bool LeadingOrTrailingBlankOrDot(const std::string& line) {
    auto odd = [](char c) { return c == ' ' || c == '\t' || c == '.'; };
    // A relative "./x" or "../x" starts with dots on purpose, and a last
    // part "." or ".." is a folder, judged with the file names.
    const std::size_t slash = line.find_last_of("/\\");
    const std::string last = slash == std::string::npos ? line : line.substr(slash + 1);
    if (last == "." || last == "..") return IsBlank(line.front());
    return IsBlank(line.front()) || odd(line.back());
}

bool NonAscii(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return true;
    }
    return false;
}

// An error page served in place of a file: announced as HTML, or a body
// that opens like one.
bool LooksLikeHtml(const Fetched& fetched) {
    if (StartsWithNoCase(fetched.contentType, "text/html")) return true;
    std::string head = fetched.body.substr(0, 256);
    if (head.compare(0, 3, "\xEF\xBB\xBF") == 0) head.erase(0, 3);
    const std::size_t first = head.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return false;
    head.erase(0, first);
    return StartsWithNoCase(head, "<!doctype html") || StartsWithNoCase(head, "<html") ||
           StartsWithNoCase(head, "<head") || StartsWithNoCase(head, "<body");
}

bool NamedAsHtml(const std::string& name) {
    return EndsWithNoCase(name, ".htm") || EndsWithNoCase(name, ".html") ||
           EndsWithNoCase(name, ".xhtml");
}

// CreateProcessA starts a batch file given as the command line through the
// command interpreter.
bool IsBatchFile(const std::string& name) {
    return EndsWithNoCase(name, ".bat") || EndsWithNoCase(name, ".cmd");
}

std::string NameList(const std::vector<std::string>& names) {
    std::string out;
    const std::size_t shown = names.size() < 5 ? names.size() : 5;
    for (std::size_t i = 0; i < shown; ++i) out += (i ? ", " : "") + Quote(names[i]);
    if (names.size() > shown) out += " and " + std::to_string(names.size() - shown) + " more";
    return out;
}

// A file the checker will fetch once every file list has been read.
struct FileCheck {
    std::string listWhere;
    int line = 0;
    std::string url;
    std::string name;
    bool setup = false;
    std::size_t headBytes = 0;
};

class Checker {
public:
    Checker(Site& site, const Options& options, Report& report)
        : m_site(site), m_options(options), m_report(report) {}

    // The work folder the tool would take first under the assumed Downloads
    // folder, formatted by the tool's own rule; false when it does not fit.
    bool PrepareWorkFolder() {
        char folder[kWorkFolderCapacity];
        if (!FormatWorkFolderCandidate(folder, sizeof folder, m_options.downloadsFolder.c_str(),
                                       0)) {
            return false;
        }
        m_workFolder = folder;
        return true;
    }

    void CheckCatalog(int testMode);
    // The files of every product read so far, fetched ahead as a whole.
    void CheckFiles();

private:
    void Add(const char* rule, const std::string& file, int line, std::string what,
             std::string customer) {
        const Rule* known = FindRule(rule);
        m_report.findings.push_back({file, line, known ? known->severity : Severity::Error,
                                     std::move(what), std::move(customer), rule});
    }
    // The checker's own failure ends the check: nothing it would say after
    // it could be trusted.
    bool CheckerFailed(const Fetched& fetched) {
        if (fetched.outcome != Outcome::CheckerFailed) return false;
        if (m_report.fatal.empty()) m_report.fatal = "the checker failed: " + fetched.detail;
        return true;
    }
    void CheckCertificate(const std::string& url, const std::string& file, int line);
    void CheckCatalogTime(const std::string& where, const Fetched& fetched);
    void CheckCatalogEncoding(const std::string& where, const std::string& body,
                              const std::string& text);
    void CheckZeroCut(const std::string& where, const CatalogPlan& plan);
    void CheckEntry(const std::string& where, int line, const std::string& lineText,
                    const CatalogEntry& entry, bool byteOrderMark);
    void CheckProduct(const std::string& catalogWhere, int catalogLine, const CatalogEntry& entry);
    void CheckFileNames(const std::string& where, const FileListPlan& list);
    void CheckFile(const FileCheck& file);

    Site& m_site;
    const Options& m_options;
    Report& m_report;
    std::set<std::string> m_checkedAuthorities;
    std::set<std::string> m_checkedBaseUrls;
    std::string m_workFolder;
    std::vector<FileCheck> m_files;
};

void Checker::CheckCertificate(const std::string& url, const std::string& file, int line) {
    if (!m_site.Live() || !StartsWithNoCase(url, "https://")) return;
    const std::string authority = AuthorityOf(url);
    if (!m_checkedAuthorities.insert(authority).second) return;
    const std::string reason = m_site.CertificateWarning(url);
    if (!reason.empty()) {
        Add("VS501", file, line, "the certificate of " + authority + " " + reason,
            "the tool accepts it, but a browser opening the same address shows a security warning");
    }
    // An expired certificate is outside its dates, said above.
    const std::optional<int> days = m_site.CertificateDaysLeft(url);
    if (days && *days >= 0 && *days <= m_options.certDays) {
        Add("VS502", file, line,
            "the certificate of " + authority + " expires in " + std::to_string(*days) +
                (*days == 1 ? " day" : " days") + " (warned within " +
                std::to_string(m_options.certDays) + ")",
            "once it has expired the tool still downloads, but a browser opening the same "
            "address shows a security warning");
    }
}

void Checker::CheckCatalogTime(const std::string& where, const Fetched& fetched) {
    if (fetched.outcome == Outcome::TimedOut) {
        Add("VS120", where, 0,
            "the catalog did not arrive within the tool's " + std::to_string(kCatalogWaitMs) +
                " ms wait" +
                (fetched.elapsedMs
                     ? " (gave up after " + std::to_string(*fetched.elapsedMs) + " ms)"
                     : std::string()),
            Sees(kCatalogNoResponse));
        return;
    }
    if (m_site.Live() && fetched.elapsedMs && *fetched.elapsedMs > kCatalogWaitMs / 2) {
        Add("VS121", where, 0,
            "the catalog took " + std::to_string(*fetched.elapsedMs) + " ms of the tool's " +
                std::to_string(kCatalogWaitMs) + " ms wait",
            "on a slower line " + Sees(kCatalogNoResponse));
    }
    if (!m_site.Live() && fetched.size >= kSlowLineCatalogBytes) {
        Add("VS122", where, 0,
            "the catalog has " + std::to_string(fetched.size) + " bytes; a line throttled to " +
                "128 kbit/s needs about 4 s of the tool's " + std::to_string(kCatalogWaitMs) +
                " ms wait for " + std::to_string(kSlowLineCatalogBytes) + " bytes",
            "on a slow line " + Sees(kCatalogNoResponse));
    }
}

void Checker::CheckCatalogEncoding(const std::string& where, const std::string& body,
                                   const std::string& text) {
    std::size_t skip = 0;
    if (body.size() >= 2 &&
        (body.compare(0, 2, "\xFF\xFE") == 0 || body.compare(0, 2, "\xFE\xFF") == 0)) {
        Add("VS104", where, 1, "the catalog starts with a UTF-16 byte-order mark",
            "the tool reads it up to its first zero byte: products are garbled or missing");
        skip = 2;
    } else if (body.size() >= 3 && body.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        skip = 3;
        Add("VS103", where, 1,
            "the catalog starts with a UTF-8 byte-order mark, read as part of the first "
            "line's number column",
            "nothing visible: that number becomes 0, and the tool shows the number nowhere");
    }
    // After a reported mark, the rest is judged on its own, column by
    // column: only the name (shown) and the URL (requested) reach the
    // customer; the other columns' bytes are carried and never used.
    const std::string rest = text.size() >= skip ? text.substr(skip) : std::string();
    const bool utf8 = IsUtf8WithNonAscii(rest);
    bool utf8Reported = false, otherReported = false;
    for (const TextLine& line : SplitTextLines(rest)) {
        const std::string lineText = rest.substr(line.start, line.length);
        std::size_t column = 1, start = 0;
        for (;;) {
            const std::size_t end = FindColumnEnd(lineText.c_str(), start);
            const std::string_view value(lineText.data() + start, end - start);
            const bool shown = column == 2 || column == 3;
            const char* label = column == 2 ? "name" : column == 3 ? "URL" : nullptr;
            if (utf8 && NonAscii(value)) {
                if (shown && !utf8Reported) {
                    Add("VS105", where, line.number,
                        std::string("the ") + label +
                            " column is UTF-8, not Shift-JIS (code page "
                            "932): the catalog is saved as UTF-8",
                        column == 2 ? "product names in the list appear garbled"
                                    : "the tool requests the URL's bytes as they are");
                    utf8Reported = true;
                } else if (!shown && !otherReported) {
                    Add("VS106", where, line.number,
                        "column " + std::to_string(column) + " is UTF-8, not Shift-JIS",
                        "nothing visible: the tool shows this column nowhere");
                    otherReported = true;
                }
            } else if (!utf8) {
                if (const auto bad = FirstUndecodableByte(value)) {
                    char what[200];
                    std::snprintf(what, sizeof what,
                                  "byte 0x%02X at column %zu (in column %zu) cannot be decoded "
                                  "in code page 932 (Shift-JIS)",
                                  static_cast<unsigned char>(value[*bad]), start + *bad + 1,
                                  column);
                    if (shown) {
                        Add("VS107", where, line.number, std::string(what) + ", in the " + label,
                            column == 2 ? "the name appears garbled in the list"
                                        : "the URL does not match the published file");
                    } else {
                        Add("VS106", where, line.number, what,
                            "nothing visible: the tool shows this column nowhere");
                    }
                }
            }
            if (end >= lineText.size()) break;
            start = end + 1;
            ++column;
        }
    }
}

void Checker::CheckZeroCut(const std::string& where, const CatalogPlan& plan) {
    if (!plan.zeroCut) return;
    std::vector<std::string> lost;
    for (const PlannedProduct& p : plan.lostAfterZero) lost.push_back(p.entry.name);
    if (lost.empty()) return;  // zero bytes at the very end cut nothing
    Add("VS109", where, plan.zeroCut->line,
        "a zero byte at column " + std::to_string(plan.zeroCut->column) +
            ": the tool reads nothing after it",
        "the list never shows " + NameList(lost));
}

void Checker::CheckCatalog(int testMode) {
    const std::string url = m_site.CatalogUrl(testMode);
    const std::string where = m_site.Where(url);
    const Fetched fetched = m_site.FetchCatalog(url);
    CheckCertificate(url, where, 0);
    if (CheckerFailed(fetched)) return;
    if (fetched.outcome == Outcome::NoAnswer && m_site.Live()) {
        m_report.fatal = "cannot reach " + url + ": " + fetched.detail;
        return;
    }
    if (m_site.Live() && fetched.elapsedMs) {
        m_report.catalogMilliseconds.push_back(*fetched.elapsedMs);
    }
    CheckCatalogTime(where, fetched);
    if (fetched.outcome == Outcome::TimedOut) return;
    if (fetched.outcome != Outcome::Ok) {
        Add("VS101", where, 0, "the catalog cannot be fetched: " + fetched.detail,
            Sees(kCatalogFailure));
        return;
    }
    ++m_report.catalogs;
    const CatalogPlan plan = PlanCatalog(fetched.body);
    if (plan.updateNotice) {
        Add("VS102", where, 1, "the catalog is the update notice (its first byte is \"!\")",
            Sees(kUpdateNotice) + " and can download nothing");
        return;
    }
    CheckCatalogEncoding(where, fetched.body, plan.text);
    CheckZeroCut(where, plan);

    // The lines must give exactly the tool's catalog; anything else would
    // mean judging a different catalog than the customer gets.
    const CatalogList tool = ParseCatalog(plan.text.c_str());
    bool same = plan.products.size() == tool.size();
    for (std::size_t i = 0; same && i < tool.size(); ++i) {
        const CatalogEntry& seen = plan.products[i].entry;
        same = seen.name == tool[i].name && seen.baseUrl == tool[i].baseUrl &&
               seen.date == tool[i].date && seen.number == tool[i].number;
    }
    if (!same) {
        m_report.fatal = "internal: the catalog's lines do not add up to the tool's catalog";
        return;
    }

    const std::vector<TextLine> lines = SplitTextLines(plan.text);
    std::size_t nameless = 0, product = 0;
    std::map<std::string, int> nameLines;
    for (const TextLine& line : lines) {
        const std::string lineText = plan.text.substr(line.start, line.length);
        if (nameless < plan.namelessLines.size() && plan.namelessLines[nameless] == line.number) {
            ++nameless;
            Add("VS108", where, line.number, "the name column (column 2) is empty",
                "this line's product is missing from the list, without any message");
            continue;
        }
        if (product >= plan.products.size() || plan.products[product].line != line.number) {
            continue;
        }
        const CatalogEntry& entry = plan.products[product++].entry;
        if (!lineText.empty() && lineText[0] == '#') {
            Add("VS110", where, line.number,
                "the line begins with \"#\", but the catalog has no comment lines",
                "the product " + Quote(entry.name) + " is listed like any other");
        }
        const auto known = nameLines.find(entry.name);
        if (known != nameLines.end()) {
            Add("VS118", where, line.number,
                "the product name " + Quote(entry.name) + " is also on line " +
                    std::to_string(known->second),
                "two items of the same name in the list");
        } else {
            nameLines.emplace(entry.name, line.number);
        }
        const bool byteOrderMark = line.number == 1 && plan.text.compare(0, 3, "\xEF\xBB\xBF") == 0;
        CheckEntry(where, line.number, lineText, entry, byteOrderMark);
    }
    if (plan.products.empty()) {
        Add("VS119", where, 0, "the catalog lists no product", Sees(kNoProducts));
    }
    m_report.products += static_cast<int>(plan.products.size());
    for (const PlannedProduct& p : plan.products) {
        // A URL column that is no http(s) URL has been reported already.
        if (!AuthorityOf(p.entry.baseUrl).empty()) CheckProduct(where, p.line, p.entry);
        if (!m_report.fatal.empty()) return;
    }
}

void Checker::CheckEntry(const std::string& where, int line, const std::string& lineText,
                         const CatalogEntry& entry, bool byteOrderMark) {
    std::string column1 = lineText.substr(0, FindColumnEnd(lineText.c_str(), 0));
    // The mark's own finding says what becomes of this number.
    if (byteOrderMark) column1.erase(0, 3);
    const std::string name = Quote(entry.name);
    if (!byteOrderMark &&
        (!IsWholeNumber(column1) || CanonicalNumber(column1) != std::to_string(entry.number))) {
        Add("VS116", where, line,
            "the number column " + Quote(column1) + " is not a whole number in 32 bits",
            "the tool takes it as " + std::to_string(entry.number));
    }
    if (!IsCalendarDate(entry.date)) {
        Add("VS117", where, line,
            "the date column " + Quote(entry.date) + " is not a date written yyyymmdd",
            "nothing visible: the tool carries the date but shows it nowhere");
    }
    if (entry.baseUrl.empty()) {
        Add("VS111", where, line, "the URL column (column 3) of " + name + " is empty",
            "the start button does nothing for this product");
        return;
    }
    const std::string authority = AuthorityOf(entry.baseUrl);
    if (authority.empty()) {
        Add("VS112", where, line,
            "the URL column " + Quote(entry.baseUrl) + " is not an http or https URL",
            Sees(kFileListFailure));
        return;
    }
    if (entry.baseUrl.back() != '/') {
        Add("VS113", where, line,
            "the URL column " + Quote(entry.baseUrl) + " does not end in \"/\"",
            "the tool requests " + Quote(BuildFileListUrl(entry.baseUrl)) +
                ", the list's name glued on without a separator");
    }
    if (!StartsWithNoCase(entry.baseUrl, "https://")) {
        Add("VS114", where, line, "the URL column " + Quote(entry.baseUrl) + " is not https",
            "the product's files travel unencrypted and unauthenticated");
    }
    if (authority != m_site.Authority()) {
        Add("VS115", where, line,
            "the URL column points to " + authority + ", not to the site's host " +
                m_site.Authority() + (m_site.Live() ? "" : "; not followed in directory mode"),
            "the product depends on a second server");
    }
}

void Checker::CheckProduct(const std::string& catalogWhere, int catalogLine,
                           const CatalogEntry& entry) {
    if (!m_checkedBaseUrls.insert(entry.baseUrl).second) return;
    const std::string listUrl = BuildFileListUrl(entry.baseUrl);
    const Fetched fetched = m_site.FetchText(listUrl);
    CheckCertificate(listUrl, catalogWhere, catalogLine);
    if (CheckerFailed(fetched)) return;
    if (fetched.outcome == Outcome::NotFollowed) return;
    if (fetched.outcome != Outcome::Ok) {
        Add("VS201", catalogWhere, catalogLine,
            "the file list " + Quote(listUrl) + " of " + Quote(entry.name) + ": " + fetched.detail,
            Sees(kFileListFailure));
        return;
    }
    const std::string where = m_site.Where(listUrl);
    const FileListPlan list = PlanFileList(entry.baseUrl, fetched.body);
    if (list.zeroCut && !list.lostAfterZero.empty()) {
        std::vector<std::string> lost;
        for (const PlannedFile& f : list.lostAfterZero) {
            char name[kLocalPathCapacity] = "";
            FileNameOfPath(f.url.c_str(), name, sizeof name);
            lost.push_back(name[0] != '\0' ? std::string(name) : f.url);
        }
        Add("VS204", where, list.zeroCut->line,
            "a zero byte at column " + std::to_string(list.zeroCut->column) +
                ": the tool reads nothing after it",
            "never downloaded: " + NameList(lost));
    }
    if (list.fails) {
        const std::vector<TextLine> lines = SplitTextLines(list.text);
        for (int line : list.overlongLines) {
            const TextLine& text = lines[static_cast<std::size_t>(line - 1)];
            Add("VS202", where, line,
                "the line is " + std::to_string(text.length) + " bytes long, over the " +
                    std::to_string(kMaxFileListLine) + " bytes the tool reads",
                "the whole list fails: " + Sees(kFileListFailure));
        }
        return;
    }
    const std::optional<FileList> tool = ParseFileList(entry.baseUrl, list.text.c_str());
    bool same = tool && tool->size() == list.files.size();
    for (std::size_t i = 0; same && i < list.files.size(); ++i)
        same = (*tool)[i] == list.files[i].url;
    if (!same) {
        m_report.fatal = "internal: the lines of " + where + " do not add up to the tool's list";
        return;
    }
    if (list.files.empty()) {
        Add("VS203", where, 0, "the file list names no file",
            "the start button silently does nothing for " + Quote(entry.name));
        return;
    }
    m_report.files += static_cast<int>(list.files.size());
    CheckFileNames(where, list);
}

void Checker::CheckFileNames(const std::string& where, const FileListPlan& list) {
    FileList urls;
    for (const PlannedFile& f : list.files) urls.push_back(f.url);
    const std::vector<FilePlanEntry> plan = PlanFiles(urls, m_workFolder);
    const std::string afterSetup = std::string(" and then ") + Sees(kSetupFailure);
    const std::vector<TextLine> lines = SplitTextLines(list.text);

    for (std::size_t i = 0; i < plan.size(); ++i) {
        const FilePlanEntry& entry = plan[i];
        const int line = list.files[i].line;
        const TextLine& text = lines[static_cast<std::size_t>(line - 1)];
        const std::string relative = list.text.substr(text.start, text.length);
        if (LeadingOrTrailingBlankOrDot(relative)) {
            Add("VS205", where, line,
                "the line " + Quote(relative) + " begins or ends with a blank or a dot",
                "the tool requests it with them, but Windows drops trailing blanks and dots "
                "from the local file name");
        }
        if (entry.endsLoop) {
            std::vector<std::string> skipped;
            for (std::size_t k = i + 1; entry.reached && k < plan.size(); ++k) {
                skipped.push_back(plan[k].name);
            }
            std::string customer = Sees(kDownloadFailure);
            if (!skipped.empty()) customer += " and " + NameList(skipped) + " are never requested";
            if (entry.setup) customer += afterSetup;
            const std::string name = Quote(entry.name);
            switch (entry.fault) {
                case TargetFault::NameBuffer:
                case TargetFault::PathBuffer:
                    Add("VS308", where, line,
                        "the local path " + Quote(m_workFolder + entry.name) + " has " +
                            std::to_string(entry.pathBytes) + " bytes, over the tool's " +
                            std::to_string(kLocalPathCapacity - 1) + "-byte buffer",
                        customer);
                    break;
                case TargetFault::PlatformPath:
                    Add("VS307", where, line,
                        "the local path " + Quote(entry.path) + " has " +
                            std::to_string(entry.pathCharacters) + " characters, over the " +
                            std::to_string(kPlatformPathCharacters) +
                            " the ANSI file functions take (MAX_PATH), assuming the work folder " +
                            Quote(m_workFolder),
                        customer);
                    break;
                case TargetFault::EmptyName:
                    Add("VS303", where, line,
                        "the entry " + Quote(relative) +
                            " gives an empty file name (it ends in \"/\" or a part of it is over " +
                            std::to_string(kMaxSplitPart) + " bytes)",
                        customer);
                    break;
                case TargetFault::FolderName:
                    Add("VS304", where, line,
                        "the file name " + name + " names a folder, not a file", customer);
                    break;
                case TargetFault::ConsoleName:
                    Add("VS305", where, line,
                        "the file name " + name +
                            " is a device name Windows reserves (the "
                            "console), which cannot be opened as a file",
                        customer);
                    break;
                case TargetFault::RefusedCharacter:
                    Add("VS306", where, line,
                        "the file name " + name + " holds " + DescribeByte(entry.refusedByte) +
                            ", which Windows refuses in file names",
                        customer);
                    break;
                case TargetFault::None:
                    break;
            }
            continue;
        }
        if (entry.deviceName) {
            Add("VS305", where, line,
                "the file name " + Quote(entry.name) + " is a device name Windows reserves",
                "the file never lands in the work folder" +
                    (entry.setup ? afterSetup : std::string()));
            continue;
        }
        if (entry.replaces) {
            const std::size_t earlier = *entry.replaces;
            const bool setup = plan[earlier].setup;
            Add(setup ? "VS302" : "VS301", where, line,
                "the file name " + Quote(entry.name) + " lands on the same local file as " +
                    Quote(plan[earlier].name) + " on line " +
                    std::to_string(list.files[earlier].line),
                setup ? "this file replaces the setup program in the work folder and is started "
                        "as the setup"
                      : "this file replaces the earlier one in the work folder");
        }
        m_files.push_back({where, line, entry.url, entry.name, entry.setup,
                           entry.setup ? kHeadBytes : (m_site.Live() ? kDataHeadBytes : 0)});
    }
}

void Checker::CheckFiles() {
    // Each file once, in the order it will be asked for.
    std::vector<std::pair<std::string, std::size_t>> ahead;
    std::map<std::string, std::size_t> index;
    for (const FileCheck& file : m_files) {
        const auto known = index.find(file.url);
        if (known == index.end()) {
            index.emplace(file.url, ahead.size());
            ahead.emplace_back(file.url, file.headBytes);
        } else if (ahead[known->second].second < file.headBytes) {
            ahead[known->second].second = file.headBytes;
        }
    }
    m_site.Prefetch(ahead);
    for (FileCheck& file : m_files) {
        // A file listed twice is asked for with the most bytes any entry needs.
        file.headBytes = ahead[index[file.url]].second;
        CheckFile(file);
        if (!m_report.fatal.empty()) return;
    }
}

void Checker::CheckFile(const FileCheck& file) {
    const Fetched fetched = m_site.FetchFile(file.url, file.headBytes);
    CheckCertificate(file.url, file.listWhere, file.line);
    if (CheckerFailed(fetched)) return;
    if (fetched.outcome == Outcome::NotFollowed) return;
    const std::string quoted = Quote(file.name);
    const std::string afterSetup = std::string(" and then ") + Sees(kSetupFailure);
    if (fetched.outcome == Outcome::BrokenOff) {
        Add("VS403", file.listWhere, file.line,
            "the transfer of " + quoted + " broke off: " + fetched.detail,
            Sees(kDownloadFailure) + (file.setup ? afterSetup : std::string()));
        return;
    }
    if (fetched.outcome != Outcome::Ok) {
        std::string customer = Sees(kDownloadFailure);
        if (fetched.outcome != Outcome::Status) customer += " and no later file is downloaded";
        if (file.setup) customer += std::string(", then ") + Sees(kSetupFailure);
        Add(file.setup ? "VS401" : "VS402", file.listWhere, file.line,
            std::string(file.setup ? "the setup program " : "the file ") + quoted + ": " +
                fetched.detail,
            customer);
        return;
    }
    if (file.setup && fetched.size == 0) {
        Add("VS404", file.listWhere, file.line, "the setup program " + quoted + " is empty",
            Sees(kSetupFailure));
    } else if (file.setup && !LooksLikeWindowsExecutable(fetched.body)) {
        if (IsBatchFile(file.name)) {
            Add("VS406", file.listWhere, file.line,
                "the setup program " + quoted + " is a batch file",
                "Windows runs it through the command interpreter, in a console window");
        } else {
            Add("VS405", file.listWhere, file.line,
                "the setup program " + quoted +
                    " is not a Windows executable (no \"MZ\" ... \"PE\" header)",
                Sees(kSetupFailure));
        }
    } else if (!file.setup && m_site.Live() && !NamedAsHtml(file.name) && LooksLikeHtml(fetched)) {
        Add("VS409", file.listWhere, file.line,
            quoted + " is answered with status 200 and an HTML page" +
                (fetched.contentType.empty() ? std::string()
                                             : " (Content-Type: " + fetched.contentType + ")"),
            "the page is saved as " + quoted + " and the setup finds a broken file");
    }
    if (fetched.lengthKnown) {
        if (!fetched.contentLength) {
            Add("VS407", file.listWhere, file.line, quoted + " is served without Content-Length",
                "the progress window shows no total size and no remaining time");
        } else if (static_cast<uint64_t>(*fetched.contentLength) != fetched.size) {
            Add("VS408", file.listWhere, file.line,
                "the Content-Length of " + quoted + " reads as " +
                    std::to_string(*fetched.contentLength) + " but its body has " +
                    std::to_string(fetched.size) + " bytes",
                "the progress window shows a wrong total");
        }
    }
}

}  // namespace

std::string Options::DefaultDownloadsFolder() {
    // A user name of 20 characters, the longest Windows allows.
    return "C:\\Users\\abcdefghijklmnopqrst\\Downloads\\";
}

int Report::Count(Severity severity) const {
    int n = 0;
    for (const Finding& f : findings) n += f.severity == severity;
    return n;
}

int Report::ExitStatus() const {
    if (!fatal.empty()) return 3;
    return Count(Severity::Error) > 0 ? 1 : 0;
}

Report CheckSite(Site& site, const Options& options) {
    Report report;
    Checker checker(site, options, report);
    if (!checker.PrepareWorkFolder()) {
        report.fatal =
            "the Downloads folder " + options.downloadsFolder + " is too long for a work folder";
        return report;
    }
    if (options.normalCatalog) checker.CheckCatalog(0);
    if (report.fatal.empty() && options.testCatalog) checker.CheckCatalog(1);
    if (report.fatal.empty()) checker.CheckFiles();
    return report;
}

std::string AuthorityOf(const std::string& url) {
    const std::string origin = SplitUrl(url).origin;
    std::string scheme;
    if (StartsWithNoCase(origin, "https://")) {
        scheme = "https";
    } else if (StartsWithNoCase(origin, "http://")) {
        scheme = "http";
    } else {
        return std::string();
    }
    std::string authority = origin.substr(scheme.size() + 3);
    for (char& c : authority) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string defaultPort = scheme == "https" ? ":443" : ":80";
    if (authority.size() > defaultPort.size() &&
        authority.compare(authority.size() - defaultPort.size(), defaultPort.size(), defaultPort) ==
            0) {
        authority.resize(authority.size() - defaultPort.size());
    }
    return authority;
}

bool LooksLikeWindowsExecutable(const std::string& head) {
    if (head.size() < 0x40 || head[0] != 'M' || head[1] != 'Z') return false;
    const auto byte = [&](std::size_t i) {
        return static_cast<uint32_t>(static_cast<unsigned char>(head[i]));
    };
    const uint32_t offset = byte(0x3C) | byte(0x3D) << 8 | byte(0x3E) << 16 | byte(0x3F) << 24;
    if (offset > head.size() || head.size() - offset < 4) return false;
    return head.compare(offset, 4, std::string("PE\0\0", 4)) == 0;
}

}  // namespace sitecheck
