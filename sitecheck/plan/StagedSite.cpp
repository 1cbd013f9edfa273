#include "sitecheck/plan/StagedSite.h"

#include <set>
#include <tuple>

namespace sitecheck {
namespace {

class StagedSite : public Site {
public:
    StagedSite(PathChanges& changes, const std::unordered_map<std::string, int>& stageOf,
               int state)
        : m_old(changes.Old()), m_new(changes.New()), m_stageOf(stageOf), m_state(state) {}

    std::string CatalogUrl(int testMode) const override {
        return m_new.site().CatalogUrl(testMode);
    }
    Fetched FetchText(const std::string& url) override { return Fetch(url, 0, true); }
    Fetched FetchFile(const std::string& url, std::size_t headBytes) override {
        return Fetch(url, headBytes, false);
    }
    std::string Where(const std::string& url) const override {
        const std::string path = m_new.PathOf(url);
        return (path.empty() || FromNew(path) ? m_new : m_old).site().Where(url);
    }
    std::string Authority() const override { return m_new.site().Authority(); }
    bool Live() const override { return false; }

private:
    bool FromNew(const std::string& path) const {
        const auto stage = m_stageOf.find(path);
        return stage != m_stageOf.end() && m_state >= stage->second;
    }

    Fetched Fetch(const std::string& url, std::size_t headBytes, bool text) {
        const std::string path = m_new.PathOf(url);
        if (path.empty()) {
            return text ? m_new.site().FetchText(url) : m_new.site().FetchFile(url, headBytes);
        }
        if (!FromNew(path)) return m_old.Replay(url, headBytes, text);
        if (m_new.Reached().count(path) != 0) return m_new.Replay(url, headBytes, text);
        Fetched gone;
        gone.outcome = Outcome::Status;
        gone.status = 404;
        gone.detail = "deleted in stage " + std::to_string(m_stageOf.at(path)) +
                      " (a server answers 404)";
        return gone;
    }

    SiteRead& m_old;
    SiteRead& m_new;
    const std::unordered_map<std::string, int>& m_stageOf;
    int m_state;
};

using Key = std::tuple<std::string, std::string, int, std::string>;

Key KeyOf(const Finding& f) { return Key(f.rule, f.file, f.line, f.what); }

Report CheckAt(PathChanges& changes, const std::unordered_map<std::string, int>& stageOf,
               int state, const Options& options) {
    StagedSite site(changes, stageOf, state);
    return CheckSite(site, options);
}

}  // namespace

std::vector<Finding> CheckBetweenStages(PathChanges& changes, const Staging& staging,
                                        const Options& options) {
    std::vector<Finding> found;
    const std::unordered_map<std::string, int> stageOf = staging.StageOf();
    std::set<Key> known;
    for (int state : {0, staging.Count()}) {
        for (const Finding& f : CheckAt(changes, stageOf, state, options).findings)
            known.insert(KeyOf(f));
    }
    for (int state = 1; state < staging.Count(); ++state) {
        if (staging.stages[static_cast<std::size_t>(state - 1)].empty()) continue;
        for (Finding f : CheckAt(changes, stageOf, state, options).findings) {
            if (!known.insert(KeyOf(f)).second) continue;
            f.what = "after stage " + std::to_string(state) + ": " + f.what;
            found.push_back(std::move(f));
        }
    }
    return found;
}

}  // namespace sitecheck
