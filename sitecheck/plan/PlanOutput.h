#pragma once
// The plan in every format `check` has: what customers will see change,
// the findings as `check` writes them, the stages in publishing order and
// `check`'s summary line. JSON carries the stages as arrays of paths that a
// pipeline can hand to its upload tool; SARIF carries the findings only.
#include <string>

#include "sitecheck/Output.h"
#include "sitecheck/plan/Plan.h"

namespace sitecheck {

std::string FormatPlan(const Plan& plan, Format format, const ReportContext& context,
                       int graceHours);

// A site path as the stages name it: below the root, in UTF-8.
std::string ShownPath(const std::string& path);

}  // namespace sitecheck
