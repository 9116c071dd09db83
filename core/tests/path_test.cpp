// Path generation: the steps, texts, rules and confidence of the three path kinds.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "protocol/multi_path/path_generation.hpp"
#include "rules/rule_registry.hpp"

namespace morvane {
namespace {

using Strings = std::vector<std::string>;

ReasoningContext locked(const char* domain) {
  auto context = lock_domain(default_rule_registry(), domain, "test");
  if (!context) throw std::runtime_error(context.error().text());
  return std::move(*context);
}

ReasoningContext context_of(std::string domain, std::vector<DomainRule> rules) {
  ReasoningContext context;
  context.domain = std::move(domain);
  context.rules = std::move(rules);
  return context;
}

ForensicAnalysis analysis_of(Strings facts, Strings desires) {
  ForensicAnalysis analysis;
  analysis.facts = std::move(facts);
  analysis.desires = std::move(desires);
  return analysis;
}

const ForensicAnalysis kAnalysis = analysis_of({"Patient présente fièvre"}, {"Diagnostic"});

// Description, justification and applied rules of a step, with its number.
struct StepText {
  std::uint64_t number;
  std::string description;
  std::string justification;
  Strings applied_rules;
};

void expect_steps(const ReasoningPath& path, const std::vector<StepText>& expected) {
  ASSERT_EQ(path.steps.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(path.steps[i].step_number, expected[i].number);
    EXPECT_EQ(path.steps[i].description, expected[i].description);
    EXPECT_EQ(path.steps[i].justification, expected[i].justification);
    EXPECT_EQ(path.steps[i].applied_rules, expected[i].applied_rules);
  }
}

TEST(LiteralPath, Medical) {
  const ReasoningPath path = generate_path(2, 10, PathType::Literal, kAnalysis, locked("medical"));
  EXPECT_EQ(path.path_type, PathType::Literal);
  expect_steps(path, {{1,
                       "Analyse littérale des faits: Patient présente fièvre",
                       "Interprétation directe des faits observés",
                       {"MED-001", "MED-002"}},
                      {2,
                       "Application des règles du domaine medical",
                       "Règles applicables: Protocole diagnostique, Anamnèse complète, Diagnostic "
                       "différentiel",
                       {"MED-001", "MED-002", "MED-003"}},
                      {3,
                       "Conclusion basée sur l'interprétation littérale",
                       "Synthèse des faits et règles appliquées",
                       {}}});
  EXPECT_EQ(path.conclusion, "Conclusion littérale: Basé sur 1 faits, 3 étapes d'analyse directe");
  EXPECT_EQ(path.confidence, 1.0f);
}

struct DomainCase {
  const char* domain;
  Strings literal_rules;       // applied by literal step 2
  const char* literal_names;   // its justification
  Strings priority_rules;      // applied by intentional step 2
  const char* priority_names;  // its justification
};

TEST(Paths, RulesOfEachDomain) {
  const DomainCase cases[] = {
      {"medical",
       {"MED-001", "MED-002", "MED-003"},
       "Règles applicables: Protocole diagnostique, Anamnèse complète, Diagnostic différentiel",
       {"MED-001", "MED-002", "MED-003", "MED-004", "MED-005"},
       "Règles prioritaires: Protocole diagnostique, Anamnèse complète, Diagnostic différentiel, "
       "Principe de précaution, Evidence-based medicine"},
      {"legal",
       {"LEG-001", "LEG-002", "LEG-003"},
       "Règles applicables: Hiérarchie des normes, Interprétation littérale, Intention du "
       "législateur",
       {"LEG-001", "LEG-002", "LEG-004", "LEG-005"},
       "Règles prioritaires: Hiérarchie des normes, Interprétation littérale, Jurisprudence, "
       "Principe de légalité"},
      {"technical",
       {"TECH-001", "TECH-002", "TECH-003"},
       "Règles applicables: Débogage systématique, Reproduction du bug, Isolation du problème",
       {"TECH-001", "TECH-002", "TECH-003", "TECH-005"},
       "Règles prioritaires: Débogage systématique, Reproduction du bug, Isolation du problème, "
       "Tests de régression"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.domain);
    const ReasoningContext context = locked(c.domain);
    const ReasoningPath literal = generate_path(2, 10, PathType::Literal, kAnalysis, context);
    ASSERT_EQ(literal.steps.size(), 3u);
    EXPECT_EQ(literal.steps[0].applied_rules, Strings(c.literal_rules.begin(), c.literal_rules.begin() + 2));
    EXPECT_EQ(literal.steps[1].description, std::string("Application des règles du domaine ") + c.domain);
    EXPECT_EQ(literal.steps[1].justification, c.literal_names);
    EXPECT_EQ(literal.steps[1].applied_rules, c.literal_rules);

    const ReasoningPath intentional = generate_path(2, 10, PathType::Intentional, kAnalysis, context);
    ASSERT_EQ(intentional.steps.size(), 4u);
    EXPECT_EQ(intentional.steps[1].justification, c.priority_names);
    EXPECT_EQ(intentional.steps[1].applied_rules, c.priority_rules);

    const ReasoningPath procedural = generate_path(2, 10, PathType::Procedural, kAnalysis, context);
    ASSERT_EQ(procedural.steps.size(), 7u);
    for (std::size_t k = 2; k <= 6; ++k) {
      const DomainRule& rule = context.rules[k - 2];
      EXPECT_EQ(procedural.steps[k - 1].description, "Étape " + std::to_string(k) + ": " + rule.name);
      EXPECT_EQ(procedural.steps[k - 1].justification, rule.description);
      EXPECT_EQ(procedural.steps[k - 1].applied_rules, Strings{rule.id});
    }
    for (const ReasoningPath* path : {&literal, &intentional, &procedural}) {
      EXPECT_EQ(path->confidence, 1.0f);
    }
  }
}

TEST(IntentionalPath, Texts) {
  const ReasoningContext context = locked("legal");
  const ReasoningPath path =
      generate_path(2, 10, PathType::Intentional, analysis_of({"f"}, {"Gagner", "Comprendre"}), context);
  EXPECT_EQ(path.path_type, PathType::Intentional);
  expect_steps(
      path,
      {{1, "Identification de l'intention: Gagner, Comprendre", "Analyse des objectifs sous-jacents", {}},
       {2,
        "Alignement de l'intention avec les règles prioritaires",
        "Règles prioritaires: Hiérarchie des normes, Interprétation littérale, "
        "Jurisprudence, Principe de légalité",
        {"LEG-001", "LEG-002", "LEG-004", "LEG-005"}},
       {3, "Raisonnement orienté vers l'objectif final", "Interprétation téléologique (finalité)", {}},
       {4, "Conclusion basée sur l'intention identifiée", "Synthèse orientée objectif", {}}});
  // Only the first desire is named.
  EXPECT_EQ(path.conclusion, "Conclusion intentionnelle: Objectif 'Gagner' analysé en 4 étapes");

  const ReasoningPath undecided =
      generate_path(2, 10, PathType::Intentional, analysis_of({"f"}, {}), context);
  EXPECT_EQ(undecided.steps[0].description, "Identification de l'intention: ");
  EXPECT_EQ(undecided.conclusion, "Conclusion intentionnelle: Objectif 'inconnu' analysé en 4 étapes");
}

TEST(IntentionalPath, NoRuleAboveSeven) {
  const ReasoningContext context = context_of(
      "d", {{"R-1", "Un", "x", RuleCategory::Validation, 7}, {"R-2", "Deux", "y", RuleCategory::Format, 0}});
  const ReasoningPath path = generate_path(2, 10, PathType::Intentional, kAnalysis, context);
  ASSERT_EQ(path.steps.size(), 4u);
  EXPECT_EQ(path.steps[1].justification, "Règles prioritaires: ");
  EXPECT_TRUE(path.steps[1].applied_rules.empty());
  // No step applies a rule: 0.3 + 0.3.
  EXPECT_EQ(path.confidence, 0.6f);
}

TEST(ProceduralPath, Medical) {
  const ReasoningPath path = generate_path(2, 10, PathType::Procedural, kAnalysis, locked("medical"));
  EXPECT_EQ(path.path_type, PathType::Procedural);
  expect_steps(
      path,
      {{1, "Décomposition du problème en sous-problèmes", "Basé sur 1 faits identifiés", {}},
       {2, "Étape 2: Protocole diagnostique", "Suivre les protocoles de diagnostic établis", {"MED-001"}},
       {3, "Étape 3: Anamnèse complète", "Recueillir l'historique médical complet du patient", {"MED-002"}},
       {4, "Étape 4: Diagnostic différentiel", "Considérer plusieurs hypothèses diagnostiques", {"MED-003"}},
       {5,
        "Étape 5: Principe de précaution",
        "En cas de doute, privilégier la sécurité du patient",
        {"MED-004"}},
       {6,
        "Étape 6: Evidence-based medicine",
        "Baser les décisions sur les preuves scientifiques",
        {"MED-005"}},
       {7, "Synthèse des étapes procédurales", "Conclusion basée sur l'exécution séquentielle", {}}});
  EXPECT_EQ(path.conclusion, "Conclusion procédurale: 7 étapes séquentielles exécutées");
}

struct MaxStepsCase {
  std::uint64_t max_steps;
  std::size_t rule_steps;
  float confidence;  // with min_steps 2
};

TEST(ProceduralPath, MaxSteps) {
  const MaxStepsCase cases[] = {
      {0, 5, 1.0f},                // max_steps - 2 wraps: no bound
      {1, 5, 1.0f}, {2, 0, 0.6f},  // no rule step, so no applied rule
      {3, 1, 1.0f}, {4, 2, 1.0f}, {10, 5, 1.0f}, {UINT64_MAX, 5, 1.0f},
  };
  const ReasoningContext context = locked("technical");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.max_steps);
    const ReasoningPath path = generate_path(2, c.max_steps, PathType::Procedural, kAnalysis, context);
    ASSERT_EQ(path.steps.size(), c.rule_steps + 2);
    for (std::size_t i = 0; i < path.steps.size(); ++i) EXPECT_EQ(path.steps[i].step_number, i + 1);
    for (std::size_t p = 0; p < c.rule_steps; ++p) {
      EXPECT_EQ(path.steps[p + 1].applied_rules, Strings{context.rules[p].id});
    }
    EXPECT_EQ(path.steps.back().description, "Synthèse des étapes procédurales");
    EXPECT_EQ(path.conclusion, "Conclusion procédurale: " + std::to_string(c.rule_steps + 2) +
                                   " étapes séquentielles exécutées");
    EXPECT_EQ(path.confidence, c.confidence);
  }
}

