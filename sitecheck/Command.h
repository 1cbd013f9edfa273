#pragma once
// The velta-site command line: parses the arguments, checks the site and
// formats the findings. Returns the exit status (0 no error, 1 errors, 2
// wrong usage or a site that cannot be reached at all).
#include <string>
#include <vector>

namespace sitecheck {

int RunCommand(const std::vector<std::string>& arguments, std::string& out, std::string& err);

}  // namespace sitecheck
