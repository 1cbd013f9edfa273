#pragma once
// The velta-site command line: parses the arguments, checks the site and
// formats the findings. Returns the exit status: 0 no error, 1 errors (with
// --strict, warnings too) that the accept list does not name, 2 wrong usage,
// 3 the site could not be read or the checker could not run.
#include <functional>
#include <string>
#include <vector>

#include "sitecheck/Output.h"
#include "sitecheck/SiteCheck.h"

namespace sitecheck {

struct CommandLine {
    std::string target, baseUrl, acceptPath;
    Options options;  // downloadsFolder in code page 932, ending in '\'
    Format format = Format::Text;
    bool strict = false;
    int jobs = 4;
};

// The arguments of "check" (UTF-8); -1 when they are usable, otherwise the
// exit status (2) with the problem and the usage in err.
int ParseCommandLine(const std::vector<std::string>& arguments, CommandLine& line,
                     std::string& err);

struct CommandIo {
    // Receives the progress line as it changes ("\r" and the new text) and
    // the blanks that clear it; unset, no progress is shown.
    std::function<void(const std::string&)> progress;
};

// Arguments, output and messages in UTF-8.
int RunCommand(const std::vector<std::string>& arguments, std::string& out, std::string& err,
               const CommandIo& io = CommandIo());

}  // namespace sitecheck
