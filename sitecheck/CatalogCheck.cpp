// The catalog: what the tool makes of it, line by line and column by
// column, and how long the tool's own fetch of it takes.
#include "sitecheck/Checker.h"

#include <map>
#include <set>

#include "catalog/CatalogWait.h"
#include "common/PathSplit.h"
#include "sitecheck/Cp932.h"
#include "sitecheck/TextRules.h"
#include "sitecheck/Url.h"

namespace sitecheck {
namespace {

// A catalog this large needs about 4 s on a mobile line throttled to
// 128 kbit/s (16,000 bytes a second), which Japanese carriers fall back to
// once a month's volume is used up; with a second for name lookup and the
// TLS handshake over such a line, that is the tool's whole 5000 ms wait.
constexpr uint64_t kSlowLineCatalogBytes = 64000;

// What is wrong with the bytes of one catalog column, or empty. Only the
// name (shown) and the URL (requested) reach the customer; the other
// columns' bytes are carried and never used. utf8: the catalog as a whole is
// UTF-8; start: the column's offset in its line.
std::string ColumnFault(std::string_view value, bool utf8, std::size_t column, std::size_t start) {
    const char* label = column == 2 ? "name" : column == 3 ? "URL" : nullptr;
    if (utf8) {
        if (!NonAscii(value)) return std::string();
        if (label == nullptr)
            return "column " + std::to_string(column) + " is UTF-8, not Shift-JIS";
        return std::string("the ") + label +
               " column is UTF-8, not Shift-JIS (code page 932): the catalog is saved as UTF-8";
    }
    const auto bad = FirstUndecodableByte(value);
    if (!bad) return std::string();
    std::string what = DescribeByte(static_cast<unsigned char>(value[*bad])) + " at column " +
                       std::to_string(start + *bad + 1) + " (in column " + std::to_string(column) +
                       ") cannot be decoded in code page 932 (Shift-JIS)";
    return label == nullptr ? what : what + ", in the " + label;
}

}  // namespace

void Checker::CheckCatalog(int testMode) {
    const std::string url = m_site.CatalogUrl(testMode);
    const std::string where = m_site.Where(url);
    const Fetched fetched = m_site.FetchCatalog(url);
    CheckCertificate(url, where, 0);
    if (RecordCheckerFailure(fetched)) return;
    if (fetched.outcome == Outcome::NoAnswer && m_site.Live()) {
        m_report.fatal = "cannot reach " + url + ": " + fetched.detail;
        return;
    }
    if (m_site.Live() && fetched.elapsedMs) {
        m_report.catalogMilliseconds.push_back(*fetched.elapsedMs);
    }
    CheckCatalogTime(where, fetched);
    if (fetched.outcome == Outcome::TimedOut) return;
    if (RecordRefusedCertificate(fetched, where, 0, "the catalog")) return;
    if (fetched.outcome != Outcome::Ok) {
        Add(RuleId::VS101, where, 0, "the catalog cannot be fetched: " + fetched.detail);
        return;
    }
    ++m_report.catalogs;
    const CatalogPlan plan = PlanCatalog(fetched.body);
    if (plan.updateNotice) {
        Add(RuleId::VS102, where, 1, "the catalog is the update notice (its first byte is \"!\")");
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
    CheckCatalogLines(where, plan);
}

// Line by line, as the tool lists the products; then each product's file list.
void Checker::CheckCatalogLines(const std::string& where, const CatalogPlan& plan) {
    const std::vector<TextLine> lines = SplitTextLines(plan.text);
    std::size_t nameless = 0, product = 0;
    std::map<std::string, int> nameLines;
    for (const TextLine& line : lines) {
        const std::string lineText = plan.text.substr(line.start, line.length);
        if (nameless < plan.namelessLines.size() && plan.namelessLines[nameless] == line.number) {
            ++nameless;
            Add(RuleId::VS108, where, line.number, "the name column (column 2) is empty");
            continue;
        }
        if (product >= plan.products.size() || plan.products[product].line != line.number) {
            continue;
        }
        const CatalogEntry& entry = plan.products[product++].entry;
        if (!lineText.empty() && lineText[0] == '#') {
            Add(RuleId::VS110, where, line.number,
                "the line of " + Quote(entry.name) +
                    " begins with \"#\", but the catalog has no comment lines");
        }
        const auto known = nameLines.find(entry.name);
        if (known != nameLines.end()) {
            Add(RuleId::VS118, where, line.number,
                "the product name " + Quote(entry.name) + " is also on line " +
                    std::to_string(known->second));
        } else {
            nameLines.emplace(entry.name, line.number);
        }
        const bool byteOrderMark = line.number == 1 && plan.text.compare(0, 3, "\xEF\xBB\xBF") == 0;
        CheckEntry(where, line.number, lineText, entry, byteOrderMark);
    }
    if (plan.products.empty()) {
        Add(RuleId::VS119, where, 0, "the catalog lists no product");
    }
    m_report.products += static_cast<int>(plan.products.size());
    for (const PlannedProduct& p : plan.products) {
        // A URL column that is no http(s) URL has been reported already.
        if (!AuthorityOf(p.entry.baseUrl).empty()) CheckProduct(where, p.line, p.entry);
        if (!m_report.fatal.empty()) return;
    }
}

void Checker::CheckCatalogTime(const std::string& where, const Fetched& fetched) {
    if (fetched.outcome == Outcome::TimedOut) {
        Add(RuleId::VS120, where, 0,
            "the catalog did not arrive within the tool's " + std::to_string(kCatalogWaitMs) +
                " ms wait" +
                (fetched.elapsedMs
                     ? " (gave up after " + std::to_string(*fetched.elapsedMs) + " ms)"
                     : std::string()));
        return;
    }
    const bool live = m_site.Live();
    if (RunsIn(RuleId::VS121, live) && fetched.elapsedMs &&
        *fetched.elapsedMs > kCatalogWaitMs / 2) {
        Add(RuleId::VS121, where, 0,
            "the catalog took " + std::to_string(*fetched.elapsedMs) + " ms of the tool's " +
                std::to_string(kCatalogWaitMs) + " ms wait");
    }
    // A live check times the catalog itself; on disk only its size tells.
    if (RunsIn(RuleId::VS122, live) && fetched.size >= kSlowLineCatalogBytes) {
        Add(RuleId::VS122, where, 0,
            "the catalog has " + std::to_string(fetched.size) + " bytes; a line throttled to " +
                "128 kbit/s needs about 4 s of the tool's " + std::to_string(kCatalogWaitMs) +
                " ms wait for " + std::to_string(kSlowLineCatalogBytes) + " bytes");
    }
}

void Checker::CheckCatalogEncoding(const std::string& where, const std::string& body,
                                   const std::string& text) {
    std::size_t skip = 0;
    if (body.size() >= 2 &&
        (body.compare(0, 2, "\xFF\xFE") == 0 || body.compare(0, 2, "\xFE\xFF") == 0)) {
        Add(RuleId::VS104, where, 1, "the catalog starts with a UTF-16 byte-order mark");
        skip = 2;
    } else if (body.size() >= 3 && body.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        skip = 3;
        Add(RuleId::VS103, where, 1,
            "the catalog starts with a UTF-8 byte-order mark, read as part of the first "
            "line's number column");
    }
    // After a reported mark, the rest is judged on its own, column by
    // column: only the name (shown) and the URL (requested) reach the
    // customer; the other columns' bytes are carried and never used.
    const std::string rest = text.size() >= skip ? text.substr(skip) : std::string();
    const bool utf8 = IsUtf8WithNonAscii(rest);
    // UTF-8 is a fault of the whole file: said once per rule, not per line.
    std::set<RuleId> saidOnce;
    for (const TextLine& line : SplitTextLines(rest)) {
        const std::string lineText = rest.substr(line.start, line.length);
        std::size_t column = 1, start = 0;
        for (;;) {
            const std::size_t end = FindColumnEnd(lineText.c_str(), start);
            const std::string_view value(lineText.data() + start, end - start);
            const bool shown = column == 2 || column == 3;
            const RuleId rule = !shown ? RuleId::VS106 : utf8 ? RuleId::VS105 : RuleId::VS107;
            const std::string what = ColumnFault(value, utf8, column, start);
            if (!what.empty() && (!utf8 || saidOnce.insert(rule).second)) {
                Add(rule, where, line.number, what);
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
    Add(RuleId::VS109, where, plan.zeroCut->line,
        "a zero byte at column " + std::to_string(plan.zeroCut->column) +
            ": the tool reads nothing after it and never shows " + NameList(lost));
}

void Checker::CheckEntry(const std::string& where, int line, const std::string& lineText,
                         const CatalogEntry& entry, bool byteOrderMark) {
    std::string column1 = lineText.substr(0, FindColumnEnd(lineText.c_str(), 0));
    // The mark's own finding says what becomes of this number.
    if (byteOrderMark) column1.erase(0, 3);
    const std::string name = Quote(entry.name);
    if (!byteOrderMark &&
        (!IsWholeNumber(column1) || CanonicalNumber(column1) != std::to_string(entry.number))) {
        Add(RuleId::VS116, where, line,
            "the number column " + Quote(column1) +
                " is not a whole number in 32 bits; the tool takes it as " +
                std::to_string(entry.number));
    }
    if (!IsCalendarDate(entry.date)) {
        Add(RuleId::VS117, where, line,
            "the date column " + Quote(entry.date) + " is not a date written yyyymmdd");
    }
    if (entry.baseUrl.empty()) {
        Add(RuleId::VS111, where, line, "the URL column (column 3) of " + name + " is empty");
        return;
    }
    const std::string authority = AuthorityOf(entry.baseUrl);
    if (authority.empty()) {
        Add(RuleId::VS112, where, line,
            "the URL column " + Quote(entry.baseUrl) + " is not an http or https URL");
        return;
    }
    if (entry.baseUrl.back() != '/') {
        Add(RuleId::VS113, where, line,
            "the URL column " + Quote(entry.baseUrl) +
                " does not end in \"/\": the tool requests " +
                Quote(BuildFileListUrl(entry.baseUrl)));
    }
    if (!StartsWithNoCase(entry.baseUrl, "https://")) {
        Add(RuleId::VS114, where, line, "the URL column " + Quote(entry.baseUrl) + " is not https");
    }
    if (authority != m_site.Authority()) {
        Add(RuleId::VS115, where, line,
            "the URL column points to " + authority + ", not to the site's host " +
                m_site.Authority() + (m_site.Live() ? "" : "; not followed in directory mode"));
    }
}

}  // namespace sitecheck
