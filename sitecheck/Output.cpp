#include "sitecheck/Output.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <optional>

#include "catalog/CatalogWait.h"
#include "common/Utf8.h"
#include "sitecheck/Rules.h"
#include "sitecheck/Url.h"

namespace sitecheck {
namespace {

constexpr char kDash[] = " \xE2\x80\x94 ";

std::string Plural(int n, const char* word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

std::string Hex(unsigned char c, const char* format) {
    char text[8];
    std::snprintf(text, sizeof text, format, c);
    return text;
}

// One line of text output: valid UTF-8 without control characters, which
// would break the line or the terminal showing it.
std::string Printable(const std::string& raw) {
    std::string out;
    for (char c : ValidUtf8(raw)) {
        const unsigned char u = static_cast<unsigned char>(c);
        out += u < 0x20 || u == 0x7F ? Hex(u, "\\x%02X") : std::string(1, c);
    }
    return out;
}

FindingContext ContextOf(const ReportContext& context, std::size_t i) {
    return i < context.findings.size() ? context.findings[i] : FindingContext();
}

struct Counts {
    int errors = 0, warnings = 0, accepted = 0;
};

Counts CountOf(const Report& report, const ReportContext& context) {
    Counts counts;
    for (std::size_t i = 0; i < report.findings.size(); ++i) {
        if (ContextOf(context, i).accepted) {
            ++counts.accepted;
        } else if (report.findings[i].severity() == Severity::Error) {
            ++counts.errors;
        } else {
            ++counts.warnings;
        }
    }
    return counts;
}

std::string JsonNumbers(const std::vector<uint32_t>& numbers) {
    std::string out = "[";
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        out += (i == 0 ? "" : ", ") + std::to_string(numbers[i]);
    }
    return out + "]";
}

std::string Summary(const Report& report, const ReportContext& context) {
    const Counts counts = CountOf(report, context);
    std::string out =
        "velta-site: " + Plural(counts.errors, "error") + ", " + Plural(counts.warnings, "warning");
    if (context.acceptListGiven) out += ", " + std::to_string(counts.accepted) + " accepted";
    out += "; checked " + Plural(report.catalogs, "catalog") + ", " +
           Plural(report.products, "product") + ", " + Plural(report.files, "file");
    // The catalog's time is the one figure a live check adds: the tool gives
    // up on a catalog after its wait, so the vendor sees the margin left.
    for (std::size_t i = 0; i < report.catalogMilliseconds.size(); ++i) {
        out += (i == 0 ? "; catalog in " : " and ") +
               std::to_string(report.catalogMilliseconds[i]) + " ms";
    }
    if (!report.catalogMilliseconds.empty()) {
        out += " of the tool's " + std::to_string(kCatalogWaitMs) + " ms wait";
    }
    return out + "\n";
}

std::string FormatTextLines(const Report& report, const ReportContext& context) {
    std::string out;
    for (std::size_t i = 0; i < report.findings.size(); ++i) {
        const Finding& f = report.findings[i];
        std::string line = f.file;
        if (f.line > 0) line += ":" + std::to_string(f.line);
        line +=
            std::string(": ") + SeverityName(f.severity()) + ": " + f.what + kDash + f.customer();
        std::string tag = RuleOf(f.rule).code;
        if (ContextOf(context, i).accepted) tag += ", accepted";
        line += " [" + tag + "]";
        out += Printable(line) + "\n";
    }
    if (!report.fatal.empty()) out += Printable("velta-site: " + report.fatal) + "\n";
    return out + Summary(report, context);
}

std::string FormatJsonReport(const Report& report, const ReportContext& context) {
    const Counts counts = CountOf(report, context);
    std::string out = "{\"errors\": " + std::to_string(counts.errors) +
                      ", \"warnings\": " + std::to_string(counts.warnings) +
                      ", \"catalogs\": " + std::to_string(report.catalogs) +
                      ", \"products\": " + std::to_string(report.products) +
                      ", \"files\": " + std::to_string(report.files) + ", \"fatal\": " +
                      (report.fatal.empty() ? std::string("null") : JsonString(report.fatal)) +
                      ", \"findings\": [";
    for (std::size_t i = 0; i < report.findings.size(); ++i) {
        const Finding& f = report.findings[i];
        const FindingContext shown = ContextOf(context, i);
        out +=
            std::string(i == 0 ? "\n" : ",\n") + "  {\"rule\": " + JsonString(RuleOf(f.rule).code) +
            ", \"file\": " + JsonString(f.file) +
            ", \"line\": " + (f.line > 0 ? std::to_string(f.line) : std::string("null")) +
            ", \"severity\": \"" + SeverityName(f.severity()) +
            "\", \"what\": " + JsonString(f.what) + ", \"customer\": " + JsonString(f.customer()) +
            ", \"text\": " + JsonString(shown.lineText) +
            ", \"accepted\": " + (shown.accepted ? "true" : "false") + "}";
    }
    out += report.findings.empty() ? "]" : "\n]";
    return out + ", \"accepted\": " + std::to_string(counts.accepted) +
           ", \"catalogMilliseconds\": " + JsonNumbers(report.catalogMilliseconds) + "}\n";
}

std::string SarifRules(std::span<const Rule> rules, const std::string& indent) {
    std::string out = "[";
    for (std::size_t i = 0; i < rules.size(); ++i) {
        const Rule& r = rules[i];
        out += std::string(i == 0 ? "\n" : ",\n") + indent + "  {\"id\": " + JsonString(r.code) +
               ", \"shortDescription\": {\"text\": " + JsonString(r.summary) +
               "}, \"fullDescription\": {\"text\": " +
               JsonString(std::string(r.summary) + kDash + r.customer) +
               "}, \"help\": {\"text\": " + JsonString(r.fix) +
               "}, \"defaultConfiguration\": {\"level\": \"" + SeverityName(r.severity) + "\"}}";
    }
    return out + (rules.empty() ? "]" : "\n" + indent + "]");
}

// ruleIndex: the rules are listed in the table's order, which is RuleId's.
std::string SarifResult(const Finding& f, const FindingContext& shown) {
    std::string out = "{\"ruleId\": " + JsonString(RuleOf(f.rule).code) +
                      ", \"ruleIndex\": " + std::to_string(static_cast<std::size_t>(f.rule)) + ", ";
    out += std::string("\"level\": \"") + SeverityName(f.severity()) +
           "\", \"message\": {\"text\": " + JsonString(f.what + kDash + f.customer()) +
           "}, \"locations\": [{\"physicalLocation\": {\"artifactLocation\": {\"uri\": " +
           JsonString(ArtifactUri(f.file)) + "}";
    if (f.line > 0) {
        out += ", \"region\": {\"startLine\": " + std::to_string(f.line);
        if (!shown.lineText.empty())
            out += ", \"snippet\": {\"text\": " + JsonString(shown.lineText) + "}";
        out += "}";
    }
    out += "}}]";
    if (shown.accepted) {
        out +=
            ", \"suppressions\": [{\"kind\": \"external\", \"justification\": "
            "\"listed in the accept file\"}]";
    }
    return out + "}";
}

}  // namespace

std::string FormatSarif(const Report& report, const ReportContext& context) {
    std::string out =
        "{\n"
        "  \"$schema\": \"https://json.schemastore.org/sarif-2.1.0.json\",\n"
        "  \"version\": \"2.1.0\",\n"
        "  \"runs\": [{\n"
        "    \"tool\": {\"driver\": {\"name\": \"velta-site\", \"rules\": " +
        SarifRules(AllRules(), "    ") +
        "}},\n"
        "    \"invocations\": [{\"executionSuccessful\": " +
        (report.fatal.empty() ? std::string("true") : std::string("false"));
    if (!report.fatal.empty()) {
        out +=
            ", \"toolExecutionNotifications\": [{\"level\": \"error\", \"message\": {\"text\": " +
            JsonString(report.fatal) + "}}]";
    }
    out += "}],\n    \"results\": [";
    for (std::size_t i = 0; i < report.findings.size(); ++i) {
        out += std::string(i == 0 ? "\n      " : ",\n      ") +
               SarifResult(report.findings[i], ContextOf(context, i));
    }
    out += report.findings.empty() ? "]\n" : "\n    ]\n";
    return out + "  }]\n}\n";
}

namespace {

// Workflow commands end a message at a line break and a property at ',' or
// "::"; '%' introduces the escapes.
std::string GithubEscape(const std::string& raw, bool property) {
    std::string out;
    for (char c : ValidUtf8(raw)) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '%' || c == '\r' || c == '\n' || (property && (c == ':' || c == ','))) {
            out += Hex(u, "%%%02X");
        } else if (u < 0x20 || u == 0x7F) {
            out += Hex(u, "\\x%02X");
        } else {
            out += c;
        }
    }
    return out;
}

