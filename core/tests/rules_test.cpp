// The built-in rule registry, the domain lock and the text form of its errors.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "rules/rule_registry.hpp"

namespace morvane {
namespace {

std::vector<std::string> ids_of(const std::vector<DomainRule>& rules) {
  std::vector<std::string> ids;
  for (const auto& rule : rules) ids.push_back(rule.id);
  return ids;
}

struct DomainCase {
  const char* domain;
  std::vector<std::string> ids;
  std::vector<int> priorities;
  const char* high_priority_rules;
};

TEST(Lock, BuiltinDomains) {
  const DomainCase cases[] = {
      {"medical",
       {"MED-001", "MED-002", "MED-003", "MED-004", "MED-005"},
       {9, 8, 9, 10, 8},
       "Protocole diagnostique, Anamnèse complète, Diagnostic différentiel, Principe de "
       "précaution, Evidence-based medicine"},
      {"legal",
       {"LEG-001", "LEG-002", "LEG-003", "LEG-004", "LEG-005"},
       {10, 8, 7, 8, 9},
       "Hiérarchie des normes, Interprétation littérale, Jurisprudence, Principe de légalité"},
      {"technical",
       {"TECH-001", "TECH-002", "TECH-003", "TECH-004", "TECH-005"},
       {9, 8, 9, 7, 8},
       "Débogage systématique, Reproduction du bug, Isolation du problème, Tests de régression"},
  };
  const RuleRegistry registry = default_rule_registry();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.domain);
    auto context = lock_domain(registry, c.domain, "python");
    ASSERT_TRUE(context.has_value()) << context.error().text();
    EXPECT_EQ(context->domain, c.domain);
    EXPECT_EQ(ids_of(context->rules), c.ids);
    for (std::size_t i = 0; i < context->rules.size(); ++i) {
      EXPECT_EQ(context->rules[i].priority, c.priorities[i]) << i;
      EXPECT_EQ(context->rules[i].category, RuleCategory::Validation) << i;
    }
    EXPECT_EQ(context->confidence, 1.0f);
    EXPECT_EQ(context->source, "python");
    EXPECT_TRUE(context->timestamp.ends_with("+00:00")) << context->timestamp;
    EXPECT_EQ(context->metadata.size(), 3u);
    EXPECT_EQ(context->metadata.at("domain"), c.domain);
    EXPECT_EQ(context->metadata.at("rule_count"), "5");
    EXPECT_EQ(context->metadata.at("high_priority_rules"), c.high_priority_rules);
  }
}

TEST(Lock, BuiltinRuleTexts) {
  // The byte-exact texts of one domain: precomposed accents, ASCII apostrophes.
  const DomainRule medical[] = {
      {"MED-001", "Protocole diagnostique", "Suivre les protocoles de diagnostic établis",
       RuleCategory::Validation, 9},
      {"MED-002", "Anamnèse complète", "Recueillir l'historique médical complet du patient",
       RuleCategory::Validation, 8},
      {"MED-003", "Diagnostic différentiel", "Considérer plusieurs hypothèses diagnostiques",
       RuleCategory::Validation, 9},
      {"MED-004", "Principe de précaution", "En cas de doute, privilégier la sécurité du patient",
       RuleCategory::Validation, 10},
      {"MED-005", "Evidence-based medicine", "Baser les décisions sur les preuves scientifiques",
       RuleCategory::Validation, 8},
  };
  const RuleRegistry registry = default_rule_registry();
  EXPECT_EQ(registry.rules.at("medical"), std::vector<DomainRule>(std::begin(medical), std::end(medical)));
  EXPECT_EQ(registry.rules.at("legal")[0].description,
            "Respecter la hiérarchie Constitution > Loi > Règlement");
  EXPECT_EQ(registry.rules.at("technical")[3].description, "Analyser les logs et traces d'exécution");
  EXPECT_EQ(registry.rules.size(), 3u);
  EXPECT_EQ(registry.min_rules, 1u);
  EXPECT_EQ(std::bit_cast<std::uint32_t>(registry.min_confidence), 0x3F333333u);
  EXPECT_FALSE(registry.allow_fallback);
}

struct ErrorCase {
  std::string domain;
  DomainLockError::Kind kind;
  std::string text;
};

