// ReasoningContext: what the domain lock makes of a domain name. Built only by
// lock_domain and never changed afterwards; the strategies read `domain` and `rules`.
#pragma once

#include <string>
#include <vector>

#include "model/domain_rule.hpp"
#include "support/seeded_map.hpp"

namespace morvane {

struct ReasoningContext {
  std::string domain;                 // as requested, not trimmed
  std::vector<DomainRule> rules;      // the registry's list for the domain, or the fallback rules
  std::string timestamp;              // RFC 3339, the time of the lock
  std::string source;                 // who asked ("python" from the bindings)
  float confidence = 0.0f;            // the lock confidence
  TextMap metadata = new_text_map();  // "domain", "rule_count", maybe "high_priority_rules"
};

}  // namespace morvane
