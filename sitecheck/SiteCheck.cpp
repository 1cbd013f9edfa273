#include "sitecheck/SiteCheck.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include "catalog/CatalogParser.h"
#include "catalog/UpdateNotice.h"
#include "common/CustomerTexts.h"
#include "common/ShiftJis.h"
#include "download/FileName.h"
#include "download/WorkFolderPath.h"
#include "sitecheck/Cp932.h"

namespace sitecheck {
namespace {

// The tool's own texts, as the customer reads them (UTF-8 here).
constexpr const char* kCatalogFailure = texts::kCatalogCommunicationError;
using texts::kDownloadFailure;
using texts::kFileListFailure;
using texts::kNoProducts;
using texts::kSetupFailure;
using texts::kUpdateNotice;

// The platform's MAX_PATH: the ANSI file functions the tool creates its
// files with take no longer path, and the work folder is formatted into a
// buffer of this size.
constexpr std::size_t kMaxPath = 260;
// Enough of a setup program to find its PE header.
constexpr std::size_t kHeadBytes = 64 * 1024;

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

// Device names Windows reserves in every folder, with or without extension.
bool IsReservedDeviceName(const std::string& name) {
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (char& c : stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return true;
    return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
           stem[3] >= '1' && stem[3] <= '9';
}

// The first single-byte character Windows refuses in a file name, stepping
// over double-byte characters the way the tool's name rule does (a trail
// byte 0x7C is no '|').
std::optional<unsigned char> RefusedCharacter(const std::string& name) {
    for (std::size_t i = 0; i < name.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (sjis::IsDoubleByteAt(name.c_str(), i)) {
            ++i;
            continue;
        }
        if (c < 0x20 || std::strchr("<>:\"/\\|?*", c) != nullptr) return c;
    }
    return std::nullopt;
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

class Checker {
public:
    Checker(Site& site, const Options& options, Report& report)
        : m_site(site), m_options(options), m_report(report) {}

    // The work folder the tool would take first under the assumed Downloads
    // folder, formatted by the tool's own rule; false when it does not fit.
    bool PrepareWorkFolder() {
        char folder[kMaxPath];
        if (!FormatWorkFolderCandidate(folder, sizeof folder, m_options.downloadsFolder.c_str(),
                                       0)) {
            return false;
        }
        m_workFolder = folder;
        return true;
    }

    void CheckCatalog(int testMode);

private:
    void Add(const std::string& file, int line, Severity severity, std::string what,
             std::string customer) {
        m_report.findings.push_back({file, line, severity, std::move(what), std::move(customer)});
    }
    void CheckCertificate(const std::string& url, const std::string& file, int line);
    void CheckCatalogEncoding(const std::string& where, const std::string& raw,
                              const std::string& text);
    void CheckEntry(const std::string& where, const Line& line, const std::string& lineText,
                    const CatalogEntry& entry);
    void CheckProduct(const std::string& catalogWhere, int catalogLine, const CatalogEntry& entry);
    void CheckFile(const std::string& listWhere, int line, const std::string& url, bool setup,
                   const std::string& name);

    Site& m_site;
    const Options& m_options;
    Report& m_report;
    std::set<std::string> m_checkedAuthorities;
    std::set<std::string> m_checkedBaseUrls;
    std::string m_workFolder;
};

void Checker::CheckCertificate(const std::string& url, const std::string& file, int line) {
    if (!m_site.Live() || !StartsWithNoCase(url, "https://")) return;
    if (!m_checkedAuthorities.insert(AuthorityOf(url)).second) return;
    const std::string reason = m_site.CertificateWarning(url);
    if (!reason.empty()) {
        Add(file, line, Severity::Warning, "the certificate of " + AuthorityOf(url) + " " + reason,
            "the tool accepts it, but a browser opening the same address shows a security warning");
    }
}

void Checker::CheckCatalogEncoding(const std::string& where, const std::string& raw,
                                   const std::string& text) {
    std::size_t skip = 0;
    if (raw.size() >= 3 && raw.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        skip = 3;
        Add(where, 1, Severity::Error, "the catalog starts with a UTF-8 byte-order mark",
            "the mark is read as part of the first line; an editor that writes it saves "
            "UTF-8, whose Japanese names appear garbled");
    } else if (raw.size() >= 2 &&
               (raw.compare(0, 2, "\xFF\xFE") == 0 || raw.compare(0, 2, "\xFE\xFF") == 0)) {
        skip = 2;
        Add(where, 1, Severity::Error, "the catalog starts with a UTF-16 byte-order mark",
            "the tool reads it up to its first zero byte: products are garbled or missing");
    }
    // After a reported mark, the rest of the text is judged on its own.
    const std::string rest = text.size() >= skip ? text.substr(skip) : std::string();
    const std::vector<Line> lines = SplitLines(rest);
    if (IsUtf8WithNonAscii(rest)) {
        for (const Line& line : lines) {
            const std::string_view view(rest.data() + line.start, line.length);
            bool nonAscii = false;
            for (char c : view) nonAscii |= static_cast<unsigned char>(c) >= 0x80;
            if (!nonAscii) continue;
            Add(where, line.number, Severity::Error,
                "the catalog is UTF-8, not Shift-JIS (code page 932)",
                "product names in the list appear garbled");
            break;
        }
        return;
    }
    for (const Line& line : lines) {
        const std::string_view view(rest.data() + line.start, line.length);
        const std::optional<std::size_t> bad = FirstUndecodableByte(view);
        if (!bad) continue;
        char what[160];
        std::snprintf(what, sizeof what,
                      "byte 0x%02X at column %zu cannot be decoded in code page 932 (Shift-JIS)",
                      static_cast<unsigned char>(view[*bad]), *bad + 1);
        Add(where, line.number, Severity::Error, what, "the text appears garbled in the list");
    }
}

void Checker::CheckCatalog(int testMode) {
    const std::string url = m_site.CatalogUrl(testMode);
    const std::string where = m_site.Where(url);
    CheckCertificate(url, where, 0);
    const Fetched fetched = m_site.FetchText(url);
    if (fetched.outcome == Outcome::NoAnswer && m_site.Live()) {
        m_report.fatal = "cannot reach " + url + ": " + fetched.detail;
        return;
    }
    if (fetched.outcome != Outcome::Ok) {
        Add(where, 0, Severity::Error, "the catalog cannot be fetched: " + fetched.detail,
            Sees(kCatalogFailure));
        return;
    }
    ++m_report.catalogs;
    const std::string text = TextUpToFirstZero(
        reinterpret_cast<const uint8_t*>(fetched.body.data()), fetched.body.size());
    if (IsUpdateNotice(text)) {
        Add(where, 1, Severity::Error, "the catalog is the update notice (its first byte is \"!\")",
            Sees(kUpdateNotice) + " and can download nothing");
        return;
    }
    CheckCatalogEncoding(where, fetched.body, text);

    const CatalogList tool = ParseCatalog(text.c_str());
    CatalogList seen;
    std::map<std::string, int> nameLines;
    std::vector<std::pair<int, CatalogEntry>> entries;
    for (const Line& line : SplitLines(text)) {
        const std::string lineText = text.substr(line.start, line.length);
        CatalogList one = ParseCatalog(lineText.c_str());
        if (one.empty()) {
            bool blank = true;
            for (char c : lineText) blank &= IsBlank(c);
            if (!blank) {
                Add(where, line.number, Severity::Error, "the name column (column 2) is empty",
                    "this line's product is missing from the list, without any message");
            }
            continue;
        }
        const CatalogEntry& entry = one.front();
        seen.push_back(entry);
        const auto known = nameLines.find(entry.name);
        if (known != nameLines.end()) {
            Add(where, line.number, Severity::Warning,
                "the product name " + Quote(entry.name) + " is also on line " +
                    std::to_string(known->second),
                "two items of the same name in the list");
        } else {
            nameLines.emplace(entry.name, line.number);
        }
        CheckEntry(where, line, lineText, entry);
        entries.emplace_back(line.number, entry);
    }
    // The lines cut here must give exactly the tool's catalog; anything
    // else would mean judging a different catalog than the customer gets.
    bool same = seen.size() == tool.size();
    for (std::size_t i = 0; same && i < seen.size(); ++i) {
        same = seen[i].name == tool[i].name && seen[i].baseUrl == tool[i].baseUrl &&
               seen[i].date == tool[i].date && seen[i].number == tool[i].number;
    }
    if (!same) {
        m_report.fatal = "internal: the catalog's lines do not add up to the tool's catalog";
        return;
    }
    if (tool.empty()) {
        Add(where, 0, Severity::Warning, "the catalog lists no product", Sees(kNoProducts));
    }
    m_report.products += static_cast<int>(tool.size());
    for (const auto& [number, entry] : entries) {
        // A URL column that is no http(s) URL has been reported already.
        if (!AuthorityOf(entry.baseUrl).empty()) CheckProduct(where, number, entry);
    }
}

void Checker::CheckEntry(const std::string& where, const Line& line, const std::string& lineText,
                         const CatalogEntry& entry) {
    const std::string column1 = lineText.substr(0, FindColumnEnd(lineText.c_str(), 0));
    const std::string name = Quote(entry.name);
    if (!IsWholeNumber(column1) || CanonicalNumber(column1) != std::to_string(entry.number)) {
        Add(where, line.number, Severity::Warning,
            "the number column " + Quote(column1) + " is not a whole number in 32 bits",
            "the tool takes it as " + std::to_string(entry.number));
    }
    if (!IsCalendarDate(entry.date)) {
        Add(where, line.number, Severity::Warning,
            "the date column " + Quote(entry.date) + " is not a date written yyyymmdd",
            "nothing visible: the tool carries the date but shows it nowhere");
    }
    if (entry.baseUrl.empty()) {
        Add(where, line.number, Severity::Error,
            "the URL column (column 3) of " + name + " is empty",
            "the start button does nothing for this product");
        return;
    }
    const std::string authority = AuthorityOf(entry.baseUrl);
    if (authority.empty()) {
        Add(where, line.number, Severity::Error,
            "the URL column " + Quote(entry.baseUrl) + " is not an http or https URL",
            Sees(kFileListFailure));
        return;
    }
    if (entry.baseUrl.back() != '/') {
        Add(where, line.number, Severity::Warning,
            "the URL column " + Quote(entry.baseUrl) + " does not end in \"/\"",
            "the tool requests " + Quote(BuildFileListUrl(entry.baseUrl)) +
                ", the list's name glued on without a separator");
    }
    if (!StartsWithNoCase(entry.baseUrl, "https://")) {
        Add(where, line.number, Severity::Warning,
            "the URL column " + Quote(entry.baseUrl) + " is not https",
            "the product's files travel unencrypted and unauthenticated");
    }
    if (authority != m_site.Authority()) {
        Add(where, line.number, Severity::Warning,
            "the URL column points to " + authority + ", not to the site's host " +
                m_site.Authority() + (m_site.Live() ? "" : "; not followed in directory mode"),
            "the product depends on a second server");
    }
}

void Checker::CheckProduct(const std::string& catalogWhere, int catalogLine,
                           const CatalogEntry& entry) {
    if (!m_checkedBaseUrls.insert(entry.baseUrl).second) return;
    const std::string listUrl = BuildFileListUrl(entry.baseUrl);
    CheckCertificate(listUrl, catalogWhere, catalogLine);
    const Fetched fetched = m_site.FetchText(listUrl);
    if (fetched.outcome == Outcome::NotFollowed) return;
    if (fetched.outcome != Outcome::Ok) {
        Add(catalogWhere, catalogLine, Severity::Error,
            "the file list " + Quote(listUrl) + " of " + Quote(entry.name) + ": " + fetched.detail,
            Sees(kFileListFailure));
        return;
    }
    const std::string where = m_site.Where(listUrl);
    const std::string text = TextUpToFirstZero(
        reinterpret_cast<const uint8_t*>(fetched.body.data()), fetched.body.size());
    const std::optional<FileList> tool = ParseFileList(entry.baseUrl, text.c_str());
    const std::vector<Line> lines = SplitLines(text);
    if (!tool) {
        for (const Line& line : lines) {
            if (line.length <= kMaxFileListLine) continue;
            Add(where, line.number, Severity::Error,
                "the line is " + std::to_string(line.length) + " bytes long, over the " +
                    std::to_string(kMaxFileListLine) + " bytes the tool reads",
                "the whole list fails: " + Sees(kFileListFailure));
        }
        return;
    }
    if (tool->empty()) {
        Add(where, 0, Severity::Error, "the file list names no file",
            "the start button silently does nothing for " + Quote(entry.name));
        return;
    }

    std::vector<std::pair<int, std::string>> names;  // line, name
    int setupLine = 0;
    std::size_t index = 0;
    for (const Line& line : lines) {
        if (line.length == 0) continue;
        const std::string lineText = text.substr(line.start, line.length);
        if (index >= tool->size() || (*tool)[index] != entry.baseUrl + lineText) {
            m_report.fatal =
                "internal: the lines of " + where + " do not add up to the tool's list";
            return;
        }
        const std::string& url = (*tool)[index];
        const bool setup = index == 0;
        ++index;
        ++m_report.files;

        if (LeadingOrTrailingBlankOrDot(lineText)) {
            Add(where, line.number, Severity::Warning,
                "the line " + Quote(lineText) + " begins or ends with a blank or a dot",
                "the tool requests it with them, but Windows drops trailing blanks and dots "
                "from the local file name");
        }

        char buffer[kLocalPathCapacity];
        if (!FileNameOfPath(url.c_str(), buffer, sizeof buffer)) {
            Add(where, line.number, Severity::Error,
                "the file name is longer than the tool's " + std::to_string(kLocalPathCapacity) +
                    "-byte buffer",
                Sees(kDownloadFailure) +
                    (setup ? std::string(" and then ") + Sees(kSetupFailure) : ""));
            continue;
        }
        const std::string name = buffer;
        if (name.empty()) {
            Add(where, line.number, Severity::Error,
                "the entry " + Quote(lineText) +
                    " gives an empty file name (it ends in \"/\" or a part of it is over 255 "
                    "bytes)",
                Sees(kDownloadFailure) + " and no later file is downloaded");
            continue;
        }
        if (name == "." || name == "..") {
            Add(where, line.number, Severity::Error,
                "the file name " + Quote(name) + " names a folder, not a file",
                Sees(kDownloadFailure) + " and no later file is downloaded");
            continue;
        }
        if (IsReservedDeviceName(name)) {
            Add(where, line.number, Severity::Error,
                "the file name " + Quote(name) + " is a device name Windows reserves",
                Sees(kDownloadFailure));
            continue;
        }
        if (const auto refused = RefusedCharacter(name)) {
            Add(where, line.number, Severity::Error,
                "the file name " + Quote(name) + " holds " + DescribeByte(*refused) +
                    ", which Windows refuses in file names",
                Sees(kDownloadFailure));
            continue;
        }
        char path[kLocalPathCapacity];
        if (!JoinLocalPath(m_workFolder.c_str(), name.c_str(), path, kMaxPath)) {
            const bool overBuffer =
                !JoinLocalPath(m_workFolder.c_str(), name.c_str(), path, sizeof path);
            Add(where, line.number, Severity::Error,
                "the local path " + Quote(m_workFolder + name) + " has " +
                    std::to_string(m_workFolder.size() + name.size()) + " bytes, over " +
                    (overBuffer
                         ? "the tool's " + std::to_string(kLocalPathCapacity - 1) + "-byte limit"
                         : std::to_string(kMaxPath - 1) + " bytes (MAX_PATH)") +
                    ", assuming the work folder " + Quote(m_workFolder),
                Sees(kDownloadFailure) +
                    (setup ? std::string(" and then ") + Sees(kSetupFailure) : ""));
            continue;
        }
        for (const auto& [earlierLine, earlier] : names) {
            if (!SameFileName(earlier.c_str(), name.c_str())) continue;
            Add(where, line.number, Severity::Error,
                "the file name " + Quote(name) + " is also on line " + std::to_string(earlierLine),
                earlierLine == setupLine ? "this file replaces the setup program in the work "
                                           "folder and is started as the setup"
                                         : "this file replaces the earlier one in the work folder");
            break;
        }
        if (setup) setupLine = line.number;
        names.emplace_back(line.number, name);
        CheckFile(where, line.number, url, setup, name);
    }
}

void Checker::CheckFile(const std::string& listWhere, int line, const std::string& url, bool setup,
                        const std::string& name) {
    CheckCertificate(url, listWhere, line);
    const Fetched fetched = m_site.FetchFile(url, setup ? kHeadBytes : 0);
    if (fetched.outcome == Outcome::NotFollowed) return;
    const std::string quoted = Quote(name);
    if (fetched.outcome == Outcome::BrokenOff) {
        Add(listWhere, line, Severity::Error,
            "the transfer of " + quoted + " broke off: " + fetched.detail,
            Sees(kDownloadFailure) +
                (setup ? std::string(" and then ") + Sees(kSetupFailure) : ""));
        return;
    }
    if (fetched.outcome != Outcome::Ok) {
        std::string customer = Sees(kDownloadFailure);
        if (fetched.outcome != Outcome::Status) customer += " and no later file is downloaded";
        if (setup) customer += std::string(", then ") + Sees(kSetupFailure);
        Add(listWhere, line, Severity::Error,
            std::string(setup ? "the setup program " : "the file ") + quoted + ": " +
                fetched.detail,
            customer);
        return;
    }
    if (setup && fetched.size == 0) {
        Add(listWhere, line, Severity::Error, "the setup program " + quoted + " is empty",
            Sees(kSetupFailure));
    } else if (setup && !LooksLikeWindowsExecutable(fetched.body)) {
        Add(listWhere, line, Severity::Error,
            "the setup program " + quoted +
                " is not a Windows executable (no \"MZ\" ... \"PE\" header)",
            Sees(kSetupFailure));
    }
    if (fetched.lengthKnown) {
        if (!fetched.contentLength) {
            Add(listWhere, line, Severity::Warning, quoted + " is served without Content-Length",
                "the progress window shows no total size and no remaining time");
        } else if (static_cast<uint64_t>(*fetched.contentLength) != fetched.size) {
            Add(listWhere, line, Severity::Warning,
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
    return report;
}

std::string AuthorityOf(const std::string& url) {
    std::string scheme;
    if (StartsWithNoCase(url, "https://")) {
        scheme = "https";
    } else if (StartsWithNoCase(url, "http://")) {
        scheme = "http";
    } else {
        return std::string();
    }
    const std::size_t begin = scheme.size() + 3;
    const std::size_t end = url.find_first_of("/?#", begin);
    std::string authority =
        url.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
    for (char& c : authority) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string defaultPort = scheme == "https" ? ":443" : ":80";
    if (authority.size() > defaultPort.size() &&
        authority.compare(authority.size() - defaultPort.size(), defaultPort.size(), defaultPort) ==
            0) {
        authority.resize(authority.size() - defaultPort.size());
    }
    return authority;
}

std::vector<Line> SplitLines(const std::string& text) {
    std::vector<Line> lines;
    std::size_t position = 0;
    int number = 1;
    while (position < text.size()) {
        Line line;
        line.start = position;
        line.number = number++;
        while (position < text.size() && text[position] != '\r' && text[position] != '\n')
            ++position;
        line.length = position - line.start;
        lines.push_back(line);
        if (position < text.size()) {
            const bool crlf =
                text[position] == '\r' && position + 1 < text.size() && text[position + 1] == '\n';
            position += crlf ? 2 : 1;
        }
    }
    return lines;
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
