// The built-in rule registry and the domain lock.
//
//   default_rule_registry()           the fifteen built-in rules under "medical", "legal"
//                                     and "technical", min_rules 1, min_confidence 0.7,
//                                     no fallback.
//   lock_domain(registry, domain, source)
//                                     a ReasoningContext for `domain` (looked up byte for
//                                     byte, never trimmed or folded), or the
//                                     DomainLockError that refuses it. Keeps no state.
//   high_priority_rule_names(rules)   names of the rules of priority 8 or more whose
//                                     category is not Protocol, in list order.
//
// DomainLockError::text() is the error's only text: its variant name, then for the
// three variants with a payload the payload quoted and escaped in parentheses
// (InvalidDomain("a\"b")).
#pragma once

#include <cstdint>
#include <expected>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/domain_rule.hpp"
#include "rules/reasoning_context.hpp"
#include "support/core_error.hpp"
#include "support/seeded_map.hpp"

namespace morvane {

using RuleMap = std::unordered_map<std::string, std::vector<DomainRule>, SeededHash, std::equal_to<>>;

struct RuleRegistry {
  RuleMap rules = RuleMap(0, SeededHash());
  std::uint64_t min_rules = 1;
  float min_confidence = 0.7f;
  bool allow_fallback = false;
};

RuleRegistry default_rule_registry();

enum class DomainLockErrorKind : std::uint8_t {
  DomainNotIdentified,
  LockFailed,
  InvalidDomain,
  NoRulesFound
};

// The detail is the lock failure's text, or the domain as given; empty for
// DomainNotIdentified.
class DomainLockError : public CoreError<DomainLockErrorKind> {
 public:
  using CoreError::CoreError;

  static DomainLockError domain_not_identified() { return DomainLockError(Kind::DomainNotIdentified); }
  static DomainLockError lock_failed(std::string detail) {
    return DomainLockError(Kind::LockFailed, std::move(detail));
  }
  static DomainLockError invalid_domain(std::string domain) {
    return DomainLockError(Kind::InvalidDomain, std::move(domain));
  }
  static DomainLockError no_rules_found(std::string domain) {
    return DomainLockError(Kind::NoRulesFound, std::move(domain));
  }

  // "DomainNotIdentified", or Name("payload") with the payload escaped.
  std::string text() const;
};

std::expected<ReasoningContext, DomainLockError> lock_domain(const RuleRegistry& registry,
                                                             std::string_view domain,
                                                             std::string_view source);

std::vector<std::string> high_priority_rule_names(const std::vector<DomainRule>& rules);

}  // namespace morvane
