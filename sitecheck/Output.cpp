#include <cstdio>
#include <string>

#include "sitecheck/SiteCheck.h"

namespace sitecheck {
namespace {

const char* SeverityName(Severity severity) {
    return severity == Severity::Error ? "error" : "warning";
}

std::string Plural(int n, const char* word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

}  // namespace

std::string FormatText(const Report& report) {
    std::string out;
    for (const Finding& f : report.findings) {
        out += f.file;
        if (f.line > 0) out += ":" + std::to_string(f.line);
        out += std::string(": ") + SeverityName(f.severity) + ": " + f.what + " \xE2\x80\x94 " +
               f.customer + "\n";
    }
    if (!report.fatal.empty()) out += "velta-site: " + report.fatal + "\n";
    out += "velta-site: " + Plural(report.Count(Severity::Error), "error") + ", " +
           Plural(report.Count(Severity::Warning), "warning") + "; checked " +
           Plural(report.catalogs, "catalog") + ", " + Plural(report.products, "product") + ", " +
           Plural(report.files, "file") + "\n";
    return out;
}

std::string FormatJson(const Report& report) {
    std::string out = "{\"errors\": " + std::to_string(report.Count(Severity::Error)) +
                      ", \"warnings\": " + std::to_string(report.Count(Severity::Warning)) +
                      ", \"catalogs\": " + std::to_string(report.catalogs) +
                      ", \"products\": " + std::to_string(report.products) +
                      ", \"files\": " + std::to_string(report.files) + ", \"fatal\": " +
                      (report.fatal.empty() ? std::string("null") : JsonString(report.fatal)) +
                      ", \"findings\": [";
    for (std::size_t i = 0; i < report.findings.size(); ++i) {
        const Finding& f = report.findings[i];
        out += std::string(i == 0 ? "\n" : ",\n") + "  {\"file\": " + JsonString(f.file) +
               ", \"line\": " + (f.line > 0 ? std::to_string(f.line) : std::string("null")) +
               ", \"severity\": \"" + SeverityName(f.severity) +
               "\", \"what\": " + JsonString(f.what) + ", \"customer\": " + JsonString(f.customer) +
               "}";
    }
    out += report.findings.empty() ? "]}\n" : "\n]}\n";
    return out;
}

}  // namespace sitecheck
