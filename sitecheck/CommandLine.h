#pragma once
// The command line that check and plan share: their arguments, the sites
// they name, the accept list and the usage. Each verb's own steps live
// above it (Command.cpp, plan/PlanCommand.cpp).
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sitecheck/Accept.h"
#include "sitecheck/Output.h"
#include "sitecheck/SiteCheck.h"

namespace sitecheck {

struct CommandLine {
    std::string target, baseUrl, acceptPath;
    std::string oldTarget;  // plan: what is published now; target is NEW
    int graceHours = 48;    // plan: between the catalogs and the deletions
    Options options;        // downloadsFolder in code page 932, ending in '\'
    Format format = Format::Text;
    bool strict = false;
    int jobs = 4;
};

// The arguments of "check" or "plan" (UTF-8); -1 when they are usable,
// otherwise the exit status (2) with the problem and the usage in err.
int ParseCommandLine(const std::vector<std::string>& arguments, CommandLine& line,
                     std::string& err);

struct CommandIo {
    // Receives the progress line as it changes ("\r" and the new text) and
    // the blanks that clear it; unset, no progress is shown.
    std::function<void(const std::string&)> progress;
};

// The parts check and plan share. The site a target names: a folder
// served as baseUrl, or a live server (Windows only). Null with the
// problem, and in missingFolder whether the folder is not there.
std::unique_ptr<Site> MakeSite(const std::string& target, const std::string& baseUrl,
                               const CommandLine& line, const CommandIo& io, std::string& problem,
                               bool* missingFolder);
// A site that cannot be read at all, said in the format asked for: status 3.
int Unreadable(const std::string& problem, const CommandLine& line, std::string& out);
// The accept list at line.acceptPath (none: empty); -1 when usable, else 2
// with the problem and the usage in err.
int ReadAcceptList(const CommandLine& line, std::vector<AcceptEntry>& accepted, std::string& err);
// Marks the findings the list names, each finding's file taken below
// whichever of the site roots it lies in; unused entries are named in err.
void ApplyAccepted(const CommandLine& line, const std::vector<AcceptEntry>& accepted,
                   const Report& report, const std::vector<std::string>& roots,
                   ReportContext& context, std::string& err);
// The folder a site's findings name its root by ("" for none), ending in '/'.
std::string SiteRoot(Site& site, const std::string& target, const std::string& baseUrl);
int Usage(std::string& err, const std::string& problem);
// The usage text, as --help prints it.
std::string UsageText();

}  // namespace sitecheck
