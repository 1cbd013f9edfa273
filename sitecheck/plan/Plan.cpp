#include "sitecheck/plan/Plan.h"

#include <thread>

#include "sitecheck/Cp932.h"
#include "sitecheck/plan/StagedSite.h"

namespace sitecheck {
namespace {

std::string Quote(const std::string& cp932) { return "\"" + Cp932ToUtf8(cp932) + "\""; }

std::string VersionName(int versions) { return versions == kNewVersion ? "NEW's" : "OLD's"; }

std::string StateName(int state) {
    return state == 0 ? std::string("before stage 1") : "after stage " + std::to_string(state);
}

std::string Short(const Content& content) {
    if (!content.present) return "missing";
    return std::to_string(content.size) + " bytes, SHA-256 " + HexOf(content.sha256).substr(0, 12) +
           "\xE2\x80\xA6";
}

// "the catalog, the file list and "setup.exe" before stage 1 and "data.cab" after stage 1"
std::string DescribeFetches(const std::vector<std::pair<std::string, int>>& fetches) {
    std::string out;
    std::size_t i = 0;
    while (i < fetches.size()) {
        std::size_t end = i;
        while (end + 1 < fetches.size() && fetches[end + 1].second == fetches[i].second) ++end;
        std::string group;
        for (std::size_t k = i; k <= end; ++k) {
            group += (k == i ? "" : k == end ? " and " : ", ") + fetches[k].first;
        }
        const bool lastGroup = end + 1 == fetches.size();
        out += (i == 0      ? ""
                : lastGroup ? " and "
                            : ", ") +
               group + " " + StateName(fetches[i].second);
        i = end + 1;
    }
    return out;
}

// Why a path answers nothing at that fetch.
std::string WhyMissing(const RunFetch& fetch, int stage) {
    if (fetch.versions == kNewVersion) return " (deleted in stage " + std::to_string(stage) + ")";
    return stage > 0 ? " (published only in stage " + std::to_string(stage) + ")" : "";
}

Finding RunFinding(PathChanges& changes, const std::unordered_map<std::string, int>& stageOf,
                   const BrokenRun& run) {
    const auto stageOfPath = [&](const std::string& path) {
        const auto known = stageOf.find(path);
        return known == stageOf.end() ? 0 : known->second;
    };
    std::vector<std::pair<std::string, int>> fetches = {{"the catalog", run.catalog.state},
                                                        {"the file list", run.list.state}};
    const int last = run.breaking < 0 ? -1 : run.breaking;
    for (int i = 0; i <= last; ++i) {
        fetches.emplace_back(Quote(run.files[static_cast<std::size_t>(i)].relative),
                             run.fileFetches[static_cast<std::size_t>(i)].state);
    }
    const RunFetch& breaking =
        run.breaking < 0 ? run.list : run.fileFetches[static_cast<std::size_t>(run.breaking)];
    const std::string breakingName =
        run.breaking < 0 ? "the file list of " + Quote(run.product.name)
                         : Quote(run.files[static_cast<std::size_t>(run.breaking)].relative);
    const std::string breakingPath =
        run.breaking < 0 ? run.listPath : run.files[static_cast<std::size_t>(run.breaking)].path;

    Finding f;
    if (run.breaking < 0) {
        SiteRead& side = run.catalogVersion == kNewVersion ? changes.New() : changes.Old();
        f.file = side.site().Where(side.UrlOf(run.catalogPath));
        f.line = run.productLine;
    } else {
        SiteRead& side = run.list.versions & kNewVersion ? changes.New() : changes.Old();
        f.file = side.site().Where(run.listUrl);
        f.line = run.files[static_cast<std::size_t>(run.breaking)].line;
    }
    const std::string runText = "a run that fetches " + DescribeFetches(fetches);
    if (run.Fails()) {
        f.rule = run.breaking < 0 ? RuleId::VS602 : RuleId::VS603;
        f.what = runText + " finds " + breakingName + " missing" +
                 WhyMissing(breaking, stageOfPath(breakingPath));
        return f;
    }
    f.rule = RuleId::VS604;
    std::string other;
    if (run.pinnedBy == -2) {
        other = "although only " + VersionName(run.allowed) + " catalog names this product";
    } else if (run.pinnedBy == -1) {
        other = "with " + VersionName(run.list.versions) + " file list";
    } else {
        const std::size_t j = static_cast<std::size_t>(run.pinnedBy);
        other = "beside " + VersionName(run.fileFetches[j].versions) + " " +
                Quote(run.files[j].relative);
    }
    f.what = runText + " gets " + VersionName(breaking.versions) + " " + breakingName + " " + other;
    return f;
}

// A file an OLD list names that NEW replaces under the same URL, or whose
// bytes could not be compared.
std::vector<Finding> ReplacedInPlace(PathChanges& changes) {
    std::vector<Finding> found;
    SiteRead& now = changes.New();
    for (const CatalogRead& catalog : now.catalogs()) {
        for (const ProductRead& product : catalog.products) {
            if (product.listPath.empty()) continue;
            const ListRead& list = now.List(product.entry.baseUrl);
            for (const FileEntry& file : list.files) {
                if (file.path.empty()) continue;
                const PathChange& change = changes.At(file.path, false);
                if (!(change.oldRoles & SiteRead::kFile) || !change.before.present ||
                    !change.after.present)
                    continue;
                Finding f;
                f.file = now.site().Where(list.url);
                f.line = file.line;
                if (change.Changed()) {
                    f.rule = RuleId::VS601;
                    f.what = "the file " + Quote(file.relative) +
                             " is replaced under the same URL: OLD " + Short(change.before) +
                             ", NEW " + Short(change.after);
                } else if (!change.before.digestKnown) {
                    f.rule = RuleId::VS605;
                    f.what = "the file " + Quote(file.relative) + " has " +
                             std::to_string(change.before.size) +
                             " bytes on both sides; the live one is over the " +
                             std::to_string(kMostKeptWhole >> 20) +
                             " MiB the checker keeps of a fetch, so its bytes were not compared";
                } else {
                    continue;
                }
                bool seen = false;
                for (const Finding& known : found)
                    seen = seen || (known.file == f.file && known.line == f.line);
                if (!seen) found.push_back(std::move(f));
            }
        }
    }
    return found;
}

}  // namespace

PlanSides::PlanSides(std::unique_ptr<Site> old, Digester oldDigester, std::unique_ptr<Site> now,
                     Digester newDigester, const Options& options)
    : m_oldSite(std::move(old)), m_newSite(std::move(now)) {
    if (!oldDigester) {
        m_new = std::make_unique<SiteRead>(*m_newSite, options, std::move(newDigester));
        SiteRead& now = *m_new;
        const KeepWhole keepWhole = [&now](const std::string& path) -> uint64_t {
            if (now.Reached().count(path) == 0) return 0;
            const Content& content = now.FileContent(path);
            return content.present ? content.size : 0;
        };
        m_old = std::make_unique<SiteRead>(*m_oldSite, options, Digester(), keepWhole);
    } else {
        // The two reads share nothing: OLD is read on a thread of its own.
        std::thread reading([&] {
            m_old = std::make_unique<SiteRead>(*m_oldSite, options, std::move(oldDigester));
        });
        m_new = std::make_unique<SiteRead>(*m_newSite, options, std::move(newDigester));
        reading.join();
    }
    m_changes = std::make_unique<PathChanges>(*m_old, *m_new);
}

std::vector<Finding> RunFindings(PathChanges& changes, const Staging& staging,
                                 const std::vector<BrokenRun>& runs) {
    std::vector<Finding> found;
    const std::unordered_map<std::string, int> stageOf = staging.StageOf();
    for (const BrokenRun& run : runs) found.push_back(RunFinding(changes, stageOf, run));
    return found;
}

Plan MakePlan(PathChanges& changes, const Options& options) {
    Plan plan;
    plan.report = changes.New().report();
    if (plan.report.fatal.empty() && !changes.Old().report().fatal.empty())
        plan.report.fatal = "OLD: " + changes.Old().report().fatal;
    if (!plan.report.fatal.empty()) return plan;
    plan.products = CompareProducts(changes);
    plan.staging = PlanStages(changes);
    for (Finding& f : ReplacedInPlace(changes)) plan.report.findings.push_back(std::move(f));
    for (Finding& f : CheckBetweenStages(changes, plan.staging, options))
        plan.report.findings.push_back(std::move(f));
    for (Finding& f : RunFindings(changes, plan.staging, FindBrokenRuns(changes, plan.staging)))
        plan.report.findings.push_back(std::move(f));
    // A fetch made while planning can find the checker itself failing.
    for (SiteRead* side : {&changes.New(), &changes.Old()}) {
        if (plan.report.fatal.empty() && !side->report().fatal.empty())
            plan.report.fatal = (side == &changes.Old() ? "OLD: " : "") + side->report().fatal;
    }
    return plan;
}

}  // namespace sitecheck
