#include "domain/domain_adapter.hpp"

#include "domain/adapter_frames.hpp"

namespace morvane {
namespace {

std::vector<DomainRule> build_rules(std::span<const RuleRow> rows) {
  std::vector<DomainRule> rules;
  rules.reserve(rows.size());
  for (const RuleRow& row : rows) {
    rules.push_back(DomainRule{std::string(row.id), std::string(row.name), std::string(row.description),
                               row.category, row.priority});
  }
  return rules;
}

}  // namespace

std::string DomainError::text() const {
  constexpr std::string_view kPrefixes[] = {
      "Validation failed: ", "Invalid domain: ", "Rule not found: ", "Terminology error: "};
  const std::string_view prefix = kPrefixes[static_cast<std::size_t>(kind())];
  std::string out;
  out.reserve(prefix.size() + detail().size());
  out += prefix;
  out += detail();
  return out;
}

// The copy of a TextMap keeps its seed and, in libstdc++, the order of its nodes, so
// the adapter's map iterates like the process-wide one.
AdapterRecord::AdapterRecord(std::span<const RuleRow> rule_rows, std::string_view display_name,
                             const TextMap& (*shared_map)(), const AdapterTexts& texts)
    : texts_(&texts), rules_(build_rules(rule_rows)), name_(display_name), terminology_(shared_map()) {}

std::expected<ValidationResult, DomainError> AdapterRecord::validate(std::string_view reasoning) const {
  return validate_frame(texts_->validation, reasoning);
}

std::string AdapterRecord::format_output(const Verdict& verdict) const {
  return report_frame(texts_->report, verdict);
}

std::string AdapterRecord::enrich_context(std::string_view context) const {
  return context_frame(context, texts_->context_block);
}

}  // namespace morvane
