#include "protocol/multi_path/path_generation.hpp"

#include <algorithm>
#include <charconv>
#include <span>
#include <string_view>

#include "support/uuid.hpp"

namespace morvane {
namespace {

using Rules = std::vector<DomainRule>;

void append_decimal(std::string& out, std::uint64_t value) {
  char buffer[24];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, end);
}

// `prefix` followed by the items joined with ", ", allocated once.
template <class Range, class Project>
std::string joined(std::string_view prefix, const Range& items, Project project) {
  std::size_t size = prefix.size();
  for (const auto& item : items) size += std::string_view(project(item)).size() + 2;
  std::string out;
  out.reserve(size);
  out += prefix;
  bool first = true;
  for (const auto& item : items) {
    if (!first) out += ", ";
    out += project(item);
    first = false;
  }
  return out;
}

std::string concat(std::string_view a, std::string_view b) {
  std::string out;
  out.reserve(a.size() + b.size());
  out += a;
  out += b;
  return out;
}

const std::string& text_of(const std::string& text) { return text; }
const std::string& name_of(const DomainRule& rule) { return rule.name; }

std::span<const DomainRule> first_rules(const Rules& rules, std::size_t n) {
  return std::span(rules).first(std::min(n, rules.size()));
}

std::vector<std::string> ids(std::span<const DomainRule> rules) {
  std::vector<std::string> out;
  out.reserve(rules.size());
  for (const DomainRule& rule : rules) out.push_back(rule.id);
  return out;
}

ReasoningStep step(std::uint64_t number, std::string description, std::string justification,
                   std::vector<std::string> applied_rules = {}) {
  return ReasoningStep{new_uuid_v4(), number, std::move(description), std::move(justification),
                       std::move(applied_rules)};
}

void literal_path(ReasoningPath& path, const ForensicAnalysis& analysis, const ReasoningContext& context) {
  const Rules& rules = context.rules;
  path.steps.reserve(3);
  path.steps.push_back(step(1, joined("Analyse littérale des faits: ", analysis.facts, text_of),
                            "Interprétation directe des faits observés", ids(first_rules(rules, 2))));
  if (!rules.empty()) {
    path.steps.push_back(step(2, concat("Application des règles du domaine ", context.domain),
                              joined("Règles applicables: ", first_rules(rules, 3), name_of),
                              ids(first_rules(rules, 3))));
  }
  path.steps.push_back(
      step(3, "Conclusion basée sur l'interprétation littérale", "Synthèse des faits et règles appliquées"));

  std::string& conclusion = path.conclusion;
  conclusion.reserve(80);
  conclusion += "Conclusion littérale: Basé sur ";
  append_decimal(conclusion, analysis.facts.size());
  conclusion += " faits, ";
  append_decimal(conclusion, path.steps.size());
  conclusion += " étapes d'analyse directe";
}

void intentional_path(ReasoningPath& path, const ForensicAnalysis& analysis,
                      const ReasoningContext& context) {
  const Rules& rules = context.rules;
  path.steps.reserve(4);
  path.steps.push_back(step(1, joined("Identification de l'intention: ", analysis.desires, text_of),
                            "Analyse des objectifs sous-jacents"));
  if (!rules.empty()) {
    std::vector<const DomainRule*> priority;
    priority.reserve(rules.size());
    for (const DomainRule& rule : rules) {
      if (rule.priority > 7) priority.push_back(&rule);
    }
    std::vector<std::string> applied;
    applied.reserve(priority.size());
    for (const DomainRule* rule : priority) applied.push_back(rule->id);
    path.steps.push_back(step(2, std::string("Alignement de l'intention avec les règles prioritaires"),
                              joined("Règles prioritaires: ", priority,
                                     [](const DomainRule* rule) -> const std::string& { return rule->name; }),
                              std::move(applied)));
  }
  path.steps.push_back(
      step(3, "Raisonnement orienté vers l'objectif final", "Interprétation téléologique (finalité)"));
  path.steps.push_back(step(4, "Conclusion basée sur l'intention identifiée", "Synthèse orientée objectif"));

  const std::string_view goal =
      analysis.desires.empty() ? std::string_view("inconnu") : analysis.desires.front();
  std::string& conclusion = path.conclusion;
  conclusion.reserve(64 + goal.size());
  conclusion += "Conclusion intentionnelle: Objectif '";
  conclusion += goal;
  conclusion += "' analysé en ";
  append_decimal(conclusion, path.steps.size());
  conclusion += " étapes";
}

void procedural_path(ReasoningPath& path, std::uint64_t max_steps, const ForensicAnalysis& analysis,
                     const ReasoningContext& context) {
  const Rules& rules = context.rules;
  // Wraps on purpose: max_steps 0 or 1 leaves the rule steps unbounded.
  const std::uint64_t limit = max_steps - 2;
  const std::size_t rule_steps = static_cast<std::size_t>(std::min<std::uint64_t>(limit, rules.size()));
  path.steps.reserve(rule_steps + 2);

  std::string opening = "Basé sur ";
  append_decimal(opening, analysis.facts.size());
  opening += " faits identifiés";
  path.steps.push_back(
      step(1, std::string("Décomposition du problème en sous-problèmes"), std::move(opening)));

  for (std::size_t p = 0; p < rule_steps; ++p) {
    const DomainRule& rule = rules[p];
    const std::uint64_t number = p + 2;
    std::string description;
    description.reserve(16 + rule.name.size());
    description += "Étape ";
    append_decimal(description, number);
    description += ": ";
    description += rule.name;
    path.steps.push_back(
        step(number, std::move(description), rule.description, std::vector<std::string>{rule.id}));
  }

  path.steps.push_back(step(path.steps.size() + 1, "Synthèse des étapes procédurales",
                            "Conclusion basée sur l'exécution séquentielle"));

  std::string& conclusion = path.conclusion;
  conclusion.reserve(64);
  conclusion += "Conclusion procédurale: ";
  append_decimal(conclusion, path.steps.size());
  conclusion += " étapes séquentielles exécutées";
}

// In float32, in this order: 0.3 + 0.4 is 0.70000005, and that + 0.3 is 1.0.
float path_confidence(const ReasoningPath& path, std::uint64_t min_steps, const ReasoningContext& context) {
  float c = path.steps.size() >= min_steps ? 0.3f : 0.0f;
  const bool applies_rules = std::any_of(path.steps.begin(), path.steps.end(),
                                         [](const ReasoningStep& s) { return !s.applied_rules.empty(); });
  if (applies_rules) c = c + 0.4f;
  if (!context.domain.empty()) c = c + 0.3f;
  return std::min(c, 1.0f);
}

}  // namespace

ReasoningPath generate_path(std::uint64_t min_steps, std::uint64_t max_steps, PathType type,
                            const ForensicAnalysis& analysis, const ReasoningContext& context) {
  ReasoningPath path;
  path.path_type = type;
  switch (type) {
    case PathType::Literal: literal_path(path, analysis, context); break;
    case PathType::Intentional: intentional_path(path, analysis, context); break;
    case PathType::Procedural: procedural_path(path, max_steps, analysis, context); break;
  }
  path.confidence = path_confidence(path, min_steps, context);
  return path;
}

}  // namespace morvane
