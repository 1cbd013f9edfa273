#pragma once
// The paths a planned change touches, OLD's and NEW's answer at each, and
// the order in which to publish them.
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "sitecheck/plan/SiteRead.h"

namespace sitecheck {

// Versions as bits, so that the versions a fetch is consistent with can be
// intersected along a run.
enum : int { kOldVersion = 1, kNewVersion = 2, kBothVersions = 3 };

struct PathChange {
    std::string path;
    int oldRoles = 0, newRoles = 0;  // SiteRead::Role bits: how each side reaches the path
    // OLD: what the published site answers there. NEW: what the new folder
    // answers where NEW reaches the path; absent elsewhere, since what NEW
    // does not name is deleted.
    Content before, after;
    bool Changed() const { return !before.Same(after); }
    bool Text() const {
        return ((oldRoles | newRoles) & (SiteRead::kCatalog | SiteRead::kList)) != 0;
    }
};

// Every path of either side, compared; further paths are compared when
// first asked for (a run can meet a list or file neither side's catalogs
// lead to, such as a stray copy at a new product's address).
class PathChanges {
public:
    PathChanges(SiteRead& old, SiteRead& now);
    PathChange& At(const std::string& path, bool text);
    const std::unordered_map<std::string, PathChange>& All() const { return m_paths; }
    SiteRead& Old() { return m_old; }
    SiteRead& New() { return m_new; }

private:
    PathChange& Compare(const std::string& path, bool text);

    SiteRead& m_old;
    SiteRead& m_new;
    std::unordered_map<std::string, PathChange> m_paths;
};

// Stages of paths, published one after the other. The site between stage
// k and k+1 answers NEW's content at every path of stages 1..k and OLD's
// elsewhere. The grace stage goes up a grace period after the one before
// it, a period longer than any customer's run.
struct Staging {
    std::vector<std::vector<std::string>> stages;
    int graceStage = 0;  // 1-based; 0: none

    int Count() const { return static_cast<int>(stages.size()); }
    // 1-based stage of each path in a stage.
    std::unordered_map<std::string, int> StageOf() const;
};

// The stages of the planned change, each sorted by path:
//   1. the files NEW adds or changes;
//   2. the file lists NEW adds or changes;
//   3. the catalogs NEW changes;
//   4. after the grace period: what NEW no longer names (or no longer has), deleted.
// A path goes where its latest role in NEW puts it.
Staging PlanStages(const PathChanges& changes);

// What each of the four stages does, for reports.
const char* StageTitle(int stage);

}  // namespace sitecheck