struct MinStepsCase {
  std::uint64_t min_steps;
  float literal, intentional, procedural;  // 3, 4 and 7 steps
};

TEST(Paths, MinSteps) {
  const MinStepsCase cases[] = {
      {0, 1.0f, 1.0f, 1.0f},
      {2, 1.0f, 1.0f, 1.0f},
      {3, 1.0f, 1.0f, 1.0f},
      {4, 0.70000005f, 1.0f, 1.0f},
      {5, 0.70000005f, 0.70000005f, 1.0f},
      {7, 0.70000005f, 0.70000005f, 1.0f},
      {8, 0.70000005f, 0.70000005f, 0.70000005f},
  };
  const ReasoningContext context = locked("medical");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.min_steps);
    EXPECT_EQ(generate_path(c.min_steps, 10, PathType::Literal, kAnalysis, context).confidence, c.literal);
    EXPECT_EQ(generate_path(c.min_steps, 10, PathType::Intentional, kAnalysis, context).confidence,
              c.intentional);
    EXPECT_EQ(generate_path(c.min_steps, 10, PathType::Procedural, kAnalysis, context).confidence,
              c.procedural);
  }
}

struct ConfidenceCase {
  const char* domain;
  bool with_rule;
  std::uint64_t min_steps;
  float expected;  // of the literal path (2 steps without a rule, 3 with one)
};

