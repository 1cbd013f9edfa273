#include "sitecheck/plan/Changes.h"

#include <map>

namespace sitecheck {
namespace {

// The files of a product's list, by their line, with what each answers.
std::map<std::string, Content> FilesOf(SiteRead& side, const ProductRead* product) {
    std::map<std::string, Content> files;
    if (product == nullptr || product->listPath.empty()) return files;
    for (const FileEntry& file : side.List(product->entry.baseUrl).files) {
        if (file.path.empty() || files.count(file.relative)) continue;
        files.emplace(file.relative, side.FileContent(file.path));
    }
    return files;
}

std::vector<FileChange> CompareFiles(PathChanges& changes, const ProductRead* before,
                                     const ProductRead* after) {
    const std::map<std::string, Content> old = FilesOf(changes.Old(), before);
    const std::map<std::string, Content> now = FilesOf(changes.New(), after);
    std::vector<FileChange> files;
    for (const auto& [relative, content] : now) {
        const auto known = old.find(relative);
        if (known == old.end()) {
            files.push_back({FileChange::Kind::Added, relative, Content(), content});
        } else if (!known->second.Same(content)) {
            files.push_back({FileChange::Kind::Changed, relative, known->second, content});
        }
    }
    for (const auto& [relative, content] : old) {
        if (now.count(relative) == 0)
            files.push_back({FileChange::Kind::Removed, relative, content, Content()});
    }
    return files;
}

}  // namespace

std::vector<ProductChange> CompareProducts(PathChanges& changes) {
    std::vector<ProductChange> result;
    for (const CatalogRead& catalog : changes.New().catalogs()) {
        const std::vector<ProductRead> old = changes.Old().Products(catalog.path);
        const std::vector<ProductRead>& now = catalog.products;
        std::vector<int> match(now.size(), -1);
        std::vector<bool> taken(old.size(), false);
        // The same URL first (a rename keeps it), then the same name (a move keeps it).
        for (int pass = 0; pass < 2; ++pass) {
            for (std::size_t n = 0; n < now.size(); ++n) {
                for (std::size_t o = 0; match[n] < 0 && o < old.size(); ++o) {
                    const bool same = pass == 0 ? old[o].entry.baseUrl == now[n].entry.baseUrl
                                                : old[o].entry.name == now[n].entry.name;
                    if (!taken[o] && same) {
                        match[n] = static_cast<int>(o);
                        taken[o] = true;
                    }
                }
            }
        }
        for (std::size_t n = 0; n < now.size(); ++n) {
            ProductChange change;
            change.catalogPath = catalog.path;
            change.after = now[n];
            const ProductRead* before = nullptr;
            if (match[n] < 0) {
                change.kind = ProductChange::Kind::Added;
            } else {
                change.before = old[static_cast<std::size_t>(match[n])];
                before = &change.before;
                change.kind =
                    before->entry.baseUrl != now[n].entry.baseUrl ? ProductChange::Kind::Moved
                    : before->entry.name != now[n].entry.name     ? ProductChange::Kind::Renamed
                                                                  : ProductChange::Kind::Kept;
            }
            change.files = CompareFiles(changes, before, &change.after);
            if (change.kind != ProductChange::Kind::Kept || !change.files.empty())
                result.push_back(std::move(change));
        }
        for (std::size_t o = 0; o < old.size(); ++o) {
            if (taken[o]) continue;
            ProductChange change;
            change.kind = ProductChange::Kind::Removed;
            change.catalogPath = catalog.path;
            change.before = old[o];
            change.files = CompareFiles(changes, &change.before, nullptr);
            result.push_back(std::move(change));
        }
    }
    return result;
}

}  // namespace sitecheck
