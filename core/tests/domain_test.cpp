// Domain adapters: validation outcomes, reports, context blocks, rules, the terminology
// maps and their once-guards, the record texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "domain/adapter_factory.hpp"
#include "domain/domain_adapter.hpp"
#include "domain/legal_adapter.hpp"
#include "domain/medical_adapter.hpp"
#include "domain/technical_adapter.hpp"
#include "domain/terminology.hpp"
#include "support/float_text.hpp"

namespace morvane {
namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

std::uint32_t bits(float value) { return std::bit_cast<std::uint32_t>(value); }

// ---------------------------------------------------------------------------------
// Validation outcomes

struct ExpectedIssue {
  Severity severity;
  const char* message;
  const char* suggestion;
  const char* rule_id;
};

// `failing` spells which checks fail, one digit per check in check order ("101").
struct OutcomeRow {
  const char* failing;
  const char* text;
  float score;
  bool valid;
};

void expect_outcomes(const DomainAdapter& adapter, std::span<const ExpectedIssue> checks,
                     std::span<const char* const> suggestions, std::span<const OutcomeRow> rows) {
  for (const OutcomeRow& row : rows) {
    SCOPED_TRACE(std::string(row.failing) + " \"" + row.text + "\"");
    ASSERT_EQ(std::string_view(row.failing).size(), checks.size());
    const auto result = adapter.validate(row.text);
    ASSERT_TRUE(result.has_value());

    std::vector<ValidationIssue> expected_issues;
    for (std::size_t i = 0; i < checks.size(); ++i) {
      if (row.failing[i] == '1') {
        expected_issues.push_back(
            {checks[i].severity, checks[i].message, checks[i].suggestion, checks[i].rule_id});
      }
    }
    EXPECT_EQ(result->issues, expected_issues);
    EXPECT_EQ(bits(result->score), bits(row.score)) << json_float(result->score);
    EXPECT_EQ(result->valid, row.valid);
    const std::vector<std::string> expected_suggestions =
        row.valid ? std::vector<std::string>{}
                  : std::vector<std::string>(suggestions.begin(), suggestions.end());
    EXPECT_EQ(result->suggestions, expected_suggestions);
  }
}

TEST(MedicalAdapter, ValidationOutcomes) {
  constexpr ExpectedIssue kChecks[] = {
      {Severity::Warning, "Anamnèse non mentionnée dans le raisonnement", "Inclure l'anamnèse du patient",
       "med_protocol_1"},
      {Severity::Warning, "Diagnostic différentiel insuffisant",
       "Considérer au moins 3 hypothèses diagnostiques", "med_differential_1"},
      {Severity::Error, "Urgence vitale non évaluée", "Évaluer le caractère vital de l'urgence",
       "med_safety_1"},
  };
  constexpr const char* kSuggestions[] = {"Suivre le protocole diagnostique complet",
                                          "Développer le diagnostic différentiel",
                                          "Évaluer les urgences vitales"};
  const OutcomeRow rows[] = {
      {"000", "anamnèse, diagnostic puis second diagnostic; urgence vitale écartée", 1.0f, true},
      {"001", "history, diagnostic, diagnostic; emergency", 0.7f, true},
      {"010", "anamnèse complète, un seul diagnostic", 0.85f, true},
      {"011", "history, diagnostic, urgence", 0.55f, false},
      {"100", "diagnosticdiagnostic", 0.9f, true},
      {"101", "diagnostic puis diagnostic, emergency", 0.59999996f, false},
      {"110", "", 0.75f, true},
      {"111", "urgence", 0.45f, false},
  };
  expect_outcomes(MedicalAdapter(), kChecks, kSuggestions, rows);
}

TEST(TechnicalAdapter, ValidationOutcomes) {
  constexpr ExpectedIssue kChecks[] = {
      {Severity::Warning, "Reproduction du bug non mentionnée", "Décrire comment reproduire le bug",
       "tech_repro_1"},
      {Severity::Warning, "Aucun log ou trace mentionné", "Fournir des logs ou stack traces", "tech_logs_1"},
      {Severity::Error, "Cause racine non identifiée",
       "Identifier la cause racine, pas seulement le symptôme", "tech_isolation_1"},
      {Severity::Warning, "Tests de régression non mentionnés", "Ajouter des tests de régression",
       "tech_regression_1"},
  };
  constexpr const char* kSuggestions[] = {"Décrire la reproduction du bug", "Fournir des logs/traces",
                                          "Identifier la cause racine", "Ajouter des tests de régression"};
  const OutcomeRow rows[] = {
      {"0000", "reproduction, logs, root cause, tests", 1.0f, true},
      {"0001", "reproduire avec la stack, cause trouvée", 0.85f, true},
      {"0010", "reproduction et trace, tests ajoutés", 0.7f, true},
      {"0011", "reproduction, log", 0.54999995f, false},
      {"0100", "reproduction, cause, test", 0.8f, true},
      {"0101", "reproduire, root", 0.65f, true},
      {"0110", "reproduction avec test", 0.5f, false},
      {"0111", "reproduire", 0.35f, false},
      {"1000", "logs, cause, test", 0.8f, true},
      {"1001", "stack, because", 0.65f, true},
      {"1010", "trace et tests", 0.5f, false},
      {"1011", "catalogue", 0.35f, false},
      {"1100", "root cause latest", 0.6f, true},
      {"1101", "cause", 0.45000002f, false},
      {"1110", "test", 0.3f, false},
      {"1111", "", 0.15f, false},
  };
  expect_outcomes(TechnicalAdapter(), kChecks, kSuggestions, rows);
}

TEST(LegalAdapter, ValidationOutcomes) {
  constexpr ExpectedIssue kChecks[] = {
      {Severity::Error, "Fondement légal manquant", "Citer les textes légaux applicables",
       "legal_foundation_1"},
      {Severity::Warning, "Hiérarchie des normes non respectée", "La loi prime sur le règlement",
       "legal_hierarchy_1"},
      {Severity::Info, "Aucun précédent jurisprudentiel cité",
       "Citer les précédents pertinents si disponibles", "legal_precedent_1"},
  };
  constexpr const char* kSuggestions[] = {"Citer les fondements légaux explicites",
                                          "Respecter la hiérarchie des normes",
                                          "Analyser les précédents jurisprudentiels"};
  const OutcomeRow rows[] = {
      {"000", "la loi puis le règlement, selon la jurisprudence", 1.0f, true},
      {"001", "article 12 du code civil", 0.9f, true},
      {"010", "le règlement puis la loi, vu le précédent", 0.8f, true},
      {"011", "le règlement avant la loi", 0.7f, true},
      {"100", "jurisprudence constante", 0.6f, true},
      {"101", "", 0.5f, false},
  };
  expect_outcomes(LegalAdapter(), kChecks, kSuggestions, rows);
}

// Which checks a text fails, by the rule ids of its issues: the keyword tests are
// case-sensitive byte tests, also inside longer words, with precomposed accents.
struct KeywordCase {
  const char* domain;
  const char* text;
  std::vector<std::string> rule_ids;
};

TEST(DomainAdapter, KeywordTests) {
  const KeywordCase cases[] = {
      {"medical", "Anamnèse, diagnostic, diagnostic", {"med_protocol_1"}},
      {"medical", "anamnese, diagnostic, diagnostic", {"med_protocol_1"}},
      {"medical", "anamne\u0300se, diagnostic, diagnostic", {"med_protocol_1"}},
      {"medical", "patient history, diagnostic, diagnostic", {}},
      {"medical", "history, diagnostic", {"med_differential_1"}},
      {"medical", "history, diagnostique diagnostique", {"med_differential_1"}},
      {"medical", "history, Diagnostic diagnostic", {"med_differential_1"}},
      {"medical", "history, diagnostics et prediagnostic", {}},
      {"medical", "history, diagnostic x3: diagnostic diagnostic", {}},
      {"medical", "history, diagnostic diagnostic, urgence vitale", {}},
      {"medical", "history, diagnostic diagnostic, prise en charge immédiate de l'urgence", {}},
      {"medical", "history, diagnostic diagnostic, Urgence", {}},
      {"medical", "history, diagnostic diagnostic, emergency", {"med_safety_1"}},
      {"medical", "history, diagnostic diagnostic, urgence imme\u0301diate", {"med_safety_1"}},
      {"technical", "bug reproductible, logs, cause, test", {"tech_repro_1"}},
      {"technical", "Reproduction, logs, cause, test", {"tech_repro_1"}},
      {"technical", "reproduction, catalogue, because, latest", {}},
      {"technical", "reproduction, stack, root, tests", {}},
      {"technical", "reproduction, log, cause, Test", {"tech_regression_1"}},
      {"technical", "reproduction, Log Trace Stack, cause, test", {"tech_logs_1"}},
      {"legal", "emploi, jurisprudence", {}},
      {"legal", "Loi et Code, Article, jurisprudence", {"legal_foundation_1"}},
      {"legal", "le règlement puis la loi, jurisprudence", {"legal_hierarchy_1"}},
      {"legal", "la loi puis le règlement, jurisprudence", {}},
      {"legal", "l'emploi du règlement, puis la loi, jurisprudence", {}},
      {"legal", "le Règlement puis la loi, jurisprudence", {}},
      {"legal", "le réglement puis la loi, jurisprudence", {}},
      {"legal", "le règlement seul, article 3, jurisprudence", {}},
      {"legal", "loi, précédents", {}},
      {"legal", "loi, precedent", {"legal_precedent_1"}},
  };
  for (const KeywordCase& c : cases) {
    SCOPED_TRACE(std::string(c.domain) + ": " + c.text);
    const auto adapter = make_domain_adapter(c.domain);
    ASSERT_NE(adapter, nullptr);
    const auto result = adapter->validate(c.text);
    ASSERT_TRUE(result.has_value());
    std::vector<std::string> rule_ids;
    for (const ValidationIssue& issue : result->issues) rule_ids.push_back(issue.rule_id.value_or("?"));
    EXPECT_EQ(rule_ids, c.rule_ids);
  }
}

// ---------------------------------------------------------------------------------
// Reports

TEST(DomainAdapter, ReportsWhole) {
  const Verdict medical{"Pneumopathie", "Fièvre et toux", {"Radiographie", "Antibiotique"}, 0.8f, 0.375f};
  EXPECT_EQ(MedicalAdapter().format_output(medical),
            "=== RAPPORT MÉDICAL ===\n\nDIAGNOSTIC:\nPneumopathie\n\nJUSTIFICATION:\nFièvre et toux\n\n"
            "CERTITUDE: 80%\nQUALITÉ: 38%\n\nRECOMMANDATIONS:\nRadiographie\nAntibiotique\n\n"
            "=== FIN DU RAPPORT ===");

  const Verdict technical{"Crash au démarrage", "Pointeur nul", {"Vérifier le pointeur"}, 0.9f, 0.125f};
  EXPECT_EQ(TechnicalAdapter().format_output(technical),
            "=== RAPPORT TECHNIQUE ===\n\nSYMPTÔME:\nCrash au démarrage\n\nCAUSE RACINE:\nPointeur nul\n\n"
            "CORRECTION:\nVérifier le pointeur\n\nCERTITUDE: 90%\nQUALITÉ: 12%\n\n=== FIN DU RAPPORT ===");

  const Verdict legal{"Rupture abusive", "Article L1235-1", {}, 0.6f, 1.5f};
  EXPECT_EQ(LegalAdapter().format_output(legal),
            "=== AVIS JURIDIQUE ===\n\nQUALIFICATION:\nRupture abusive\n\nFONDEMENT:\nArticle L1235-1\n\n"
            "DISPOSITIF:\n\n\nCERTITUDE: 60%\nQUALITÉ: 150%\n\n=== FIN DE L'AVIS ===");
}

TEST(DomainAdapter, RecommendationsJoinedByNewline) {
  struct Place {
    const char* domain;
    std::string before;
    std::string after;
  };
  const Place places[] = {
      {"medical", "\nRECOMMANDATIONS:\n", "\n\n=== FIN DU RAPPORT ==="},
      {"technical", "\nCORRECTION:\n", "\n\nCERTITUDE: "},
      {"legal", "\nDISPOSITIF:\n", "\n\nCERTITUDE: "},
  };
  const std::pair<std::vector<std::string>, std::string> joins[] = {
      {{}, ""},
      {{"seul"}, "seul"},
      {{"un", "deux"}, "un\ndeux"},
      {{"", ""}, "\n"},
  };
  for (const Place& place : places) {
    const auto adapter = make_domain_adapter(place.domain);
    for (const auto& [items, joined] : joins) {
      SCOPED_TRACE(std::string(place.domain) + ": " + joined);
      const std::string report = adapter->format_output(Verdict{"c", "j", items, 0.5f, 0.5f});
      EXPECT_NE(report.find(place.before + joined + place.after), std::string::npos) << report;
    }
  }
}

TEST(DomainAdapter, Percentages) {
  // clang-format off
  const std::pair<float, const char*> cases[] = {
      {0.125f, "12"},  {0.375f, "38"}, {0.5f, "50"},    {0.245f, "24"},  {1.5f, "150"},
      {0.0f, "0"},     {-0.001f, "-0"}, {-0.0f, "-0"},  {-0.5f, "-50"},  {kNaN, "NaN"},
      {kInf, "inf"},   {-kInf, "-inf"}, {1e30f, "100000003318135351409612647563264"},
  };
  // clang-format on
  const MedicalAdapter adapter;
  for (const auto& [value, text] : cases) {
    SCOPED_TRACE(text);
    // Certainty and quality differ, so their order shows too.
    const std::string report = adapter.format_output(Verdict{"c", "j", {}, value, 0.01f});
    EXPECT_NE(report.find(std::string("\nCERTITUDE: ") + text + "%\nQUALITÉ: 1%\n"), std::string::npos)
        << report;
  }
}

// ---------------------------------------------------------------------------------
// Context blocks

TEST(DomainAdapter, ContextBlocks) {
  const std::pair<const char*, std::string> blocks[] = {
      {"medical",
       "\n\nCONTEXTE MÉDICAL:\n- Protocole: Anamnèse → Examen → Hypothèses → Tests → Diagnostic\n"
       "- Priorité: Urgences vitales en premier\n- Exigence: Diagnostic différentiel (≥3 hypothèses)\n"
       "- Base: Evidence-based medicine"},
      {"technical",
       "\n\nCONTEXTE TECHNIQUE:\n- Protocole: Reproduction → Isolation → Correction → Test\n"
       "- Exigence: Bug reproductible + Logs/traces\n- Focus: Cause racine (pas symptôme)\n"
       "- Validation: Tests de régression obligatoires"},
      {"legal",
       "\n\nCONTEXTE JURIDIQUE:\n- Hiérarchie: Constitution > Loi > Règlement > Contrat\n"
       "- Interprétation: Littérale si texte clair, intentionnelle si ambigu\n"
       "- Exigence: Fondement légal explicite requis\n- Format: Qualification → Fondement → Dispositif"},
  };
  const std::map<std::string, std::size_t> sizes = {{"medical", 224}, {"technical", 215}, {"legal", 248}};
  for (const auto& [domain, block] : blocks) {
    SCOPED_TRACE(domain);
    const auto adapter = make_domain_adapter(domain);
    EXPECT_EQ(block.size(), sizes.at(domain));
    EXPECT_EQ(adapter->enrich_context(""), block);
    EXPECT_EQ(adapter->enrich_context("  Patient, 45 ans \n"), "  Patient, 45 ans \n" + block);
  }
}

// ---------------------------------------------------------------------------------
// Names, rules, factory

TEST(DomainAdapter, FactoryAndNames) {
  const std::pair<const char*, const char*> cases[] = {
      {"medical", "Medical"}, {"technical", "Technical"}, {"legal", "Legal"},
      {"Medical", nullptr},   {"medical ", nullptr},      {"", nullptr},
      {"financial", nullptr},
  };
  for (const auto& [domain, name] : cases) {
    SCOPED_TRACE(domain);
    const auto adapter = make_domain_adapter(domain);
    if (name == nullptr) {
      EXPECT_EQ(adapter, nullptr);
    } else {
      ASSERT_NE(adapter, nullptr);
      EXPECT_EQ(adapter->domain_name(), name);
    }
  }
}

struct RuleShape {
  const char* id;
  RuleCategory category;
  std::uint8_t priority;
};

void expect_rule_shapes(const DomainAdapter& adapter, std::span<const RuleShape> shapes) {
  const auto rules = adapter.rules();
  ASSERT_EQ(rules.size(), shapes.size());
  for (std::size_t i = 0; i < rules.size(); ++i) {
    SCOPED_TRACE(shapes[i].id);
    EXPECT_EQ(rules[i].id, shapes[i].id);
    EXPECT_EQ(rules[i].category, shapes[i].category);
    EXPECT_EQ(rules[i].priority, shapes[i].priority);
  }
}

TEST(DomainAdapter, RuleTables) {
  using C = RuleCategory;
  constexpr RuleShape kMedical[] = {
      {"med_protocol_1", C::Protocol, 10},  {"med_evidence_1", C::Validation, 9},
      {"med_safety_1", C::Protocol, 10},    {"med_differential_1", C::Protocol, 8},
      {"med_hierarchy_1", C::Hierarchy, 7}, {"med_contraindication_1", C::Validation, 9},
  };
  constexpr RuleShape kTechnical[] = {
      {"tech_debug_1", C::Protocol, 10},       {"tech_repro_1", C::Validation, 9},
      {"tech_isolation_1", C::Protocol, 8},    {"tech_logs_1", C::Validation, 7},
      {"tech_regression_1", C::Validation, 9}, {"tech_format_1", C::Format, 6},
  };
  constexpr RuleShape kLegal[] = {
      {"legal_hierarchy_1", C::Hierarchy, 10},   {"legal_literal_1", C::Interpretation, 9},
      {"legal_intent_1", C::Interpretation, 8},  {"legal_precedent_1", C::Validation, 7},
      {"legal_foundation_1", C::Validation, 10}, {"legal_format_1", C::Format, 6},
  };
  expect_rule_shapes(MedicalAdapter(), kMedical);
  expect_rule_shapes(TechnicalAdapter(), kTechnical);
  expect_rule_shapes(LegalAdapter(), kLegal);

  // The texts with arrows, precomposed capitals and symbols, byte for byte.
  EXPECT_EQ(MedicalAdapter().rules()[0],
            (DomainRule{
                "med_protocol_1", "Protocole diagnostique",
                "Anamn\u00e8se \u2192 Examen physique \u2192 Hypoth\u00e8ses \u2192 Tests \u2192 Diagnostic",
                C::Protocol, 10}));
  EXPECT_EQ(MedicalAdapter().rules()[2].description, "\u00c9liminer les urgences vitales en premier");
  EXPECT_EQ(TechnicalAdapter().rules()[5].description,
            "Sympt\u00f4me \u2192 Cause racine \u2192 Correction \u2192 Tests");
  EXPECT_EQ(TechnicalAdapter().rules()[3].description,
            "Toute analyse doit s'appuyer sur des logs ou traces concr\u00e8tes");
  EXPECT_EQ(LegalAdapter().rules()[0].description, "Constitution > Loi > R\u00e8glement > Contrat");
  EXPECT_EQ(LegalAdapter().rules()[5],
            (DomainRule{"legal_format_1", "Format juridique",
                        "Qualification \u2192 Fondement \u2192 Dispositif", C::Format, 6}));
}

TEST(DomainAdapter, AdaptersOfOneKindAgree) {
  const LegalAdapter a;
  const LegalAdapter b;
  EXPECT_TRUE(std::ranges::equal(a.rules(), b.rules()));
  EXPECT_NE(a.rules().data(), b.rules().data());
  const char* text = "le règlement puis la loi";
  EXPECT_EQ(a.validate(text), b.validate(text));
  const Verdict verdict{"q", "f", {"d"}, 0.7f, 0.2f};
  EXPECT_EQ(a.format_output(verdict), b.format_output(verdict));
  EXPECT_EQ(a.enrich_context("x"), b.enrich_context("x"));
}

// ---------------------------------------------------------------------------------
// Records

TEST(DomainRecords, SeverityNames) {
  EXPECT_EQ(severity_name(Severity::Error), "Error");
  EXPECT_EQ(severity_name(Severity::Warning), "Warning");
  EXPECT_EQ(severity_name(Severity::Info), "Info");
}

TEST(DomainRecords, DomainErrorTexts) {
  using Kind = DomainError::Kind;
  const std::pair<DomainError, const char*> cases[] = {
      {DomainError(Kind::ValidationFailed, "empty"), "Validation failed: empty"},
      {DomainError(Kind::InvalidDomain, "finance"), "Invalid domain: finance"},
      {DomainError(Kind::RuleNotFound, "med_x"), "Rule not found: med_x"},
      {DomainError(Kind::TerminologyError, "clé absente"), "Terminology error: clé absente"},
      {DomainError(Kind::ValidationFailed, ""), "Validation failed: "},
      {DomainError(Kind::TerminologyError, ""), "Terminology error: "},
  };
  for (const auto& [error, text] : cases) EXPECT_EQ(error.text(), text);
}

// ---------------------------------------------------------------------------------
// Terminology maps

using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs in_order(const TextMap& map) { return Pairs(map.begin(), map.end()); }

std::size_t distinct_values(const TextMap& map) {
  std::set<std::string> values;
  for (const auto& [key, value] : map) values.insert(value);
  return values.size();
}

std::size_t values_equal_to_key(const TextMap& map) {
  std::size_t n = 0;
  for (const auto& [key, value] : map) n += key == value;
  return n;
}

TEST(Terminology, SizesAndShape) {
  struct Shape {
    const char* domain;
    std::size_t size;
    std::size_t distinct;
    std::size_t same_as_key;
  };
  const Shape shapes[] = {{"medical", 50, 50, 9}, {"technical", 53, 52, 18}, {"legal", 50, 50, 5}};
  for (const Shape& shape : shapes) {
    SCOPED_TRACE(shape.domain);
    const auto adapter = make_domain_adapter(shape.domain);
    const TextMap& map = adapter->terminology();
    EXPECT_EQ(map.size(), shape.size);
    EXPECT_EQ(distinct_values(map), shape.distinct);
    EXPECT_EQ(values_equal_to_key(map), shape.same_as_key);
    for (const auto& [key, value] : map) {
      SCOPED_TRACE(key);
      EXPECT_GE(key.size(), 3u);
      EXPECT_LE(key.size(), 22u);
      EXPECT_GE(value.size(), 3u);
      EXPECT_LE(value.size(), 24u);
      for (char c : key) EXPECT_TRUE((c >= 'a' && c <= 'z') || c == '_') << key;
      EXPECT_EQ(key.front() == '_' || key.back() == '_', false);
      // Beyond ASCII only é, è, ê, ô, precomposed; upper case only in "IRM".
      std::string rest = value;
      for (const char* accented : {"é", "è", "ê", "ô"}) {
        for (auto at = rest.find(accented); at != std::string::npos; at = rest.find(accented)) {
          rest.replace(at, 2, "a");
        }
      }
      for (unsigned char c : rest) {
        EXPECT_LT(c, 0x80) << value;
        if (value != "IRM") {
          EXPECT_FALSE(c >= 'A' && c <= 'Z') << value;
        }
      }
    }
  }
}

TEST(Terminology, ExactPairs) {
  struct Pair {
    const char* domain;
    const char* key;
    const char* value;
  };
  const Pair pairs[] = {
      {"medical", "fever", "fi\u00e8vre"},
      {"medical", "follow_up", "suivi"},
      {"medical", "mri", "IRM"},
      {"medical", "history", "anamn\u00e8se"},
      {"medical", "differential_diagnosis", "diagnostic diff\u00e9rentiel"},
      {"medical", "contraindication", "contre-indication"},
      {"medical", "chest_pain", "douleur thoracique"},
      {"medical", "diagnosis", "diagnostic"},
      {"medical", "symptom", "sympt\u00f4me"},
      {"technical", "bug", "bug"},
      {"technical", "timeout", "timeout"},
      {"technical", "breakpoint", "point d'arr\u00eat"},
      {"technical", "bottleneck", "goulot d'\u00e9tranglement"},
      {"technical", "stack_trace", "stack trace"},
      {"technical", "fault", "d\u00e9faut"},
      {"technical", "defect", "d\u00e9faut"},
      {"technical", "diagnosis", "diagnostic"},
      {"technical", "symptom", "sympt\u00f4me"},
      {"technical", "code", "code"},
      {"technical", "race_condition", "condition de course"},
      {"legal", "law", "loi"},
      {"legal", "voidable", "annulable"},
      {"legal", "void", "nul"},
      {"legal", "fault", "faute"},
      {"legal", "code", "code"},
      {"legal", "regulation", "r\u00e8glement"},
      {"legal", "case_law", "droit jurisprudentiel"},
  };
  for (const Pair& pair : pairs) {
    SCOPED_TRACE(std::string(pair.domain) + ": " + pair.key);
    const auto adapter = make_domain_adapter(pair.domain);
    const auto found = adapter->terminology().find(std::string_view(pair.key));
    ASSERT_NE(found, adapter->terminology().end());
    EXPECT_EQ(found->second, pair.value);
  }
  EXPECT_EQ(TechnicalAdapter().terminology().at("breakpoint").size(), 14u);
  EXPECT_EQ(MedicalAdapter().terminology().at("differential_diagnosis").size(), 24u);
}

TEST(Terminology, KeysSharedBetweenMaps) {
  const MedicalAdapter medical;
  const TechnicalAdapter technical;
  const LegalAdapter legal;
  auto shared = [](const TextMap& a, const TextMap& b) {
    std::set<std::string> keys;
    for (const auto& [key, value] : a) {
      if (b.contains(key)) keys.insert(key);
    }
    return keys;
  };
  EXPECT_EQ(shared(medical.terminology(), technical.terminology()),
            (std::set<std::string>{"diagnosis", "symptom"}));
  EXPECT_EQ(shared(technical.terminology(), legal.terminology()), (std::set<std::string>{"code", "fault"}));
  EXPECT_EQ(shared(medical.terminology(), legal.terminology()), std::set<std::string>{});
}

TEST(Terminology, CopiesIterateInTheMapsOrder) {
  const MedicalAdapter first;
  const LegalAdapter between_legal;
  const TechnicalAdapter between_technical;
  const MedicalAdapter second;

  const TextMap& shared = medical_terminology();
  EXPECT_EQ(in_order(first.terminology()), in_order(shared));
  EXPECT_EQ(in_order(second.terminology()), in_order(shared));
  EXPECT_EQ(first.terminology().hash_function().seed(), shared.hash_function().seed());
  EXPECT_EQ(in_order(between_legal.terminology()), in_order(legal_terminology()));
  EXPECT_EQ(in_order(between_technical.terminology()), in_order(technical_terminology()));

  // Each adapter owns its texts; each domain's map has its own seed.
  EXPECT_NE(&first.terminology(), &shared);
  EXPECT_NE(first.terminology().at("chest_pain").data(), shared.at("chest_pain").data());
  EXPECT_NE(first.terminology().at("chest_pain").data(), second.terminology().at("chest_pain").data());
  EXPECT_NE(shared.hash_function().seed(), legal_terminology().hash_function().seed());
  EXPECT_NE(shared.hash_function().seed(), technical_terminology().hash_function().seed());
}

TEST(Terminology, BuildersMakeFreshSeeds) {
  // A new build holds the same pairs under another seed.
  const TextMap a = build_technical_terminology();
  const TextMap b = build_technical_terminology();
  EXPECT_EQ(a, b);
  EXPECT_NE(a.hash_function().seed(), b.hash_function().seed());
  EXPECT_EQ(a, technical_terminology());
}

TEST(Terminology, SecondConstructionDoesNotRebuild) {
  const MedicalAdapter first;
  EXPECT_EQ(terminology_builds().medical, 1u);
  const MedicalAdapter second;
  const auto again = make_domain_adapter("medical");
  EXPECT_EQ(terminology_builds().medical, 1u);
  EXPECT_EQ(&medical_terminology(), &medical_terminology());
}

// Runs in a child process of its own (the threadsafe death-test style re-executes this
// binary for this test alone), so that no map is built yet when it starts.
int check_first_builds() {
  int failures = 0;
  auto check = [&](bool ok, const char* what) {
    if (!ok) {
      std::fprintf(stderr, "failed: %s\n", what);
      ++failures;
    }
  };
  auto builds = terminology_builds();
  check(builds.medical == 0 && builds.technical == 0 && builds.legal == 0, "nothing built at start");

  std::vector<MedicalAdapter> medical(100);
  builds = terminology_builds();
  check(builds.medical == 1, "medical built once by the first medical adapter");
  check(builds.technical == 0 && builds.legal == 0, "medical adapters build no other map");

  const LegalAdapter legal;
  builds = terminology_builds();
  check(builds.legal == 1, "the first legal adapter builds the legal map");
  check(builds.medical == 1 && builds.technical == 0, "a legal adapter builds no other map");

  // Many threads reach the technical guard at once: one builds, the others wait.
  constexpr int kThreads = 8;
  std::atomic<int> ready{0};
  std::vector<Pairs> seen(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      ready.fetch_add(1);
      while (ready.load() < kThreads) {
      }
      seen[static_cast<std::size_t>(i)] = in_order(TechnicalAdapter().terminology());
    });
  }
  for (std::thread& thread : threads) thread.join();
  builds = terminology_builds();
  check(builds.technical == 1, "concurrent first technical adapters build the map once");
  for (const Pairs& pairs : seen) {
    check(pairs.size() == 53 && pairs == seen.front(), "every thread sees the whole map in one order");
  }
  check(in_order(technical_terminology()) == seen.front(), "copies iterate like the shared map");
  if (failures == 0) std::fprintf(stderr, "all build checks passed\n");
  return failures;
}

TEST(TerminologyDeathTest, EachMapBuiltOnFirstConstructionOfItsDomain) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(std::exit(check_first_builds() == 0 ? 0 : 1), ::testing::ExitedWithCode(0),
              "all build checks passed");
}

}  // namespace
}  // namespace morvane