TEST(Paths, ConfidenceTerms) {
  const ConfidenceCase cases[] = {
      {"d", true, 3, 1.0f},         // all three
      {"", true, 3, 0.70000005f},   // steps and rules
      {"d", true, 4, 0.70000005f},  // rules and domain
      {"d", false, 2, 0.6f},        // steps and domain
      {"", false, 2, 0.3f},         // steps
      {"", true, 4, 0.4f},          // rules
      {"d", false, 3, 0.3f},        // domain
      {"", false, 3, 0.0f},         // none
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << '"' << c.domain << "\" " << c.with_rule << ' ' << c.min_steps);
    std::vector<DomainRule> rules;
    if (c.with_rule) {
      rules.push_back({"R-1", "Seule", "La seule règle", RuleCategory::Validation, 9});
    }
    const ReasoningPath path =
        generate_path(c.min_steps, 10, PathType::Literal, kAnalysis, context_of(c.domain, rules));
    EXPECT_EQ(path.confidence, c.expected);
  }
}

TEST(Paths, TwoFacts) {
  const ReasoningContext context = locked("medical");
  const ForensicAnalysis analysis = analysis_of({"A", "B"}, {"C"});
  const ReasoningPath literal = generate_path(2, 10, PathType::Literal, analysis, context);
  EXPECT_EQ(literal.steps[0].description, "Analyse littérale des faits: A, B");
  EXPECT_EQ(literal.conclusion, "Conclusion littérale: Basé sur 2 faits, 3 étapes d'analyse directe");
  const ReasoningPath procedural = generate_path(2, 10, PathType::Procedural, analysis, context);
  EXPECT_EQ(procedural.steps[0].justification, "Basé sur 2 faits identifiés");
}

