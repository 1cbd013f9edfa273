#include "sitecheck/plan/Staging.h"

#include <algorithm>

namespace sitecheck {

PathChanges::PathChanges(SiteRead& old, SiteRead& now) : m_old(old), m_new(now) {
    const auto& oldReached = m_old.Reached();
    const auto& newReached = m_new.Reached();
    m_paths.reserve(oldReached.size() + newReached.size());
    constexpr int kText = SiteRead::kCatalog | SiteRead::kList;
    for (const auto& [path, role] : oldReached) {
        const auto inNew = newReached.find(path);
        Compare(path, ((role | (inNew == newReached.end() ? 0 : inNew->second)) & kText) != 0);
    }
    for (const auto& [path, role] : newReached) {
        if (oldReached.count(path) == 0) Compare(path, (role & kText) != 0);
    }
}

PathChange& PathChanges::At(const std::string& path, bool text) {
    const auto known = m_paths.find(path);
    return known != m_paths.end() ? known->second : Compare(path, text);
}

PathChange& PathChanges::Compare(const std::string& path, bool text) {
    PathChange change;
    change.path = path;
    const auto oldRole = m_old.Reached().find(path);
    if (oldRole != m_old.Reached().end()) change.oldRoles = oldRole->second;
    const auto newRole = m_new.Reached().find(path);
    if (newRole != m_new.Reached().end()) change.newRoles = newRole->second;
    change.before = text ? m_old.TextContent(path) : m_old.FileContent(path);
    if (change.newRoles != 0) {
        change.after = text ? m_new.TextContent(path) : m_new.FileContent(path);
    } else {
        change.after.detail = "no longer named by NEW";
    }
    return m_paths.emplace(path, std::move(change)).first->second;
}

std::unordered_map<std::string, int> Staging::StageOf() const {
    std::unordered_map<std::string, int> stageOf;
    for (std::size_t k = 0; k < stages.size(); ++k) {
        for (const std::string& path : stages[k]) stageOf[path] = static_cast<int>(k) + 1;
    }
    return stageOf;
}

Staging PlanStages(const PathChanges& changes) {
    Staging staging;
    staging.stages.resize(4);
    staging.graceStage = 4;
    for (const auto& [path, change] : changes.All()) {
        if (!change.Changed()) continue;
        // A path whose new answer is no file (deleted, or missing from the
        // new folder while a new list names it) waits until no run can
        // still need the old one.
        int stage = 4;
        if (change.after.present) {
            stage = (change.newRoles & SiteRead::kCatalog) ? 3
                    : (change.newRoles & SiteRead::kList)  ? 2
                                                           : 1;
        }
        staging.stages[static_cast<std::size_t>(stage - 1)].push_back(path);
    }
    for (auto& stage : staging.stages) std::sort(stage.begin(), stage.end());
    return staging;
}

const char* StageTitle(int stage) {
    switch (stage) {
        case 1:
            return "upload the files NEW adds or changes";
        case 2:
            return "upload the file lists NEW adds or changes";
        case 3:
            return "upload the catalogs NEW changes";
        case 4:
            return "delete what NEW no longer names";
        default:
            return "";
    }
}

}  // namespace sitecheck
