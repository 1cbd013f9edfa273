#include "sitecheck/plan/PlanCommand.h"

#include "sitecheck/Url.h"
#include "sitecheck/plan/FolderDigest.h"
#include "sitecheck/plan/Plan.h"
#include "sitecheck/plan/PlanOutput.h"

namespace sitecheck {

int RunPlan(const CommandLine& line, const std::vector<AcceptEntry>& accepted, std::string& out,
            std::string& err, const CommandIo& io) {
    const bool oldLive = !AuthorityOf(line.oldTarget).empty();
    if (!AuthorityOf(line.target).empty())
        return Usage(err, "NEW is the folder about to be published, not " + line.target);
    // NEW is published where OLD is: a live OLD gives the address.
    std::string baseUrl = line.baseUrl;
    if (oldLive && baseUrl.empty()) baseUrl = SplitUrl(line.oldTarget).origin + "/";
    if (oldLive && AuthorityOf(baseUrl) != AuthorityOf(line.oldTarget))
        return Usage(err, "--base-url " + baseUrl + " is not where " + line.oldTarget + " is");

    std::string problem;
    bool missingFolder = false;
    std::unique_ptr<Site> now = MakeSite(line.target, baseUrl, line, io, problem, &missingFolder);
    if (missingFolder) return Unreadable("NEW: " + problem, line, out);
    if (!now) return Usage(err, problem);
    std::unique_ptr<Site> old =
        MakeSite(line.oldTarget, baseUrl, line, io, problem, &missingFolder);
    if (missingFolder) return Unreadable("OLD: " + problem, line, out);
    if (!old) return Usage(err, problem);
    const std::vector<std::string> roots = {SiteRoot(*now, line.target, baseUrl),
                                            SiteRoot(*old, line.oldTarget, baseUrl)};

    Digester oldDigester = oldLive ? Digester() : FolderDigester(line.oldTarget);
    PlanSides sides(std::move(old), std::move(oldDigester), std::move(now),
                    FolderDigester(line.target), line.options);
    const Plan plan = MakePlan(sides.changes(), line.options);

    ReportContext context;
    for (const Finding& f : plan.report.findings) {
        std::string text = sides.changes().New().LineText(f.file, f.line);
        if (text.empty()) text = sides.changes().Old().LineText(f.file, f.line);
        context.findings.push_back(FindingContext{text, false});
    }
    ApplyAccepted(line, accepted, plan.report, roots, context, err);
    out += FormatPlan(plan, line.format, context, line.graceHours);
    return ExitStatus(plan.report, context, line.strict);
}

}  // namespace sitecheck
