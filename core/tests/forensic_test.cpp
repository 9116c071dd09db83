// Forensic deconstruction: domain detection, facts, desires, constraints, indicators,
// confidence and its minimum, the error texts, and use from several threads.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "protocol/forensic/forensic_deconstruction.hpp"
#include "protocol/forensic/keyword_set.hpp"
#include "protocol/forensic/negation.hpp"

namespace morvane {
namespace {

using Strings = std::vector<std::string>;
using Constraints = std::map<std::string, std::string>;

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr const char* kFallback = "Objectif Indéterminé (Analyse approfondie requise)";
constexpr const char* kEmotion = "Émotion forte (Ponctuation excessive)";
constexpr const char* kWorkedExample =
    "Le serveur ne répond pas. Erreur 500!!! Je pense que c'est la base de données.";

std::uint32_t bits(float f) { return std::bit_cast<std::uint32_t>(f); }

Constraints ordered(const TextMap& map) { return Constraints(map.begin(), map.end()); }

ForensicAnalysis analyze_ok(std::string_view input, ForensicConfig config = {}) {
  auto result = ForensicDeconstruction(config).analyze(input);
  if (!result) {
    ADD_FAILURE() << "analysis of \"" << input << "\" failed: " << result.error().text();
    return {};
  }
  return *std::move(result);
}

// ---------------------------------------------------------------------------------
// Whole analyses under the default configuration.

struct AnalysisCase {
  const char* name;
  std::string input;
  Strings facts;
  Strings desires;
  Constraints constraints;
  Strings indicators;
  std::optional<std::string> domain;
  float confidence;
};

TEST(ForensicAnalyze, WholeAnalyses) {
  // clang-format off
  const AnalysisCase cases[] = {
      {"worked example",
       kWorkedExample,
       {"ABSENCE/NÉGATION: Le serveur ne répond pas", "Erreur 500",
        "CONTEXTE: Je pense que c'est la base de données"},
       {kFallback},
       {{"domain", "technical"}},
       {"Hésitation: 'je pense'", kEmotion},
       "technical",
       0.70000005f},
      {"nothing recognised", "Bonjour.", {}, {kFallback}, {}, {}, std::nullopt, 0.5f},
      {"single medical fact",
       "Patient présente fièvre, toux, fatigue depuis 3 jours",
       {"Patient présente fièvre, toux, fatigue depuis 3 jours"},
       {kFallback},
       {{"domain", "medical"}, {"temporal", "explicit"}},
       {},
       "medical",
       0.8f},
      {"four-byte piece skipped despite its keyword",
       "Toux. Le patient a de la fièvre",
       {"Le patient a de la fièvre"},
       {kFallback},
       {{"domain", "medical"}},
       {},
       "medical",
       0.8f},
      {"five-byte piece with one accented letter",
       "Serveur en panne. Logé",
       {"Serveur en panne", "Logé"},
       {kFallback},
       {{"domain", "technical"}},
       {},
       "technical",
       0.90000004f},
      {"no keyword, 31 bytes", "Rien de notable dans ce dossier",
       {"CONTEXTE: Rien de notable dans ce dossier"}, {kFallback}, {}, {}, std::nullopt, 0.7f},
      {"no keyword, 30 bytes", "Rien de notable dans ce dossie", {}, {kFallback}, {}, {},
       std::nullopt, 0.5f},
      {"no keyword, 30 characters in 31 bytes", "Rien de notable dans ce dossié",
       {"CONTEXTE: Rien de notable dans ce dossié"}, {kFallback}, {}, {}, std::nullopt, 0.7f},
      {"keywordless piece never tested for negation", "Il ne se plaint pas de douleur", {},
       {kFallback}, {}, {}, std::nullopt, 0.5f},
      {"negation needs a boundary after aucun",
       "aucune fièvre. aucun symptôme.",
       {"aucune fièvre", "ABSENCE/NÉGATION: aucun symptôme"},
       {"Diagnostic Médical"},
       {{"domain", "medical"}},
       {},
       "medical",
       0.90000004f},
      {"upper case found by detection and facts",
       "FIÈVRE ÉLEVÉE",
       {"FIÈVRE ÉLEVÉE"},
       {kFallback},
       {{"domain", "medical"}},
       {},
       "medical",
       0.8f},
      {"every desire, in rule order, with priority",
       "Je veux un diagnostic et un traitement urgent: le responsable doit CORRIGER le contrat",
       {"Je veux un diagnostic et un traitement urgent: le responsable doit CORRIGER le contrat"},
       {"Intention Explicite détectée", "Diagnostic Médical", "Plan de Traitement",
        "Attribution de Responsabilité", "Remédiation Technique"},
       {{"domain", "medical"}, {"priority", "high"}},
       {},
       "medical",
       0.8f},
      {"separator runs and empty pieces",
       "...Le serveur plante?!Le code casse!?Le log reste vide...",
       {"Le serveur plante", "Le code casse", "Le log reste vide"},
       {kFallback},
       {{"domain", "technical"}},
       {},
       "technical",
       0.90000004f},
      {"lower-casing that lengthens the text keeps the pieces apart",
       "İİİ İİİ. Le serveur tombe en panne. İİİİ",
       {"Le serveur tombe en panne"},
       {kFallback},
       {{"domain", "technical"}},
       {},
       "technical",
       0.8f},
      {"ill-formed bytes pass through",
       "Le serveur \xFF\xFE ne répond pas. \xC3",
       {"ABSENCE/NÉGATION: Le serveur \xFF\xFE ne répond pas"},
       {kFallback},
       {{"domain", "technical"}},
       {},
       "technical",
       0.8f},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ForensicAnalysis a = analyze_ok(c.input);
    EXPECT_EQ(a.facts, c.facts);
    EXPECT_EQ(a.desires, c.desires);
    EXPECT_EQ(ordered(a.constraints), c.constraints);
    EXPECT_EQ(a.unreliable_indicators, c.indicators);
    EXPECT_EQ(a.metadata.detected_domain, c.domain);
    EXPECT_EQ(bits(a.metadata.confidence), bits(c.confidence))
        << a.metadata.confidence << " != " << c.confidence;
    EXPECT_FALSE(a.metadata.timestamp.empty());
  }
}

TEST(ForensicAnalyze, TimestampIsRfc3339Utc) {
  const ForensicAnalysis a = analyze_ok("Bonjour.");
  const std::string& t = a.metadata.timestamp;
  ASSERT_GE(t.size(), 25u);
  EXPECT_EQ(t[4], '-');
  EXPECT_EQ(t[10], 'T');
  EXPECT_EQ(t.substr(t.size() - 6), "+00:00");
}

// ---------------------------------------------------------------------------------
// Facts and negation on one sentence, in a text whose domain is known.

struct FactCase {
  const char* input;
  const char* fact;  // the single fact expected
};

TEST(ForensicAnalyze, NegationMarksFacts) {
  const FactCase cases[] = {
      {"Le patient ne se plaint pas", "Le patient ne se plaint pas"},  // two words between
      {"pas de fièvre chez le patient", "ABSENCE/NÉGATION: pas de fièvre chez le patient"},
      {"Le patient ne re\u0301pond pas", "ABSENCE/NÉGATION: Le patient ne re\u0301pond pas"},
      {"LE PATIENT NE RÉPOND PAS", "ABSENCE/NÉGATION: LE PATIENT NE RÉPOND PAS"},
      {"Aucun patient en vue", "ABSENCE/NÉGATION: Aucun patient en vue"},
      {"Patient jamais vu", "ABSENCE/NÉGATION: Patient jamais vu"},
      {"Ni fièvre ni toux", "ABSENCE/NÉGATION: Ni fièvre ni toux"},
      {"Le patient\u00A0ne\u3000dort\u2028pas", "ABSENCE/NÉGATION: Le patient\u00A0ne\u3000dort\u2028pas"},
      {"PAS\tDE fièvre", "ABSENCE/NÉGATION: PAS\tDE fièvre"},
      {"Patient aucunement fiévreux", "Patient aucunement fiévreux"},
      // An accented letter is a word character on either side of "ni".
      {"Le patient est en déni", "Le patient est en déni"},
      {"Le patient nié", "Le patient nié"},
      {"Patient niveau 2", "Patient niveau 2"},
      // A combining mark belongs to the word before it.
      {"Patient jamais\u0301 vu", "Patient jamais\u0301 vu"},
      // A joiner too; a digit as well.
      {"Patient aucun\u200D", "Patient aucun\u200D"},
      {"Patient ni2", "Patient ni2"},
      // A letter of Unicode 15.0 (U+11F12 KAWI LETTER KA) is a word character too.
      {"Patient ni\U00011F12", "Patient ni\U00011F12"},
      // "pas" must be a word of its own.
      {"Le patient ne dort passablement", "Le patient ne dort passablement"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    const ForensicAnalysis a = analyze_ok(c.input);
    ASSERT_EQ(a.metadata.detected_domain, "medical");
    EXPECT_EQ(a.facts, Strings{c.fact});
  }
}

TEST(ForensicNegation, CaseFoldingAndIllFormedText) {
  struct Case {
    std::string text;
    bool negation;
  };
  const Case cases[] = {
      {"ne dort pa\u017F", true},  // long s folds to s
      {"n\u0130", false},          // dotted capital I is no simple fold of i
      {"ne \xFF pas", false},      // an ill-formed byte is no word
      {"\xFF"
       "aucun\xFF",
       true},  // nor part of one
      {"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(states_negation(c.text), c.negation);
  }
}

TEST(ForensicNegation, LongPiecesAreSearchedToTheEnd) {
  const std::string long_word = "ne " + std::string(1 << 20, 'a') + " pas";
  EXPECT_TRUE(states_negation(long_word));
  const std::string spaces = "ne" + std::string(1 << 20, ' ') + "x" + std::string(1 << 20, ' ') + "pas";
  EXPECT_TRUE(states_negation(spaces));
  std::string many_words;
  for (int i = 0; i < 200000; ++i) many_words += "ne dort ";
  EXPECT_FALSE(states_negation(many_words));
  EXPECT_TRUE(states_negation(many_words + "jamais"));
}

// ---------------------------------------------------------------------------------
// Domain detection.

TEST(ForensicDetectDomain, CountsAndTies) {
  struct Case {
    const char* text;
    std::optional<std::string_view> domain;
  };
  const Case cases[] = {
      {"", std::nullopt},
      {"Bonjour tout le monde", std::nullopt},
      {"le patient et le contrat", "medical"},                        // 1 : 1 : 0
      {"le contrat du serveur", "legal"},                             // 0 : 1 : 1
      {"patient, contrat, loi, serveur, erreur, code", "technical"},  // 1 : 2 : 3
      {"serveur serveur serveur contrat loi", "legal"},               // one point per keyword
      {"emploi", "legal"},                                            // "loi" occurs in "emploi"
      {"FIÈVRE", "medical"},
      {"HOPITAL", "medical"},
      {"hôpital", std::nullopt},
      {"la BASE DE DONNÉES", "technical"},
      {"MÉDICAMENT", "medical"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(detect_domain(c.text), c.domain);
  }
}

// ---------------------------------------------------------------------------------
// Unreliable-narrator indicators.

TEST(ForensicAnalyze, UnreliableIndicators) {
  struct Case {
    const char* input;
    Strings indicators;
  };
  const Case cases[] = {
      {"Bonjour!!", {}},
      {"a! b! c!", {kEmotion}},
      {"je pense que oui, je pense", {"Hésitation: 'je pense'"}},
      {"Le personnel", {"Généralisation abusive: 'personne'"}},
      {"JAMAIS, toujours, PEUT-ÊTRE, je crois, tout le monde, il me semble, probablement!!!",
       {"Hésitation: 'peut-être'", "Hésitation: 'il me semble'", "Hésitation: 'probablement'",
        "Hésitation: 'je crois'", "Généralisation abusive: 'toujours'", "Généralisation abusive: 'jamais'",
        "Généralisation abusive: 'tout le monde'", kEmotion}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    ForensicConfig config;
    config.min_confidence = 0.0f;
    EXPECT_EQ(analyze_ok(c.input, config).unreliable_indicators, c.indicators);
  }
}

// ---------------------------------------------------------------------------------
// Configuration: the two flags, and the minimum confidence.

TEST(ForensicAnalyze, FlagsOff) {
  ForensicConfig no_constraints;
  no_constraints.extract_constraints = false;
  const ForensicAnalysis a = analyze_ok(kWorkedExample, no_constraints);
  EXPECT_TRUE(a.constraints.empty());
  EXPECT_EQ(a.metadata.detected_domain, "technical");
  EXPECT_EQ(a.unreliable_indicators.size(), 2u);
  EXPECT_EQ(bits(a.metadata.confidence), bits(0.7f + 0.1f - 2.0f * 0.1f));

  ForensicConfig no_indicators;
  no_indicators.detect_unreliable_narrator = false;
  const ForensicAnalysis b = analyze_ok(kWorkedExample, no_indicators);
  EXPECT_TRUE(b.unreliable_indicators.empty());
  EXPECT_EQ(ordered(b.constraints), (Constraints{{"domain", "technical"}}));
  EXPECT_EQ(bits(b.metadata.confidence), bits(0.90000004f));
}

constexpr const char* kFiveHesitations = "Je pense. Peut-être. Il me semble. Probablement. Je crois.";

TEST(ForensicAnalyze, ConfidenceNearZero) {
  ForensicConfig config;
  config.min_confidence = 0.0f;
  const ForensicAnalysis five = analyze_ok(kFiveHesitations, config);
  EXPECT_TRUE(five.facts.empty());
  EXPECT_TRUE(five.constraints.empty());
  EXPECT_EQ(five.unreliable_indicators.size(), 5u);
  EXPECT_EQ(bits(five.metadata.confidence), bits(2.2351742e-8f));

  const ForensicAnalysis six = analyze_ok(std::string(kFiveHesitations) + " Toujours.", config);
  EXPECT_EQ(six.unreliable_indicators.size(), 6u);
  EXPECT_EQ(bits(six.metadata.confidence), bits(0.0f));
}

TEST(ForensicAnalyze, MinimumConfidence) {
  struct Case {
    const char* input;
    float minimum;
    const char* error;  // nullptr: succeeds
  };
  const Case cases[] = {
      {"Bonjour.", 0.5f, nullptr},  // equal passes
      {"Bonjour.", 0.6f, "Analysis failed: Confidence 0.50 below minimum 0.60"},
      {"Bonjour.", kNaN, nullptr},
      {"Je pense!!! Toujours, jamais, personne, tout le monde.", kNaN, nullptr},
      {"Bonjour.", 2.0f, "Analysis failed: Confidence 0.50 below minimum 2.00"},
      {"Patient présente fièvre, toux, fatigue depuis 3 jours", 2.0f,
       "Analysis failed: Confidence 0.80 below minimum 2.00"},
      {"Bonjour.", kInf, "Analysis failed: Confidence 0.50 below minimum inf"},
      {"Bonjour.", -kInf, nullptr},
      {"Bonjour.", -1.0f, nullptr},
      {kFiveHesitations, 0.5f, "Analysis failed: Confidence 0.00 below minimum 0.50"},
      // 0.70000005 rounds to 0.70, against a minimum just above it.
      {kWorkedExample, 0.7000001f, "Analysis failed: Confidence 0.70 below minimum 0.70"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.input) + " / " + std::to_string(c.minimum));
    ForensicConfig config;
    config.min_confidence = c.minimum;
    const auto result = ForensicDeconstruction(config).analyze(c.input);
    if (c.error == nullptr) {
      EXPECT_TRUE(result.has_value()) << result.error().text();
    } else {
      ASSERT_FALSE(result.has_value());
      EXPECT_EQ(result.error().kind(), ForensicError::Kind::AnalysisFailed);
      EXPECT_EQ(result.error().text(), c.error);
    }
  }
}

// ---------------------------------------------------------------------------------
// Errors.

TEST(ForensicAnalyze, EmptyInput) {
  for (const char* input : {"", "   ", "\t\n\r\v\f", "\u00A0\u3000\u2028 \u0085"}) {
    SCOPED_TRACE(input);
    const auto result = ForensicDeconstruction().analyze(input);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), ForensicError::empty_input());
    EXPECT_EQ(result.error().text(), "Empty input provided");
  }
  // A zero-width space is no White_Space: the text is analysed.
  EXPECT_TRUE(ForensicDeconstruction().analyze("\u200B").has_value());
}

TEST(ForensicError, Texts) {
  using Kind = ForensicError::Kind;
  EXPECT_EQ(ForensicError(Kind::InvalidInput, "x").text(), "Invalid input: x");
  EXPECT_EQ(ForensicError::analysis_failed("a \"b\"").text(), "Analysis failed: a \"b\"");
  EXPECT_EQ(ForensicError::empty_input().text(), "Empty input provided");
  EXPECT_EQ(ForensicError(Kind::UnreliableNarrator, "").text(), "Unreliable narrator detected: ");
}

// ---------------------------------------------------------------------------------
// The keyword set against a plain search.

TEST(ForensicKeywordSet, AgreesWithPlainSearch) {
  static constexpr KeywordSet<6> set({"ab", "abc", "bca", "cab", "ccc", "a été"});
  const char* texts[] = {"", "a", "ab", "abcab", "xxccc", "cc", "bcab", "a ét", "il a été vu", "ccab"};
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    const std::string_view view(text);
    std::uint64_t expected = 0;
    for (std::size_t i = 0; i < set.words().size(); ++i) {
      if (view.find(set.words()[i]) != std::string_view::npos) expected |= std::uint64_t{1} << i;
    }
    EXPECT_EQ(set.occurring(view), expected);
    EXPECT_EQ(set.any(view), expected != 0);
    EXPECT_EQ(set.occurring(view, 0b10), expected & 0b10);
  }
}

// ---------------------------------------------------------------------------------
// Long texts: the result does not depend on where a run of separators or a long
// character falls in the text, and keywords far from a sentence still choose its
// fact list.

TEST(ForensicAnalyze, LongTextsAtEveryAlignment) {
  const std::string sentence = "Le code plante ! Erreur fatale\u00A0?! ";
  for (std::size_t shift = 0; shift < sentence.size(); ++shift) {
    SCOPED_TRACE(shift);
    std::string text(shift, ' ');
    std::size_t repeats = 0;
    while (text.size() < 300'000) {
      text += sentence;
      ++repeats;
    }
    const ForensicAnalysis a = analyze_ok(text);
    ASSERT_EQ(a.facts.size(), 2 * repeats);
    for (std::size_t i = 0; i < a.facts.size(); i += 2) {
      ASSERT_EQ(a.facts[i], "Le code plante");
      ASSERT_EQ(a.facts[i + 1], "Erreur fatale");
    }
    EXPECT_EQ(a.metadata.detected_domain, "technical");
    EXPECT_EQ(a.unreliable_indicators, Strings{kEmotion});
  }
}

TEST(ForensicAnalyze, DomainFoundLateChoosesTheFactListOfEarlySentences) {
  std::string text = "Une clause abusive. ";
  while (text.size() < 400'000) text += "Rien. ";
  text += "Le contrat et la loi.";
  const ForensicAnalysis a = analyze_ok(text);
  EXPECT_EQ(a.metadata.detected_domain, "legal");
  EXPECT_EQ(a.facts, (Strings{"Une clause abusive", "Le contrat et la loi"}));
  // Without the last sentence no domain is found, and the first one (18 bytes) is
  // neither a general fact nor long enough for context.
  EXPECT_TRUE(analyze_ok(text.substr(0, 400'000)).facts.empty());
}

TEST(ForensicAnalyze, OneLongSentence) {
  std::string text = "Le patient";
  while (text.size() < 500'000) text += " reste calme";
  const ForensicAnalysis plain = analyze_ok(text);
  ASSERT_EQ(plain.facts.size(), 1u);
  EXPECT_EQ(plain.facts[0], text);
  const ForensicAnalysis negated = analyze_ok(text + " ne dort pas");
  ASSERT_EQ(negated.facts.size(), 1u);
  EXPECT_EQ(negated.facts[0], "ABSENCE/NÉGATION: " + text + " ne dort pas");
}

// ---------------------------------------------------------------------------------
// Many threads at once: the lazily compiled expression and per-thread match data.

TEST(ForensicAnalyze, ManyThreadsAgree) {
  const std::string inputs[] = {
      kWorkedExample,
      "aucune fièvre. aucun symptôme.",
      "Le contrat ne prévoit pas de clause. La loi est claire!",
      "Bonjour.",
      "Le patient ne re\u0301pond pas. Il a de la fièvre depuis hier, c'est urgent.",
  };
  std::vector<ForensicAnalysis> expected;
  for (const auto& input : inputs) expected.push_back(analyze_ok(input));

  std::vector<int> mismatches(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      const ForensicDeconstruction analyzer;
      for (int round = 0; round < 200; ++round) {
        const std::size_t k = static_cast<std::size_t>(round + t) % std::size(inputs);
        const auto result = analyzer.analyze(inputs[k]);
        if (!result || result->facts != expected[k].facts ||
            result->unreliable_indicators != expected[k].unreliable_indicators ||
            bits(result->metadata.confidence) != bits(expected[k].metadata.confidence)) {
          ++mismatches[static_cast<std::size_t>(t)];
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace morvane