TEST(Lock, ErrorsAndTheirText) {
  using Kind = DomainLockError::Kind;
  const ErrorCase cases[] = {
      {"", Kind::DomainNotIdentified, "DomainNotIdentified"},
      {"  \t\n", Kind::DomainNotIdentified, "DomainNotIdentified"},
      {"\u00a0\u3000\u2028\u0085", Kind::DomainNotIdentified, "DomainNotIdentified"},
      {" medical", Kind::InvalidDomain, R"(InvalidDomain(" medical"))"},
      {"medical ", Kind::InvalidDomain, R"(InvalidDomain("medical "))"},
      {"Medical", Kind::InvalidDomain, R"(InvalidDomain("Medical"))"},
      {"a\"b\\c", Kind::InvalidDomain, R"(InvalidDomain("a\"b\\c"))"},
      {"a\nb", Kind::InvalidDomain, R"(InvalidDomain("a\nb"))"},
      {std::string("a\0b\tc\rd", 7), Kind::InvalidDomain, R"(InvalidDomain("a\0b\tc\rd"))"},
      {"l'été à Noël", Kind::InvalidDomain, R"(InvalidDomain("l'été à Noël"))"},
      {"a\u00a0b", Kind::InvalidDomain, R"(InvalidDomain("a\u{a0}b"))"},
      {"e\u0301", Kind::InvalidDomain, R"(InvalidDomain("e\u{301}"))"},
      {"\u0301", Kind::InvalidDomain, R"(InvalidDomain("\u{301}"))"},
      {"\u0007x", Kind::InvalidDomain, R"(InvalidDomain("\u{7}x"))"},
      {"x\x7f\u0085", Kind::InvalidDomain, R"(InvalidDomain("x\u{7f}\u{85}"))"},
      // Cf, Co, Cn, Zl, Zp and a Zs other than the space.
      {"a\u200bb\ue000c\u0378", Kind::InvalidDomain, R"(InvalidDomain("a\u{200b}b\u{e000}c\u{378}"))"},
      {"a\u2028b\u2029c\u3000d", Kind::InvalidDomain, R"(InvalidDomain("a\u{2028}b\u{2029}c\u{3000}d"))"},
      // A symbol outside the Basic Multilingual Plane is printable.
      {"x\U0001F600", Kind::InvalidDomain, "InvalidDomain(\"x\U0001F600\")"},
      // A byte that is not UTF-8 comes out as U+FFFD, keeping the text UTF-8.
      {"a\xff", Kind::InvalidDomain, "InvalidDomain(\"a\uFFFD\")"},
  };
  const RuleRegistry registry = default_rule_registry();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto context = lock_domain(registry, c.domain, "python");
    ASSERT_FALSE(context.has_value());
    EXPECT_EQ(context.error().kind(), c.kind);
    if (c.kind == Kind::InvalidDomain) {
      EXPECT_EQ(context.error().detail(), c.domain);
    }
    EXPECT_EQ(context.error().text(), c.text);
  }
}

TEST(Lock, SettingsAndTheOrderOfErrors) {
  using Kind = DomainLockError::Kind;
  RuleRegistry registry = default_rule_registry();

  registry.min_rules = 6;
  auto few = lock_domain(registry, "medical", "python");
  ASSERT_FALSE(few.has_value());
  EXPECT_EQ(few.error().text(), R"(NoRulesFound("medical"))");

  // The rule count is tested before the confidence.
  registry.min_confidence = 2.0f;
  few = lock_domain(registry, "medical", "python");
  ASSERT_FALSE(few.has_value());
  EXPECT_EQ(few.error().kind(), Kind::NoRulesFound);

  registry.min_rules = 5;
  auto low = lock_domain(registry, "medical", "python");
  ASSERT_FALSE(low.has_value());
  EXPECT_EQ(low.error().text(), R"(LockFailed("Lock confidence 1 below minimum 2"))");

  // Equal values pass.
  registry.min_confidence = 1.0f;
  EXPECT_TRUE(lock_domain(registry, "medical", "python").has_value());

  // Emptiness is tested before anything is looked up.
  registry.allow_fallback = true;
  auto blank = lock_domain(registry, " ", "python");
  ASSERT_FALSE(blank.has_value());
  EXPECT_EQ(blank.error().kind(), Kind::DomainNotIdentified);
}

TEST(Lock, Fallback) {
  RuleRegistry registry = default_rule_registry();
  registry.allow_fallback = true;

  auto failed = lock_domain(registry, "finance", "python");
  ASSERT_FALSE(failed.has_value());
  EXPECT_EQ(failed.error().kind(), DomainLockError::Kind::LockFailed);
  EXPECT_EQ(failed.error().text(), R"(LockFailed("Lock confidence 0.52 below minimum 0.7"))");

  registry.min_confidence = 0.5f;
  auto context = lock_domain(registry, "finance", "cli");
  ASSERT_TRUE(context.has_value()) << context.error().text();
  const std::vector<DomainRule> expected = {
      {"FINANCE-001", "Analyse méthodique", "Suivre une approche méthodique", RuleCategory::Validation, 7},
      {"FINANCE-002", "Vérification des faits", "Vérifier les faits avant de conclure",
       RuleCategory::Validation, 8},
  };
  EXPECT_EQ(context->rules, expected);
  EXPECT_EQ(std::bit_cast<std::uint32_t>(context->confidence), 0x3F051EB8u);  // 0.52
  EXPECT_EQ(context->domain, "finance");
  EXPECT_EQ(context->source, "cli");
  EXPECT_EQ(context->metadata.at("rule_count"), "2");
  EXPECT_EQ(context->metadata.at("high_priority_rules"), "Vérification des faits");

  // A known domain is still found under its key.
  auto medical = lock_domain(registry, "medical", "python");
  ASSERT_TRUE(medical.has_value());
  EXPECT_EQ(medical->rules.size(), 5u);

  // A minimum that is not a number never fails.
  registry.min_confidence = std::numeric_limits<float>::quiet_NaN();
  EXPECT_TRUE(lock_domain(registry, "finance", "python").has_value());
}

