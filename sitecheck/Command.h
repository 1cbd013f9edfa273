#pragma once
// velta-site's verbs: check (the site, its findings formatted), plan
// (plan/PlanCommand.h) and rules (the rule table). Returns the exit status: 0 no error, 1 errors
// (with
// --strict, warnings too) that the accept list does not name, 2 wrong usage,
// 3 the site could not be read or the checker could not run.
#include <string>
#include <vector>

#include "sitecheck/CommandLine.h"

namespace sitecheck {

// Arguments, output and messages in UTF-8.
int RunCommand(const std::vector<std::string>& arguments, std::string& out, std::string& err,
               const CommandIo& io = CommandIo());

}  // namespace sitecheck
