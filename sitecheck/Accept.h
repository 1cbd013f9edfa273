#pragma once
// The accept list: findings a vendor knows of and has decided to live with.
// One entry a line, fields separated by a tab:
//     RULE<TAB>FILE<TAB>TEXT
// FILE is the file's path below the site (as in "p/downloadlist.txt"), so
// one list serves the folder on disk and the live server; TEXT is the text
// of the finding's line, not its number, so that the entry survives lines
// added above it; a finding without a line has an empty TEXT (the field
// and its tab may be left out). Blank lines and lines starting with '#' are
// comments. UTF-8.
#include <string>
#include <vector>

#include "sitecheck/Output.h"
#include "sitecheck/SiteCheck.h"

namespace sitecheck {

struct AcceptEntry {
    std::string rule, file, text;
    int line = 0;  // where the entry is in the accept list
};

// Empty error: the entries; otherwise "line N: why".
std::vector<AcceptEntry> ParseAcceptList(const std::string& content, std::string& error);

// Marks each finding that an entry names as accepted; returns the entries
// that named none. siteFile: the file of each finding below the site.
std::vector<AcceptEntry> ApplyAcceptList(const std::vector<AcceptEntry>& entries,
                                         const Report& report,
                                         const std::vector<std::string>& siteFiles,
                                         ReportContext& context);

}  // namespace sitecheck