std::string FormatGithub(const Report& report, const ReportContext& context) {
    std::string out;
    for (std::size_t i = 0; i < report.findings.size(); ++i) {
        const Finding& f = report.findings[i];
        const bool accepted = ContextOf(context, i).accepted;
        std::string title = RuleOf(f.rule).code;
        if (accepted) title += " (accepted)";
        out += std::string("::") + (accepted ? "notice" : SeverityName(f.severity())) +
               " file=" + GithubEscape(f.file, true);
        if (f.line > 0) out += ",line=" + std::to_string(f.line);
        out += ",title=" + GithubEscape(title, true) +
               "::" + GithubEscape(f.what + kDash + f.customer(), false) + "\n";
    }
    if (!report.fatal.empty()) {
        out += "::error title=velta-site::" + GithubEscape(report.fatal, false) + "\n";
    }
    return out + Summary(report, context);
}

bool Allowed(unsigned char c, const char* extra) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           (c != 0 && std::strchr("-._~!$&'()*+,;=@/", c) != nullptr) ||
           (c != 0 && std::strchr(extra, c) != nullptr);
}

std::string PercentEncode(const std::string& text, const char* extra) {
    std::string out;
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        out += Allowed(u, extra) ? std::string(1, c) : Hex(u, "%%%02X");
    }
    return out;
}

