#include "domain/domain_adapter.hpp"

namespace morvane {
namespace {

std::vector<DomainRule> build_rules(std::span<const RuleRow> rows) {
  std::vector<DomainRule> rules;
  rules.reserve(rows.size());
  for (const RuleRow& row : rows) {
    rules.push_back(DomainRule{std::string(row.id), std::string(row.name),
                               std::string(row.description), row.category, row.priority});
  }
  return rules;
}

}  // namespace

std::string DomainError::text() const {
  constexpr std::string_view kPrefixes[] = {"Validation failed: ", "Invalid domain: ",
                                            "Rule not found: ", "Terminology error: "};
  const std::string_view prefix = kPrefixes[static_cast<std::size_t>(kind_)];
  std::string out;
  out.reserve(prefix.size() + detail_.size());
  out += prefix;
  out += detail_;
  return out;
}

// The copy of a TextMap keeps its seed and, in libstdc++, the order of its nodes, so
// the adapter's map iterates like the process-wide one.
AdapterRecord::AdapterRecord(std::span<const RuleRow> rule_rows, std::string_view display_name,
                             const TextMap& (*shared_map)())
    : rules_(build_rules(rule_rows)), name_(display_name), terminology_(shared_map()) {}

}  // namespace morvane
