#pragma once
// The velta-site command line: parses the arguments, checks the site and
// formats the findings. Returns the exit status: 0 no error, 1 errors (with
// --strict, warnings too) that the accept list does not name, 2 wrong usage,
// 3 the site could not be read or the checker could not run.
#include <functional>
#include <string>
#include <vector>

namespace sitecheck {

struct CommandIo {
    // Receives the progress line as it changes ("\r" and the new text) and
    // the blanks that clear it; unset, no progress is shown.
    std::function<void(const std::string&)> progress;
};

// Arguments, output and messages in UTF-8.
int RunCommand(const std::vector<std::string>& arguments, std::string& out, std::string& err,
               const CommandIo& io = CommandIo());

}  // namespace sitecheck
