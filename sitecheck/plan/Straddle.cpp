#include "sitecheck/plan/Straddle.h"

#include <array>
#include <map>
#include <set>
#include <tuple>

namespace sitecheck {
namespace {

constexpr int kMaxStates = 16;

class Model {
public:
    Model(PathChanges& changes, const Staging& staging)
        : m_changes(changes),
          m_stageOf(staging.StageOf()),
          m_last(staging.Count()),
          m_grace(staging.graceStage) {}

    int Last() const { return m_last; }

    // The versions whose answer at path a fetch after stage `state` gets.
    int Versions(const std::string& path, bool text, int state) {
        if (path.empty()) return kBothVersions;  // off the site: no stage touches it
        const PathChange& change = m_changes.At(path, text);
        if (!change.Changed()) return kBothVersions;
        const int stage = StageOf(path);
        return stage != 0 && state >= stage ? kNewVersion : kOldVersion;
    }
    bool Present(const std::string& path, bool text, int state) {
        if (path.empty()) return true;
        const PathChange& change = m_changes.At(path, text);
        return Versions(path, text, state) == kNewVersion ? change.after.present
                                                          : change.before.present;
    }
    int StageOf(const std::string& path) const {
        const auto known = m_stageOf.find(path);
        return known == m_stageOf.end() ? 0 : known->second;
    }
    // The last stage a run whose catalog came after `catalogState` can reach.
    int Limit(int catalogState) const {
        return m_grace > 0 && catalogState <= m_grace - 2 ? m_grace - 1 : m_last;
    }
    SiteRead& Side(int versions) {
        return (versions & kOldVersion) ? m_changes.Old() : m_changes.New();
    }
    // The base URLs the version's catalog at path names.
    const std::set<std::string>& Named(const std::string& catalogPath, int version) {
        const auto key = std::make_pair(catalogPath, version);
        auto known = m_named.find(key);
        if (known == m_named.end()) {
            std::set<std::string> urls;
            SiteRead& side = version == kOldVersion ? m_changes.Old() : m_changes.New();
            // NEW names nothing through a path it does not reach.
            if (version == kOldVersion || side.Reached().count(catalogPath) != 0) {
                for (const ProductRead& p : side.Products(catalogPath))
                    urls.insert(p.entry.baseUrl);
            }
            known = m_named.emplace(key, std::move(urls)).first;
        }
        return known->second;
    }
    int Allowed(const std::string& catalogPath, const std::string& baseUrl) {
        return (Named(catalogPath, kOldVersion).count(baseUrl) ? kOldVersion : 0) |
               (Named(catalogPath, kNewVersion).count(baseUrl) ? kNewVersion : 0);
    }

private:
    PathChanges& m_changes;
    std::unordered_map<std::string, int> m_stageOf;
    int m_last, m_grace;
    std::map<std::pair<std::string, int>, std::set<std::string>> m_named;
};

RunFetch FetchAt(Model& model, const std::string& path, bool text, int state) {
    return RunFetch{state, model.Versions(path, text, state), model.Present(path, text, state)};
}

// Names the fetch that pinned the run to one version before `breaking`
// found the other.
void FindPin(BrokenRun& run) {
    int possible = run.allowed;
    run.pinnedBy = -2;
    if ((possible & run.list.versions) != possible) run.pinnedBy = -1;
    possible &= run.list.versions;
    for (int j = 0; j < run.breaking; ++j) {
        const int versions = run.fileFetches[static_cast<std::size_t>(j)].versions;
        if ((possible & versions) != possible) run.pinnedBy = j;
        possible &= versions;
    }
}

// The catalog part of a run: the catalog at path fetched after `state`.
BrokenRun StartRun(Model& model, const std::string& catalogPath, const ProductRead& product,
                   int state) {
    BrokenRun run;
    run.catalogPath = catalogPath;
    run.catalog = FetchAt(model, catalogPath, true, state);
    run.catalogVersion = run.catalog.versions == kNewVersion ? kNewVersion : kOldVersion;
    run.productLine = product.line;
    run.product = product.entry;
    run.allowed = model.Allowed(catalogPath, product.entry.baseUrl);
    run.listUrl = product.listUrl;
    run.listPath = product.listPath;
    return run;
}

// From the list after `listState` on, the earliest stages at which each
// file can come while some version still agrees with everything fetched.
// True with the run filled in when a fetch can leave no version.
bool Walk(Model& model, BrokenRun& run, int listState, int limit) {
    run.list = FetchAt(model, run.listPath, true, listState);
    const int start = run.allowed & run.list.versions;
    if (start == 0) {
        run.breaking = -1;
        run.pinnedBy = -2;
        return true;
    }
    // Neither version that agrees so far has a usable list: the run fails
    // as that version's own runs do, which the check of that site reports.
    if (!run.list.present) return false;
    const ListRead& list = model.Side(start).List(run.product.baseUrl);
    if (!list.usable) return false;

    using Layer = std::array<std::array<bool, 4>, kMaxStates>;
    using Parents = std::array<std::array<int8_t, 4>, kMaxStates>;
    Layer reach{};
    reach[static_cast<std::size_t>(listState)][static_cast<std::size_t>(start)] = true;
    std::vector<Parents> parents;
    for (std::size_t i = 0; i < list.files.size(); ++i) {
        const FileEntry& file = list.files[i];
        int versions[kMaxStates];
        for (int k = listState; k <= limit; ++k) versions[k] = model.Versions(file.path, false, k);
        Layer next{};
        Parents from{};
        int broken = -1;
        for (int possible = 1; possible < 4; ++possible) {
            int earlier = -1;
            for (int k = listState; k <= limit; ++k) {
                if (reach[static_cast<std::size_t>(k)][static_cast<std::size_t>(possible)])
                    earlier = k;
                if (earlier < 0) continue;
                const int left = possible & versions[k];
                auto& cell = next[static_cast<std::size_t>(k)][static_cast<std::size_t>(left)];
                if (cell) continue;
                cell = true;
                from[static_cast<std::size_t>(k)][static_cast<std::size_t>(left)] =
                    static_cast<int8_t>(earlier * 4 + possible);
                if (left == 0 && broken < 0) broken = k;
            }
        }
        parents.push_back(from);
        if (broken >= 0) {
            // Back from the breaking fetch to the list: each file's stage.
            std::vector<int> states(i + 1);
            int state = broken, possible = 0;
            for (std::size_t j = i + 1; j-- > 0;) {
                states[j] = state;
                const int code =
                    parents[j][static_cast<std::size_t>(state)][static_cast<std::size_t>(possible)];
                state = code / 4;
                possible = code % 4;
            }
            run.files.assign(list.files.begin(), list.files.begin() + static_cast<long>(i) + 1);
            for (std::size_t j = 0; j <= i; ++j)
                run.fileFetches.push_back(FetchAt(model, list.files[j].path, false, states[j]));
            run.breaking = static_cast<int>(i);
            FindPin(run);
            return true;
        }
        for (auto& row : next) row[0] = false;
        reach = next;
    }
    return false;
}

}  // namespace

std::vector<BrokenRun> FindBrokenRuns(PathChanges& changes, const Staging& staging) {
    std::vector<BrokenRun> broken;
    if (staging.Count() >= kMaxStates) return broken;
    Model model(changes, staging);
    const int last = model.Last();
    std::set<std::string> reported;  // base URLs
    std::set<std::tuple<std::string, int, int, int>> walked;
    for (const CatalogRead& catalog : changes.New().catalogs()) {
        const std::string& path = catalog.path;
        const PathChange& change = changes.At(path, true);
        const int stage = model.StageOf(path);
        // The stretches of stages over which the catalog gives one text.
        std::vector<std::pair<int, int>> stretches;
        if (!change.Changed() || stage == 0) {
            stretches.emplace_back(0, last);
        } else {
            stretches.emplace_back(0, stage - 1);
            stretches.emplace_back(stage, last);
        }
        for (const auto& [first, end] : stretches) {
            const int versions = model.Versions(path, true, first);
            // The earliest catalog, and the earliest one that outlives the grace.
            std::set<int> starts = {first};
            const int lateStart = staging.graceStage > 0 ? staging.graceStage - 1 : first;
            if (lateStart > first && lateStart <= end) starts.insert(lateStart);
            for (const ProductRead& product : model.Side(versions).Products(path)) {
                const std::string& baseUrl = product.entry.baseUrl;
                if (product.listPath.empty() || reported.count(baseUrl)) continue;
                bool found = false;
                for (int catalogState : starts) {
                    const int limit = model.Limit(catalogState);
                    std::set<int> listStates = {catalogState};
                    const int listStage = model.StageOf(product.listPath);
                    if (listStage > catalogState && listStage <= limit)
                        listStates.insert(listStage);
                    for (int listState : listStates) {
                        const int allowed = model.Allowed(path, baseUrl);
                        if (!walked.emplace(baseUrl, listState, allowed, limit).second) continue;
                        BrokenRun run = StartRun(model, path, product, catalogState);
                        if (Walk(model, run, listState, limit)) {
                            broken.push_back(std::move(run));
                            found = true;
                            break;
                        }
                    }
                    if (found) break;
                }
                if (found) reported.insert(baseUrl);
            }
        }
    }
    return broken;
}

bool MixedAt(PathChanges& changes, const Staging& staging, int state) {
    Model model(changes, staging);
    for (const CatalogRead& catalog : changes.New().catalogs()) {
        const int versions = model.Versions(catalog.path, true, state);
        for (const ProductRead& product : model.Side(versions).Products(catalog.path)) {
            if (product.listPath.empty()) continue;
            int possible = model.Allowed(catalog.path, product.entry.baseUrl) &
                           model.Versions(product.listPath, true, state);
            if (possible == 0) return true;
            if (!model.Present(product.listPath, true, state)) continue;
            for (const FileEntry& file : model.Side(possible).List(product.entry.baseUrl).files) {
                possible &= model.Versions(file.path, false, state);
                if (possible == 0) return true;
            }
        }
    }
    return false;
}

RunVerdict JudgeRun(PathChanges& changes, const Staging& staging, const std::string& catalogPath,
                    const std::string& baseUrl, int catalogState, int listState,
                    const std::vector<int>& fileStates) {
    Model model(changes, staging);
    RunVerdict verdict;
    const int versions = model.Versions(catalogPath, true, catalogState);
    ProductRead product;
    bool named = false;
    for (const ProductRead& p : model.Side(versions).Products(catalogPath)) {
        if (p.entry.baseUrl == baseUrl) {
            product = p;
            named = true;
            break;
        }
    }
    if (!named) {
        verdict.version = 0;
        return verdict;
    }
    BrokenRun run = StartRun(model, catalogPath, product, catalogState);
    run.list = FetchAt(model, run.listPath, true, listState);
    int possible = run.allowed & run.list.versions;
    if (possible == 0) {
        run.breaking = -1;
        run.pinnedBy = -2;
        verdict.sound = false;
        verdict.run = std::move(run);
        return verdict;
    }
    if (run.list.present) {
        const ListRead& list = model.Side(possible).List(baseUrl);
        for (std::size_t i = 0; list.usable && i < list.files.size(); ++i) {
            const int state = fileStates.empty()      ? listState
                              : i < fileStates.size() ? fileStates[i]
                                                      : fileStates.back();
            run.files.push_back(list.files[i]);
            run.fileFetches.push_back(FetchAt(model, list.files[i].path, false, state));
            if ((possible & run.fileFetches.back().versions) == 0) {
                run.breaking = static_cast<int>(i);
                FindPin(run);
                verdict.sound = false;
                verdict.run = std::move(run);
                return verdict;
            }
            possible &= run.fileFetches.back().versions;
        }
    }
    verdict.version = possible;
    verdict.run = std::move(run);
    return verdict;
}

}  // namespace sitecheck