bool IsDriveLetter(const std::string& path) {
    return path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) &&
           path[1] == ':' && (path[2] == '/' || path[2] == '\\');
}

}  // namespace

std::optional<Format> ParseFormat(const std::string& name) {
    if (name == "text") return Format::Text;
    if (name == "json") return Format::Json;
    if (name == "sarif") return Format::Sarif;
    if (name == "github") return Format::Github;
    return std::nullopt;
}

std::string FormatReport(const Report& report, Format format, const ReportContext& context) {
    switch (format) {
        case Format::Json:
            return FormatJsonReport(report, context);
        case Format::Sarif:
            return FormatSarif(report, context);
        case Format::Github:
            return FormatGithub(report, context);
        case Format::Text:
            break;
    }
    return FormatTextLines(report, context);
}

int ExitStatus(const Report& report, const ReportContext& context, bool strict) {
    if (!report.fatal.empty()) return 3;
    const Counts counts = CountOf(report, context);
    return counts.errors > 0 || (strict && counts.warnings > 0) ? 1 : 0;
}

std::string JsonString(const std::string& raw) {
    const std::string text = ValidUtf8(raw);
    std::string out = "\"";
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u == 0x7F) {
            out += Hex(u, "\\u%04x");
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string ValidUtf8(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        if (const std::optional<utf8::Character> c = utf8::DecodeAt(text, i)) {
            out.append(text, i, c->length);
            i += c->length;
        } else {
            out += Hex(static_cast<unsigned char>(text[i]), "\\x%02X");
            ++i;
        }
    }
    return out;
}

std::string ArtifactUri(const std::string& file) {
    const std::string text = ValidUtf8(file);
    if (!SplitUrl(text).origin.empty()) return PercentEncode(text, ":?#[]%");
    const std::string& path = text;
    if (IsDriveLetter(path))
        return "file:///" + path.substr(0, 2) + PercentEncode(path.substr(2), ":");
    if (!path.empty() && path[0] == '/') return "file://" + PercentEncode(path, ":");
    // A ':' in a relative reference would read as a scheme.
    return PercentEncode(path, "");
}

}  // namespace sitecheck
