// The verbs: check runs here, rules prints the rule table, plan is handed
// its own steps (plan/PlanCommand.cpp).
#include "sitecheck/Command.h"

#include <map>
#include <memory>

#include "catalog/CatalogPlan.h"
#include "sitecheck/Cp932.h"
#include "sitecheck/ForwardingSite.h"
#include "sitecheck/RuleTable.h"
#include "sitecheck/Url.h"
#include "sitecheck/plan/PlanCommand.h"

namespace sitecheck {
namespace {

// Keeps the texts the checker read, so that a finding's line can be quoted
// and matched by its text.
class RecordingSite : public ForwardingSite {
public:
    explicit RecordingSite(Site& site) : ForwardingSite(site) {}

    Fetched FetchText(const std::string& url) override {
        return Keep(url, ForwardingSite::FetchText(url));
    }
    Fetched FetchCatalog(const std::string& url) override {
        return Keep(url, ForwardingSite::FetchCatalog(url));
    }

    // The text of that line of that file in UTF-8; empty when unknown.
    std::string LineText(const std::string& where, int number) const {
        const auto text = m_texts.find(where);
        if (text == m_texts.end() || number <= 0) return std::string();
        for (const TextLine& line : SplitTextLines(text->second)) {
            if (line.number == number)
                return Cp932ToUtf8(std::string_view(text->second).substr(line.start, line.length));
        }
        return std::string();
    }

private:
    Fetched Keep(const std::string& url, Fetched fetched) {
        if (fetched.outcome == Outcome::Ok) m_texts[Where(url)] = fetched.body;
        return fetched;
    }

    std::map<std::string, std::string> m_texts;
};

int RunRules(const std::vector<std::string>& arguments, std::string& out, std::string& err) {
    RuleTableFormat format = RuleTableFormat::Markdown;
    if (arguments.size() == 3 && arguments[1] == "--format") {
        const std::optional<RuleTableFormat> parsed = ParseRuleTableFormat(arguments[2]);
        if (!parsed) return Usage(err, "unknown rule table format " + arguments[2]);
        format = *parsed;
    } else if (arguments.size() != 1) {
        return Usage(err, "\"rules\" takes only --format markdown|json");
    }
    out += FormatRuleTable(format);
    return 0;
}

}  // namespace

int RunCommand(const std::vector<std::string>& arguments, std::string& out, std::string& err,
               const CommandIo& io) {
    if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h")) {
        out += UsageText();
        return 0;
    }
    if (!arguments.empty() && arguments[0] == "rules") return RunRules(arguments, out, err);
    CommandLine line;
    const int wrong = ParseCommandLine(arguments, line, err);
    if (wrong >= 0) return wrong;
    std::vector<AcceptEntry> accepted;
    const int unreadable = ReadAcceptList(line, accepted, err);
    if (unreadable >= 0) return unreadable;
    if (!line.oldTarget.empty()) return RunPlan(line, accepted, out, err, io);

    const std::string& target = line.target;
    const std::string& baseUrl = line.baseUrl;
    if (!AuthorityOf(target).empty() && !baseUrl.empty())
        return Usage(err, "--base-url belongs to a check of a folder");
    std::string problem;
    bool missingFolder = false;
    std::unique_ptr<Site> site = MakeSite(target, baseUrl, line, io, problem, &missingFolder);
    // A folder that is not there is a site that cannot be read, like a live
    // server that does not answer: not wrong usage.
    if (missingFolder) return Unreadable(problem, line, out);
    if (!site) return Usage(err, problem);

    RecordingSite recording(*site);
    const Report report = CheckSite(recording, line.options);

    ReportContext context;
    for (const Finding& f : report.findings)
        context.findings.push_back(FindingContext{recording.LineText(f.file, f.line), false});
    ApplyAccepted(line, accepted, report, {SiteRoot(*site, target, baseUrl)}, context, err);
    out += FormatReport(report, line.format, context);
    return ExitStatus(report, context, line.strict);
}

}  // namespace sitecheck