TEST(Paths, SingleRule) {
  const ReasoningContext context =
      context_of("d", {{"R-1", "Seule", "La seule règle", RuleCategory::Validation, 8}});
  const ReasoningPath literal = generate_path(2, 10, PathType::Literal, kAnalysis, context);
  ASSERT_EQ(literal.steps.size(), 3u);
  EXPECT_EQ(literal.steps[0].applied_rules, Strings{"R-1"});
  EXPECT_EQ(literal.steps[1].applied_rules, Strings{"R-1"});
  EXPECT_EQ(literal.steps[1].justification, "Règles applicables: Seule");
  const ReasoningPath intentional = generate_path(2, 10, PathType::Intentional, kAnalysis, context);
  EXPECT_EQ(intentional.steps[1].justification, "Règles prioritaires: Seule");
  const ReasoningPath procedural = generate_path(2, 10, PathType::Procedural, kAnalysis, context);
  ASSERT_EQ(procedural.steps.size(), 3u);
  EXPECT_EQ(procedural.steps[1].description, "Étape 2: Seule");
  EXPECT_EQ(procedural.steps[2].step_number, 3u);
}

TEST(Paths, WithoutRulesStepNumbersStayFixed) {
  const ReasoningContext context = context_of("d", {});
  const ReasoningPath literal = generate_path(2, 10, PathType::Literal, kAnalysis, context);
  ASSERT_EQ(literal.steps.size(), 2u);
  EXPECT_EQ(literal.steps[0].step_number, 1u);
  EXPECT_EQ(literal.steps[1].step_number, 3u);
  EXPECT_TRUE(literal.steps[0].applied_rules.empty());
  EXPECT_EQ(literal.conclusion, "Conclusion littérale: Basé sur 1 faits, 2 étapes d'analyse directe");
  const ReasoningPath intentional = generate_path(2, 10, PathType::Intentional, kAnalysis, context);
  ASSERT_EQ(intentional.steps.size(), 3u);
  EXPECT_EQ(intentional.steps[1].step_number, 3u);
  EXPECT_EQ(intentional.steps[2].step_number, 4u);
  const ReasoningPath procedural = generate_path(2, 10, PathType::Procedural, kAnalysis, context);
  ASSERT_EQ(procedural.steps.size(), 2u);
  EXPECT_EQ(procedural.steps[1].step_number, 2u);
}

TEST(Paths, EveryStepHasItsOwnId) {
  const ReasoningContext context = locked("medical");
  std::set<Uuid> ids;
  std::size_t steps = 0;
  for (int call = 0; call < 2; ++call) {
    for (PathType type : {PathType::Literal, PathType::Intentional, PathType::Procedural}) {
      for (const auto& step : generate_path(2, 10, type, kAnalysis, context).steps) {
        ids.insert(step.id);
        ++steps;
      }
    }
  }
  EXPECT_EQ(steps, 28u);
  EXPECT_EQ(ids.size(), steps);
}

}  // namespace
}  // namespace morvane
