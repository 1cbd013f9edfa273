#include "sitecheck/plan/StagedSite.h"

#include <set>
#include <thread>
#include <tuple>

#include "sitecheck/plan/Straddle.h"

namespace sitecheck {
namespace {

class StagedSite : public Site {
public:
    StagedSite(PathChanges& changes, const std::unordered_map<std::string, int>& stageOf, int state)
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
        gone.detail =
            "deleted in stage " + std::to_string(m_stageOf.at(path)) + " (a server answers 404)";
        return gone;
    }

    SiteRead& m_old;
    SiteRead& m_new;
    const std::unordered_map<std::string, int>& m_stageOf;
    int m_state;
};

using Key = std::tuple<RuleId, std::string, int, std::string>;

// A finding as it reads whichever side's folder names the file: the roots
// taken out of where it is and of what it says.
class Keys {
public:
    explicit Keys(PathChanges& changes) : m_roots{changes.New().Root(), changes.Old().Root()} {}

    Key Of(const Finding& f) const {
        return Key(f.rule, Below(f.file), f.line, WithoutRoots(f.what));
    }

private:
    std::string Below(const std::string& file) const {
        for (const std::string& root : m_roots) {
            if (file.compare(0, root.size(), root) == 0) return file.substr(root.size());
        }
        return file;
    }
    std::string WithoutRoots(std::string text) const {
        for (const std::string& root : m_roots) {
            for (std::size_t at; (at = text.find(root)) != std::string::npos;)
                text.erase(at, root.size());
        }
        return text;
    }

    std::vector<std::string> m_roots;
};

Report CheckAt(PathChanges& changes, const std::unordered_map<std::string, int>& stageOf, int state,
               const Options& options) {
    StagedSite site(changes, stageOf, state);
    return CheckSite(site, options);
}

}  // namespace

std::vector<Finding> CheckBetweenStages(PathChanges& changes, const Staging& staging,
                                        const Options& options) {
    const std::unordered_map<std::string, int> stageOf = staging.StageOf();
    const Keys keys(changes);
    std::set<Key> known;
    for (const Finding& f : changes.New().report().findings) known.insert(keys.Of(f));
    // A live OLD was judged by the live rules; read as a folder is, it is
    // the site before the first stage.
    const std::vector<Finding> before = changes.Old().site().Live()
                                            ? CheckAt(changes, stageOf, 0, options).findings
                                            : changes.Old().report().findings;
    for (const Finding& f : before) known.insert(keys.Of(f));

    // A site between stages that gives every product one version's list
    // and files, as the catalog there names it, holds only what OLD's or
    // NEW's check found; the others are checked, each on a thread of its own.
    std::vector<int> states;
    for (int state = 1; state < staging.Count(); ++state) {
        if (!staging.stages[static_cast<std::size_t>(state - 1)].empty() &&
            MixedAt(changes, staging, state)) {
            states.push_back(state);
        }
    }
    std::vector<Report> reports(states.size());
    {
        std::vector<std::thread> threads;
        for (std::size_t i = 0; i < states.size(); ++i) {
            threads.emplace_back(
                [&, i] { reports[i] = CheckAt(changes, stageOf, states[i], options); });
        }
        for (std::thread& thread : threads) thread.join();
    }
    std::vector<Finding> found;
    for (std::size_t i = 0; i < states.size(); ++i) {
        for (Finding& f : reports[i].findings) {
            if (!known.insert(keys.Of(f)).second) continue;
            f.what = "after stage " + std::to_string(states[i]) + ": " + f.what;
            found.push_back(std::move(f));
        }
    }
    return found;
}

}  // namespace sitecheck
