#pragma once
// velta-site plan OLD NEW: the command's own steps after the command line
// and the accept list are read (sitecheck/CommandLine.h).
#include <string>
#include <vector>

#include "sitecheck/CommandLine.h"

namespace sitecheck {

// Returns the exit status: 0 every run across the stages is sound and NEW
// passes the check, 1 errors (with --strict: warnings), 2 wrong usage,
// 3 a side could not be read or the checker could not run.
int RunPlan(const CommandLine& line, const std::vector<AcceptEntry>& accepted, std::string& out,
            std::string& err, const CommandIo& io);

}  // namespace sitecheck
