// The record classes of the submodule `domain`: Verdict, DomainRule, ValidationIssue
// and ValidationResult.
//
//   Verdict(conclusion, justification, certainty, recommendations=None)
//       the one record Python makes: the argument of DomainAdapter.format_output.
//       Its payload is the core Verdict, with quality kept equal to certainty (the
//       Python class shows no quality), so a report is formatted straight from it.
//   DomainRule, ValidationIssue, ValidationResult
//       no constructor ("No constructor defined"); made only by the conversions below.
//
// Every attribute is read-only and every read makes new objects: a list attribute
// gives a new list (of new ValidationIssue objects, for `issues`) on each read. A
// rule's category and an issue's severity read as their names ("Protocol", "Error").
//
// Conversions, for DomainAdapter (steps that must succeed: PanicException when the
// interpreter cannot allocate):
//   new_rule_list(rules)        a new list of new DomainRule objects, in order
//   new_validation_result(r)    a new ValidationResult object that takes r
#pragma once

#include "domain/domain_adapter.hpp"
#include "lib/binding_class.hpp"
#include "lib/ref.hpp"
#include "model/domain_rule.hpp"

#include <span>

namespace morvane::py {

extern Class<morvane::Verdict> verdict_class;
extern Class<morvane::DomainRule> domain_rule_class;
extern Class<morvane::ValidationIssue> validation_issue_class;
extern Class<morvane::ValidationResult> validation_result_class;

OwnedRef new_rule_list(std::span<const morvane::DomainRule> rules);
OwnedRef new_validation_result(morvane::ValidationResult result);

}  // namespace morvane::py
