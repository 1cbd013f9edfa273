#pragma once
// The SHA-256 of a file of a site on disk, read in pieces from the file a
// web server serving the folder would send.
#include <string>

#include "sitecheck/plan/SiteRead.h"

namespace sitecheck {

// root: the folder served as the site's origin, as MakeDirectorySite takes it.
Digester FolderDigester(const std::string& root);

}  // namespace sitecheck
