#include "sitecheck/Checker.h"

#include "download/WorkFolderPath.h"

namespace sitecheck {

bool Checker::PrepareWorkFolder() {
    char folder[kWorkFolderCapacity];
    if (!FormatWorkFolderCandidate(folder, sizeof folder, m_options.downloadsFolder.c_str(), 0)) {
        return false;
    }
    m_workFolder = folder;
    return true;
}

// A rule that cannot arise in this mode means the checker went wrong.
void Checker::Add(RuleId rule, const std::string& file, int line, std::string what) {
    if (!RunsIn(rule, m_site.Live()) && m_report.fatal.empty()) {
        m_report.fatal = std::string("internal: ") + RuleOf(rule).code + " in the wrong mode";
    }
    m_report.findings.push_back({rule, file, line, std::move(what)});
}

// The checker's own failure ends the check: nothing it would say after it
// could be trusted.
bool Checker::RecordCheckerFailure(const Fetched& fetched) {
    if (fetched.outcome != Outcome::CheckerFailed) return false;
    if (m_report.fatal.empty()) m_report.fatal = "the checker failed: " + fetched.detail;
    return true;
}

std::string Options::DefaultDownloadsFolder() {
    // A user name of 20 characters, the longest Windows allows.
    return "C:\\Users\\abcdefghijklmnopqrst\\Downloads\\";
}

int Report::Count(Severity severity) const {
    int n = 0;
    for (const Finding& f : findings) n += f.severity() == severity;
    return n;
}

Report CheckSite(Site& site, const Options& options) {
    Report report;
    Checker checker(site, options, report);
    if (!checker.PrepareWorkFolder()) {
        report.fatal =
            "the Downloads folder " + options.downloadsFolder + " is too long for a work folder";
        return report;
    }
    if (options.normalCatalog) checker.CheckCatalog(0);
    if (report.fatal.empty() && options.testCatalog) checker.CheckCatalog(1);
    if (report.fatal.empty()) checker.CheckFiles();
    return report;
}

}  // namespace sitecheck
