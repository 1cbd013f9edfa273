#pragma once
// The rule table as the manual shows it (Markdown) and as a pipeline reads
// it (JSON): "velta-site rules". The manual's table is this output.
#include <optional>
#include <string>

namespace sitecheck {

enum class RuleTableFormat { Markdown, Json };

std::optional<RuleTableFormat> ParseRuleTableFormat(const std::string& name);

std::string FormatRuleTable(RuleTableFormat format);

}  // namespace sitecheck
