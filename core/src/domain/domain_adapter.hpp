// DomainAdapter: what the system knows of one domain (medical, technical, legal)
// behind six operations, and the records they take and give.
//
//   domain_name      the display name ("Medical", "Technical", "Legal")
//   terminology      the adapter's own copy of its domain's English-to-French map
//   rules            the adapter's six rules, in table order
//   validate         keyword checks of a reasoning text into a ValidationResult; the
//                    declared DomainError is never returned by the built-in adapters
//   format_output    a Verdict as the domain's report
//   enrich_context   the context, unchanged, followed by the domain's block
//
// The first three hand out the adapter's fields without copying (AdapterRecord); the
// last three read only the adapter's fixed texts, so every adapter of one kind gives
// the same result for the same argument. Adapters never change after construction:
// all operations may run on several threads at once.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/domain_rule.hpp"
#include "support/core_error.hpp"
#include "support/seeded_map.hpp"

namespace morvane {

enum class Severity : std::uint8_t { Error, Warning, Info };

// "Error", "Warning", "Info".
constexpr std::string_view severity_name(Severity severity) {
  constexpr std::string_view kNames[] = {"Error", "Warning", "Info"};
  return kNames[static_cast<std::size_t>(severity)];
}

struct ValidationIssue {
  Severity severity = Severity::Info;
  std::string message;
  std::optional<std::string> suggestion;
  std::optional<std::string> rule_id;

  bool operator==(const ValidationIssue&) const = default;
};

struct ValidationResult {
  bool valid = false;
  float score = 0.0f;  // raised to 0 when negative; no upper bound
  std::vector<ValidationIssue> issues;
  std::vector<std::string> suggestions;

  bool operator==(const ValidationResult&) const = default;
};

// What format_output formats. No range applies to the two floats.
struct Verdict {
  std::string conclusion;
  std::string justification;
  std::vector<std::string> recommendations;
  float certainty = 0.0f;
  float quality = 0.0f;
};

enum class DomainErrorKind : std::uint8_t { ValidationFailed, InvalidDomain, RuleNotFound, TerminologyError };

// The declared failure of validate, which the built-in adapters never return.
class DomainError : public CoreError<DomainErrorKind> {
 public:
  using CoreError::CoreError;

  // "Validation failed: {}", "Invalid domain: {}", "Rule not found: {}",
  // "Terminology error: {}", the detail in place of {}.
  std::string text() const;
};

class DomainAdapter {
 public:
  virtual ~DomainAdapter() = default;

  virtual std::string_view domain_name() const = 0;
  virtual const TextMap& terminology() const = 0;
  virtual std::span<const DomainRule> rules() const = 0;
  virtual std::expected<ValidationResult, DomainError> validate(std::string_view reasoning) const = 0;
  virtual std::string format_output(const Verdict& verdict) const = 0;
  virtual std::string enrich_context(std::string_view context) const = 0;
};

// One row of an adapter's built-in rule table.
struct RuleRow {
  std::string_view id;
  std::string_view name;
  std::string_view description;
  RuleCategory category;
  std::uint8_t priority;
};

// The fixed texts of one adapter: its checks, report template and context block
// (adapter_frames.hpp).
struct AdapterTexts;

// The record that the three adapters share, with the six operations: the first three
// hand the record out, the last three fill the frames with the adapter's texts.
// Construction builds the rules, then the name, then the copy of the map.
class AdapterRecord : public DomainAdapter {
 public:
  std::string_view domain_name() const final { return name_; }
  const TextMap& terminology() const final { return terminology_; }
  std::span<const DomainRule> rules() const final { return rules_; }
  std::expected<ValidationResult, DomainError> validate(std::string_view reasoning) const final;
  std::string format_output(const Verdict& verdict) const final;
  std::string enrich_context(std::string_view context) const final;

 protected:
  // `shared_map` gives the domain's process-wide map (building it on first use);
  // `texts` lives as long as the process.
  AdapterRecord(std::span<const RuleRow> rule_rows, std::string_view display_name,
                const TextMap& (*shared_map)(), const AdapterTexts& texts);

 private:
  const AdapterTexts* texts_;
  // Declared in construction order.
  std::vector<DomainRule> rules_;
  std::string name_;
  TextMap terminology_;
};

}  // namespace morvane
