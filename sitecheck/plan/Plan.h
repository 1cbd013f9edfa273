#pragma once
// A planned publication of NEW over OLD: what customers will see change,
// the stages to publish it in, and the findings: NEW's own check, files
// replaced in place, sites between the stages that fail the check, and
// customer runs across the stages that break.
#include <memory>
#include <string>
#include <vector>

#include "sitecheck/plan/Changes.h"
#include "sitecheck/plan/Staging.h"
#include "sitecheck/plan/Straddle.h"

namespace sitecheck {

struct Plan {
    Report report;  // the findings in `check`'s shape; NEW's counts
    std::vector<ProductChange> products;
    Staging staging;
};

// Both sides of a planned publication, each read as `check` reads it. Two
// folders are read side by side; a live OLD after NEW, whose file sizes say
// how much of each old file to keep for its digest.
class PlanSides {
public:
    PlanSides(std::unique_ptr<Site> old, Digester oldDigester, std::unique_ptr<Site> now,
              Digester newDigester, const Options& options);
    PathChanges& changes() { return *m_changes; }

private:
    std::unique_ptr<Site> m_oldSite, m_newSite;
    std::unique_ptr<SiteRead> m_new, m_old;
    std::unique_ptr<PathChanges> m_changes;
};

// Both sides read already; a side that could not be read ends the plan
// with its reason (report.fatal).
Plan MakePlan(PathChanges& changes, const Options& options);

// The findings of runs that break, in `check`'s shape.
std::vector<Finding> RunFindings(PathChanges& changes, const Staging& staging,
                                 const std::vector<BrokenRun>& runs);

}  // namespace sitecheck
