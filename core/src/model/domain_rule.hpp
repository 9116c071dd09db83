// DomainRule and RuleCategory: the rule record shared by the built-in registry (the
// domain lock) and the domain adapters, which build their own tables of it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace morvane {

enum class RuleCategory : std::uint8_t { Protocol, Validation, Interpretation, Hierarchy, Format };

// "Protocol", "Validation", "Interpretation", "Hierarchy", "Format".
constexpr std::string_view category_name(RuleCategory category) {
  constexpr std::string_view kNames[] = {"Protocol", "Validation", "Interpretation", "Hierarchy", "Format"};
  return kNames[static_cast<std::size_t>(category)];
}

struct DomainRule {
  std::string id;
  std::string name;
  std::string description;
  RuleCategory category = RuleCategory::Validation;
  std::uint8_t priority = 0;

  bool operator==(const DomainRule&) const = default;
};

}  // namespace morvane
