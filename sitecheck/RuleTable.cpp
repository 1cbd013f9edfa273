#include "sitecheck/RuleTable.h"

#include "sitecheck/Output.h"
#include "sitecheck/Rules.h"

namespace sitecheck {
namespace {

const char* ModesName(Modes modes) {
    switch (modes) {
        case kDirectory:
            return "directory";
        case kLive:
            return "live";
        case kBothModes:
            break;
    }
    return "both";
}

// A table cell: a '|' would end it.
std::string Cell(const char* text) {
    std::string out;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c == '|') out += '\\';
        out += *c;
    }
    return out;
}

std::string Markdown() {
    std::string out =
        "| id | severity | checked | what it means | what the customer sees | how to fix it |\n"
        "|---|---|---|---|---|---|\n";
    for (const Rule& r : AllRules()) {
        out += std::string("| `") + r.code + "` | " + SeverityName(r.severity) + " | " +
               ModesName(r.modes) + " | " + Cell(r.summary) + " | " + Cell(r.customer) + " | " +
               Cell(r.fix) + " |\n";
    }
    return out;
}

std::string Json() {
    std::string out = "{\"rules\": [";
    bool first = true;
    for (const Rule& r : AllRules()) {
        out += std::string(first ? "\n" : ",\n") + "  {\"id\": " + JsonString(r.code) +
               ", \"severity\": \"" + SeverityName(r.severity) + "\", \"checked\": \"" +
               ModesName(r.modes) + "\", \"summary\": " + JsonString(r.summary) +
               ", \"customer\": " + JsonString(r.customer) + ", \"fix\": " + JsonString(r.fix) +
               "}";
        first = false;
    }
    return out + "\n]}\n";
}

}  // namespace

std::optional<RuleTableFormat> ParseRuleTableFormat(const std::string& name) {
    if (name == "markdown") return RuleTableFormat::Markdown;
    if (name == "json") return RuleTableFormat::Json;
    return std::nullopt;
}

std::string FormatRuleTable(RuleTableFormat format) {
    return format == RuleTableFormat::Json ? Json() : Markdown();
}

}  // namespace sitecheck
