#include "sitecheck/plan/PlanOutput.h"

#include <utility>
#include <vector>

#include "sitecheck/Cp932.h"

namespace sitecheck {
namespace {

std::string Quote(const std::string& cp932) { return "\"" + Cp932ToUtf8(cp932) + "\""; }

std::string Describe(const Content& content) {
    if (!content.present) return "missing";
    return std::to_string(content.size) + " bytes, SHA-256 " +
           (content.digestKnown ? HexOf(content.sha256) : std::string("not kept (live)"));
}

const char* KindName(ProductChange::Kind kind) {
    switch (kind) {
        case ProductChange::Kind::Added:
            return "added";
        case ProductChange::Kind::Removed:
            return "removed";
        case ProductChange::Kind::Renamed:
            return "renamed";
        case ProductChange::Kind::Moved:
            return "moved";
        case ProductChange::Kind::Kept:
            break;
    }
    return "kept";
}

const char* KindName(FileChange::Kind kind) {
    switch (kind) {
        case FileChange::Kind::Added:
            return "added";
        case FileChange::Kind::Removed:
            return "removed";
        case FileChange::Kind::Changed:
            break;
    }
    return "changed";
}

std::string ProductLine(const ProductChange& p) {
    const CatalogEntry& before = p.before.entry;
    const CatalogEntry& after = p.after.entry;
    switch (p.kind) {
        case ProductChange::Kind::Added:
            return "product " + Quote(after.name) + " added, " + Cp932ToUtf8(after.baseUrl);
        case ProductChange::Kind::Removed:
            return "product " + Quote(before.name) + " removed, " + Cp932ToUtf8(before.baseUrl);
        case ProductChange::Kind::Renamed:
            return "product " + Quote(before.name) + " renamed " + Quote(after.name) + ", " +
                   Cp932ToUtf8(after.baseUrl);
        case ProductChange::Kind::Moved:
            return "product " + Quote(after.name) + " moved from " + Cp932ToUtf8(before.baseUrl) +
                   " to " + Cp932ToUtf8(after.baseUrl);
        case ProductChange::Kind::Kept:
            break;
    }
    return "product " + Quote(after.name) + ", " + Cp932ToUtf8(after.baseUrl);
}

std::string FileLine(const FileChange& f) {
    std::string line = "file " + Quote(f.relative) + " " + KindName(f.kind) + ": ";
    switch (f.kind) {
        case FileChange::Kind::Added:
            return line + Describe(f.after);
        case FileChange::Kind::Removed:
            return line + Describe(f.before);
        case FileChange::Kind::Changed:
            break;
    }
    return line + Describe(f.before) + " \xE2\x86\x92 " + Describe(f.after);
}

// Per catalog; a catalog whose changes repeat an earlier one's (the
// test-mode catalog is often a copy) says so in one line.
std::string ChangesText(const Plan& plan) {
    std::vector<std::pair<std::string, std::string>> catalogs;  // path, its lines
    for (const ProductChange& p : plan.products) {
        if (catalogs.empty() || catalogs.back().first != p.catalogPath)
            catalogs.emplace_back(p.catalogPath, std::string());
        std::string& lines = catalogs.back().second;
        lines += "    " + ProductLine(p) + "\n";
        for (const FileChange& f : p.files) lines += "      " + FileLine(f) + "\n";
    }
    std::string out = "velta-site plan: what customers will see change\n";
    for (std::size_t i = 0; i < catalogs.size(); ++i) {
        out += "  catalog " + ShownPath(catalogs[i].first);
        std::size_t same = 0;
        while (same < i && catalogs[same].second != catalogs[i].second) ++same;
        out += same < i ? ": as catalog " + ShownPath(catalogs[same].first) + "\n"
                        : "\n" + catalogs[i].second;
    }
    if (plan.products.empty()) out += "  nothing\n";
    return out;
}

std::string StagesText(const Plan& plan, int graceHours) {
    std::string out = "velta-site plan: stages, in the order to publish\n";
    for (int k = 1; k <= plan.staging.Count(); ++k) {
        const auto& paths = plan.staging.stages[static_cast<std::size_t>(k - 1)];
        out += "  stage " + std::to_string(k);
        if (k == plan.staging.graceStage) {
            out +=
                ", " + std::to_string(graceHours) + " hours after stage " + std::to_string(k - 1);
        }
        out += ": " + std::string(StageTitle(k)) + " (" + std::to_string(paths.size()) +
               (paths.size() == 1 ? " path)\n" : " paths)\n");
        for (const std::string& path : paths) out += "    " + ShownPath(path) + "\n";
    }
    return out;
}

std::string JsonContent(const Content& content) {
    if (!content.present) return "null";
    return "{\"size\": " + std::to_string(content.size) + ", \"sha256\": " +
           (content.digestKnown ? "\"" + HexOf(content.sha256) + "\"" : std::string("null")) + "}";
}

std::string JsonChanges(const Plan& plan) {
    std::string out = "[";
    for (std::size_t i = 0; i < plan.products.size(); ++i) {
        const ProductChange& p = plan.products[i];
        const bool hasBefore = p.kind != ProductChange::Kind::Added;
        const bool hasAfter = p.kind != ProductChange::Kind::Removed;
        const auto text = [](bool has, const std::string& value) {
            return has ? JsonString(Cp932ToUtf8(value)) : std::string("null");
        };
        out += std::string(i == 0 ? "\n" : ",\n") +
               "  {\"catalog\": " + JsonString(ShownPath(p.catalogPath)) + ", \"change\": \"" +
               KindName(p.kind) + "\", \"name\": " + text(hasAfter, p.after.entry.name) +
               ", \"url\": " + text(hasAfter, p.after.entry.baseUrl) +
               ", \"oldName\": " + text(hasBefore, p.before.entry.name) +
               ", \"oldUrl\": " + text(hasBefore, p.before.entry.baseUrl) + ", \"files\": [";
        for (std::size_t k = 0; k < p.files.size(); ++k) {
            const FileChange& f = p.files[k];
            out += std::string(k == 0 ? "" : ", ") +
                   "{\"file\": " + JsonString(Cp932ToUtf8(f.relative)) + ", \"change\": \"" +
                   KindName(f.kind) + "\", \"before\": " + JsonContent(f.before) +
                   ", \"after\": " + JsonContent(f.after) + "}";
        }
        out += "]}";
    }
    return out + (plan.products.empty() ? "]" : "\n]");
}

std::string JsonStages(const Plan& plan) {
    std::string out = "[";
    for (std::size_t k = 0; k < plan.staging.stages.size(); ++k) {
        out += k == 0 ? "\n  [" : ",\n  [";
        const auto& paths = plan.staging.stages[k];
        for (std::size_t i = 0; i < paths.size(); ++i)
            out += (i == 0 ? "" : ", ") + JsonString(ShownPath(paths[i]));
        out += "]";
    }
    return out + (plan.staging.stages.empty() ? "]" : "\n]");
}

}  // namespace

std::string ShownPath(const std::string& path) {
    return Cp932ToUtf8(path.empty() || path[0] != '/' ? path : path.substr(1));
}

std::string FormatPlan(const Plan& plan, Format format, const ReportContext& context,
                       int graceHours) {
    std::string report = FormatReport(plan.report, format, context);
    const bool planned = plan.report.fatal.empty();
    switch (format) {
        case Format::Sarif:
            return report;
        case Format::Json: {
            // The check's object, the plan's members added at its end.
            const std::size_t end = report.rfind('}');
            return report.substr(0, end) +
                   ", \"changes\": " + (planned ? JsonChanges(plan) : "[]") +
                   ", \"stages\": " + (planned ? JsonStages(plan) : "[]") +
                   ", \"graceHours\": " + std::to_string(graceHours) + "}\n";
        }
        case Format::Text:
        case Format::Github:
            break;
    }
    if (!planned) return report;
    // The summary stays the last line, as in check's output.
    const std::size_t summary = report.rfind('\n', report.size() - 2) + 1;
    return ChangesText(plan) + report.substr(0, summary) + StagesText(plan, graceHours) +
           report.substr(summary);
}

}  // namespace sitecheck
