#include "core/edid/edid_rules.h"

namespace edid {

namespace {

#define EDID_RULE_ROW(name, id, severity, meaning) RuleInfo{id, Finding::Severity::severity, meaning},
constexpr RuleInfo kRules[] = {EDID_RULES(EDID_RULE_ROW)};
#undef EDID_RULE_ROW

} // namespace

std::span<const RuleInfo> edidRules() {
    return kRules;
}

const RuleInfo &ruleInfo(Rule rule) {
    return kRules[static_cast<size_t>(rule)];
}

} // namespace edid
