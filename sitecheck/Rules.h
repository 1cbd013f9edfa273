#pragma once
// Every finding the checker can report is one row of the rule table: its
// stable id, severity, the modes it runs in, what it means, what the customer
// sees and how to fix it. A finding names its row by RuleId, so a rule
// without a row cannot be reported, and nothing but the row says how a
// finding is rated or what the customer meets.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace sitecheck {

enum class Severity { Error, Warning };

// The ids are public (pipelines accept findings by id): never renumber one,
// retire it instead. VS1xx catalog, VS2xx file list, VS3xx local file
// names, VS4xx files, VS5xx server, VS6xx a release published over the
// live one (velta-site plan). In id order, as the table's rows.
// clang-format off
#define VELTA_SITE_RULES(X)                                                                  \
    X(VS101) X(VS102) X(VS103) X(VS104) X(VS105) X(VS106) X(VS107) X(VS108) X(VS109)         \
    X(VS110) X(VS111) X(VS112) X(VS113) X(VS114) X(VS115) X(VS116) X(VS117) X(VS118)         \
    X(VS119) X(VS120) X(VS121) X(VS122)                                                      \
    X(VS201) X(VS202) X(VS203) X(VS204) X(VS205) X(VS206)                                    \
    X(VS301) X(VS302) X(VS303) X(VS304) X(VS305) X(VS306) X(VS307) X(VS308)                  \
    X(VS401) X(VS402) X(VS403) X(VS404) X(VS405) X(VS406) X(VS407) X(VS408) X(VS409)         \
    X(VS410)                                                                                 \
    X(VS501) X(VS502) X(VS503)                                                               \
    X(VS601) X(VS602) X(VS603) X(VS604) X(VS605)
// clang-format on

#define VELTA_SITE_RULE_ID(code) code,
enum class RuleId : uint8_t { VELTA_SITE_RULES(VELTA_SITE_RULE_ID) };
#undef VELTA_SITE_RULE_ID
#define VELTA_SITE_RULE_ONE(code) +1
inline constexpr std::size_t kRuleCount = 0 VELTA_SITE_RULES(VELTA_SITE_RULE_ONE);
#undef VELTA_SITE_RULE_ONE

// The ways a site is read; a rule runs in one or both.
enum Modes : uint8_t { kDirectory = 1, kLive = 2, kBothModes = kDirectory | kLive };

struct Rule {
    RuleId id;
    const char* code;      // "VS104"
    Severity severity;     // as reported (before --strict)
    Modes modes;           // where the checker can find it
    const char* summary;   // what it means, one line, UTF-8
    const char* customer;  // what the customer sees, one line, UTF-8: every finding's own
    const char* fix;       // how to fix it, one line, UTF-8
};

// Every rule, ordered by id.
std::span<const Rule> AllRules();
const Rule& RuleOf(RuleId id);
// The rule of that code ("VS104"), or nullptr.
const Rule* FindRule(std::string_view code);
bool RunsIn(RuleId id, bool live);

const char* SeverityName(Severity severity);

}  // namespace sitecheck
