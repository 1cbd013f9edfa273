#pragma once
// Every finding the checker can report has a stable rule id, letters then
// digits, so a publishing pipeline can name it (--accept, SARIF, GitHub
// annotations) and the README can document it.
#include <string>
#include <vector>

#include "sitecheck/SiteCheck.h"

namespace sitecheck {

struct Rule {
    const char* id;        // "VS104"
    Severity severity;     // as reported (before --strict)
    const char* summary;   // what it means, one line, UTF-8
    const char* customer;  // what the customer sees, one line, UTF-8
    const char* fix;       // how to fix it, one line, UTF-8
};

// Every rule, ordered by id.
const std::vector<Rule>& AllRules();
// The rule of that id, or nullptr.
const Rule* FindRule(const std::string& id);

}  // namespace sitecheck
