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
  if (!args.get(0, verdict.conclusion) || !args.get(1, verdict.justification) || !args.get(2, verdict.certainty) ||
      !args.get(3, recommendations)) {
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

OwnedRef verdict_conclusion(PyObject* self) { return new_str(verdict_class.of(self).conclusion); }
OwnedRef verdict_justification(PyObject* self) { return new_str(verdict_class.of(self).justification); }
OwnedRef verdict_certainty(PyObject* self) { return new_float(verdict_class.of(self).certainty); }
OwnedRef verdict_recommendations(PyObject* self) { return new_str_list(verdict_class.of(self).recommendations); }

PyGetSetDef verdict_getters[] = {
    getter<verdict_conclusion>("conclusion"),
    getter<verdict_justification>("justification"),
    getter<verdict_certainty>("certainty"),
    getter<verdict_recommendations>("recommendations"),
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

OwnedRef rule_id(PyObject* self) { return new_str(domain_rule_class.of(self).id); }
OwnedRef rule_name(PyObject* self) { return new_str(domain_rule_class.of(self).name); }
OwnedRef rule_description(PyObject* self) { return new_str(domain_rule_class.of(self).description); }
OwnedRef rule_priority(PyObject* self) { return new_count(domain_rule_class.of(self).priority); }
OwnedRef rule_category(PyObject* self) { return new_str(category_name(domain_rule_class.of(self).category)); }

PyGetSetDef rule_getters[] = {
    getter<rule_id>("id"),
    getter<rule_name>("name"),
    getter<rule_description>("description"),
    getter<rule_priority>("priority"),
    getter<rule_category>("category"),
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

OwnedRef issue_severity(PyObject* self) { return new_str(severity_name(validation_issue_class.of(self).severity)); }
OwnedRef issue_message(PyObject* self) { return new_str(validation_issue_class.of(self).message); }
OwnedRef issue_suggestion(PyObject* self) { return new_optional_str(validation_issue_class.of(self).suggestion); }
OwnedRef issue_rule_id(PyObject* self) { return new_optional_str(validation_issue_class.of(self).rule_id); }

PyGetSetDef issue_getters[] = {
    getter<issue_severity>("severity"),
    getter<issue_message>("message"),
    getter<issue_suggestion>("suggestion"),
    getter<issue_rule_id>("rule_id"),
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

OwnedRef result_valid(PyObject* self) { return new_flag(validation_result_class.of(self).valid); }
OwnedRef result_score(PyObject* self) { return new_float(validation_result_class.of(self).score); }
OwnedRef result_suggestions(PyObject* self) { return new_str_list(validation_result_class.of(self).suggestions); }

OwnedRef result_issues(PyObject* self) {
  return new_list(validation_result_class.of(self).issues,
                  [](const ValidationIssue& issue) { return validation_issue_class.make(issue); });
}

PyGetSetDef result_getters[] = {
    getter<result_valid>("valid"),
    getter<result_score>("score"),
    getter<result_issues>("issues"),
    getter<result_suggestions>("suggestions"),
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

OwnedRef new_validation_result(ValidationResult result) { return validation_result_class.make(std::move(result)); }

}  // namespace morvane::py
