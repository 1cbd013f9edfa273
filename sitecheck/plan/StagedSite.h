#pragma once
// The site as it stands between two stages, composed from what OLD and NEW
// answered (no path is fetched again), checked by `check`'s own rules.
#include <vector>

#include "sitecheck/plan/Staging.h"

namespace sitecheck {

// Findings `check` gives on the site after stage 1, 2, ... (up to the one
// before the last) that it gives neither on OLD nor on NEW read the same
// way. Each finding's text starts with the stage it belongs to.
std::vector<Finding> CheckBetweenStages(PathChanges& changes, const Staging& staging,
                                        const Options& options);

}  // namespace sitecheck