TEST(Lock, FallbackIdsAreFullyUpperCased) {
  RuleRegistry registry = default_rule_registry();
  registry.allow_fallback = true;
  registry.min_confidence = 0.0f;
  const std::pair<const char*, const char*> cases[] = {
      {"straße", "STRASSE"}, {" x", " X"}, {"Écoles\t", "ÉCOLES\t"},
      {"ﬁn", "FIN"},  // the ligature becomes two letters
      {"42", "42"},
  };
  for (const auto& [domain, upper] : cases) {
    auto context = lock_domain(registry, domain, "python");
    ASSERT_TRUE(context.has_value()) << domain;
    EXPECT_EQ(ids_of(context->rules),
              (std::vector<std::string>{std::string(upper) + "-001", std::string(upper) + "-002"}));
    EXPECT_EQ(context->domain, domain);
  }
}

std::vector<DomainRule> rules_of(std::size_t n, std::uint8_t priority) {
  std::vector<DomainRule> rules;
  for (std::size_t i = 0; i < n; ++i) {
    rules.push_back(
        {"K-" + std::to_string(i), "rule " + std::to_string(i), "d", RuleCategory::Validation, priority});
  }
  return rules;
}

TEST(Lock, ConfidenceByRuleCount) {
  const float expected[] = {0.3f, 0.76f, 0.82f, 0.88000005f, 0.94f, 1.0f, 1.0f};
  for (std::size_t n = 0; n < std::size(expected); ++n) {
    RuleRegistry registry;
    registry.min_rules = 0;
    registry.min_confidence = 0.0f;
    registry.rules.emplace("k", rules_of(n, 5));
    auto context = lock_domain(registry, "k", "python");
    ASSERT_TRUE(context.has_value()) << n;
    EXPECT_EQ(context->confidence, expected[n]) << n;
    // No rule of priority 8 or more: only two metadata keys.
    EXPECT_EQ(context->metadata.size(), 2u) << n;
    EXPECT_EQ(context->metadata.at("rule_count"), std::to_string(n));
    EXPECT_FALSE(context->metadata.contains("high_priority_rules"));
  }
}

TEST(Lock, HighPriorityRuleNames) {
  const std::vector<DomainRule> rules = {
      {"A", "protocol", "", RuleCategory::Protocol, 10},
      {"B", "validation 8", "", RuleCategory::Validation, 8},
      {"C", "format 7", "", RuleCategory::Format, 7},
      {"D", "hierarchy 255", "", RuleCategory::Hierarchy, 255},
      {"E", "interpretation 9", "", RuleCategory::Interpretation, 9},
  };
  EXPECT_EQ(high_priority_rule_names(rules),
            (std::vector<std::string>{"validation 8", "hierarchy 255", "interpretation 9"}));
  EXPECT_TRUE(high_priority_rule_names({}).empty());

  RuleRegistry registry;
  registry.min_confidence = 0.0f;
  registry.rules.emplace("only protocol", std::vector<DomainRule>{rules[0], rules[2]});
  auto context = lock_domain(registry, "only protocol", "python");
  ASSERT_TRUE(context.has_value());
  EXPECT_EQ(context->metadata.size(), 2u);
  EXPECT_EQ(context->metadata.at("domain"), "only protocol");
  registry.rules.emplace("mixed", rules);
  context = lock_domain(registry, "mixed", "python");
  ASSERT_TRUE(context.has_value());
  EXPECT_EQ(context->metadata.at("high_priority_rules"), "validation 8, hierarchy 255, interpretation 9");
}

TEST(Lock, ContextOwnsItsRules) {
  auto context = [] {
    const RuleRegistry registry = default_rule_registry();
    return lock_domain(registry, "legal", "python");
  }();
  ASSERT_TRUE(context.has_value());
  EXPECT_EQ(context->rules[2].name, "Intention du législateur");
}

TEST(Lock, HugeDomain) {
  RuleRegistry registry = default_rule_registry();
  const std::string huge(1 << 20, 'z');
  auto refused = lock_domain(registry, huge, "python");
  ASSERT_FALSE(refused.has_value());
  EXPECT_EQ(refused.error().text().size(), huge.size() + std::string("InvalidDomain(\"\")").size());
}

}  // namespace
}  // namespace morvane
