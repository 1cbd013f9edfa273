#include "sitecheck/Rules.h"

#include <algorithm>

namespace sitecheck {

const std::vector<Rule>& AllRules() {
    static const std::vector<Rule> rules = {};
    return rules;
}

const Rule* FindRule(const std::string& id) {
    const std::vector<Rule>& rules = AllRules();
    const auto found =
        std::find_if(rules.begin(), rules.end(), [&](const Rule& r) { return id == r.id; });
    return found == rules.end() ? nullptr : &*found;
}

}  // namespace sitecheck
