#pragma once
// The report in the formats a publishing pipeline reads: compiler-style
// text, JSON, SARIF 2.1.0 for code-scanning tools and GitHub Actions
// workflow commands. Every format is UTF-8 and names each finding's rule.
#include <optional>
#include <string>
#include <vector>

#include "sitecheck/SiteCheck.h"

namespace sitecheck {

enum class Format { Text, Json, Sarif, Github };

std::optional<Format> ParseFormat(const std::string& name);

// What the run knows of one finding beyond the report: the text of its
// line and whether the accept list names it.
struct FindingContext {
    std::string lineText;  // UTF-8; empty when it has no line
    bool accepted = false;
};

// The context of every finding, in the report's order (or none: no finding
// accepted, no line texts).
struct ReportContext {
    std::vector<FindingContext> findings;
    bool acceptListGiven = false;  // accepted findings are counted apart
};

std::string FormatReport(const Report& report, Format format, const ReportContext& context);

std::string FormatSarif(const Report& report, const ReportContext& context);

// 0 no error, 1 errors (with strict, warnings too) that are not accepted,
// 3 the site could not be read or the checker could not run.
int ExitStatus(const Report& report, const ReportContext& context, bool strict);

// The text with every byte that does not begin well-formed UTF-8 written as
// \xNN, as the checker quotes undecodable bytes.
std::string ValidUtf8(const std::string& text);

// A JSON string literal of the text (made valid UTF-8 first).
std::string JsonString(const std::string& text);

// A file as a SARIF artifact URI: a relative path stays relative, an
// absolute one becomes a file: URI, a URL stays itself; characters a URI
// may not hold are percent-encoded.
std::string ArtifactUri(const std::string& file);

}  // namespace sitecheck
