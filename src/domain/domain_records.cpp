#include "domain/domain_records.hpp"

#include "lib/arguments.hpp"
#include "lib/results.hpp"
#include "support/float_text.hpp"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace morvane::py {
namespace {

using morvane::DomainRule;
using morvane::ValidationIssue;
using morvane::ValidationResult;
using morvane::Verdict;

// ---- Verdict --------------------------------------------------------------------

constexpr auto kVerdictNew =
    describe("Verdict", "__new__", {"conclusion", "justification", "certainty", "recommendations"}, 3);

constexpr std::size_t kShownConclusion = 50;  // characters of the conclusion in the representation

PyObject* construct_verdict(PyTypeObject*, Args<kVerdictNew>& args) {
  Verdict verdict;
  std::optional<std::vector<std::string>> recommendations;
  if (!args.get(0, verdict.conclusion) || !args.get(1, verdict.justification) ||
      !args.get(2, verdict.certainty) || !args.get(3, recommendations)) {
    return nullptr;
  }
  if (recommendations) verdict.recommendations = std::move(*recommendations);
  verdict.quality = verdict.certainty;  // the Python class has no quality of its own
  return verdict_class.create(std::move(verdict));
}

// The first `count` code points of a well-formed UTF-8 text (all of it when shorter).
std::string_view first_characters(std::string_view text, std::size_t count) {
  std::size_t seen = 0;
  for (std::size_t at = 0; at < text.size(); ++at) {
    bool starts_character = (static_cast<unsigned char>(text[at]) & 0xC0) != 0x80;
    if (starts_character && seen++ == count) return text.substr(0, at);
  }
  return text;
}

OwnedRef verdict_repr(PyObject* self) {
  const Verdict& verdict = verdict_class.of(self);
  std::string text = "Verdict(conclusion='";
  text += first_characters(verdict.conclusion, kShownConclusion);
  text += "...', certainty=";
  append_fixed(text, verdict.certainty * 100.0f, 0);  // the product in 32 bits
  text += "%)";
  return new_str(text);
}

PyGetSetDef verdict_getters[] = {
    member_getter<&Verdict::conclusion>("conclusion"),
    member_getter<&Verdict::justification>("justification"),
    member_getter<&Verdict::certainty>("certainty"),
    member_getter<&Verdict::recommendations>("recommendations"),
    {},
};

// ---- DomainRule -----------------------------------------------------------------

OwnedRef rule_repr(PyObject* self) {
  const DomainRule& rule = domain_rule_class.of(self);
  std::string text = "DomainRule(id='";
  text += rule.id;
  text += "', name='";
  text += rule.name;
  text += "')";
  return new_str(text);
}

PyGetSetDef rule_getters[] = {
    member_getter<&DomainRule::id>("id"),
    member_getter<&DomainRule::name>("name"),
    member_getter<&DomainRule::description>("description"),
    member_getter<&DomainRule::priority>("priority"),
    member_getter<&DomainRule::category, category_name>("category"),
    {},
};

// ---- ValidationIssue ------------------------------------------------------------

OwnedRef issue_repr(PyObject* self) {
  const ValidationIssue& issue = validation_issue_class.of(self);
  std::string text = "ValidationIssue(severity='";
  text += severity_name(issue.severity);
  text += "', message='";
  text += issue.message;
  text += "')";
  return new_str(text);
}

PyGetSetDef issue_getters[] = {
    member_getter<&ValidationIssue::severity, severity_name>("severity"),
    member_getter<&ValidationIssue::message>("message"),
    member_getter<&ValidationIssue::suggestion>("suggestion"),
    member_getter<&ValidationIssue::rule_id>("rule_id"),
    {},
};

// ---- ValidationResult -----------------------------------------------------------

OwnedRef result_repr(PyObject* self) {
  const ValidationResult& result = validation_result_class.of(self);
  std::string text = "ValidationResult(valid=";
  text += result.valid ? "true" : "false";
  text += ", score=";
  append_fixed(text, result.score, 2);
  text += ", issues=";
  text += std::to_string(result.issues.size());
  text += ')';
  return new_str(text);
}

OwnedRef result_issues(PyObject* self) {
  return new_list(validation_result_class.of(self).issues,
                  [](const ValidationIssue& issue) { return validation_issue_class.make(issue); });
}

PyGetSetDef result_getters[] = {
    member_getter<&ValidationResult::valid>("valid"),
    member_getter<&ValidationResult::score>("score"),
    getter<result_issues>("issues"),
    member_getter<&ValidationResult::suggestions>("suggestions"),
    {},
};

}  // namespace

Class<Verdict> verdict_class({
    .name = "Verdict",
    .doc = "Verdict(conclusion, justification, certainty, recommendations=None)\n--\n\n"
           "Python wrapper for Verdict (simplified for bindings)",
    .constructor = constructor<kVerdictNew, construct_verdict>,
    .repr = repr<verdict_repr>,
    .getset = verdict_getters,
});

Class<DomainRule> domain_rule_class({
    .name = "DomainRule",
    .doc = "Python wrapper for DomainRule",
    .repr = repr<rule_repr>,
    .getset = rule_getters,
});

Class<ValidationIssue> validation_issue_class({
    .name = "ValidationIssue",
    .doc = "Python wrapper for ValidationIssue",
    .repr = repr<issue_repr>,
    .getset = issue_getters,
});

Class<ValidationResult> validation_result_class({
    .name = "ValidationResult",
    .doc = "Python wrapper for ValidationResult",
    .repr = repr<result_repr>,
    .getset = result_getters,
});

OwnedRef new_rule_list(std::span<const DomainRule> rules) {
  return new_list(rules, [](const DomainRule& rule) { return domain_rule_class.make(rule); });
}

OwnedRef new_validation_result(ValidationResult result) {
  return validation_result_class.make(std::move(result));
}

}  // namespace morvane::py
