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

// How one finding stands in this run, beside what the checker found.
struct Shown {
    std::string text;  // the text of its line, UTF-8; empty when it has no line
    bool accepted = false;
};

struct Presentation {
    std::vector<Shown> shown;  // one per finding, or empty: none accepted, no line texts
    bool acceptList = false;   // an accept list was given: accepted findings are counted
};

std::string FormatReport(const Report& report, Format format, const Presentation& presentation);

struct Rule;
// SARIF with the given rule table (FormatReport passes AllRules()).
std::string FormatSarif(const Report& report, const Presentation& presentation,
                        const std::vector<Rule>& rules);

// 0 no error, 1 errors (with strict, warnings too) that are not accepted,
// 3 the site could not be read or the checker could not run.
int ExitStatus(const Report& report, const Presentation& presentation, bool strict);

// The text with every byte that does not begin well-formed UTF-8 written as
// \xNN, as the checker quotes undecodable bytes.
std::string ValidUtf8(const std::string& text);

// The text as a JSON string, quotes included, made valid UTF-8 first.
std::string JsonString(const std::string& raw);

// A file as a SARIF artifact URI: a relative path stays relative, an
// absolute one becomes a file: URI, a URL stays itself; characters a URI
// may not hold are percent-encoded.
std::string ArtifactUri(const std::string& file);

}  // namespace sitecheck
