#pragma once
// What customers will see change: products added, removed, renamed (the
// name column) and moved (the URL column), and per product the files
// added, removed and changed, by size and SHA-256.
#include <string>
#include <vector>

#include "sitecheck/plan/Staging.h"

namespace sitecheck {

struct FileChange {
    enum class Kind { Added, Removed, Changed };
    Kind kind = Kind::Added;
    std::string relative;  // the list's line, code page 932
    Content before, after;
};

struct ProductChange {
    enum class Kind { Kept, Added, Removed, Renamed, Moved };
    Kind kind = Kind::Kept;
    std::string catalogPath;
    ProductRead before, after;  // before: none when added; after: none when removed
    std::vector<FileChange> files;
};

// Per catalog read, in NEW's order, then the products NEW removes in OLD's
// order. A kept product appears only when its files change.
std::vector<ProductChange> CompareProducts(PathChanges& changes);

}  // namespace sitecheck
