// The JSON form of a MultiPathResult and the texts of ReasoningError.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <string_view>

#include "model/reasoning_result.hpp"
#include "protocol/multi_path/path_generation.hpp"

namespace morvane {
namespace {

bool is_uuid_v4_text(std::string_view text) {
  if (text.size() != 36) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (c != '-') return false;
    } else if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
      return false;
    }
  }
  return text[14] == '4' && std::string_view("89ab").find(text[19]) != std::string_view::npos;
}

// Replaces every step id by <id> after checking that it is a version-4 UUID text.
std::string mask_ids(const std::string& json, std::size_t& count) {
  constexpr std::string_view kKey = "\"id\": \"";
  std::string out;
  count = 0;
  std::size_t last = 0;
  for (std::size_t at = json.find(kKey); at != std::string::npos; at = json.find(kKey, at)) {
    at += kKey.size();
    const std::size_t end = json.find('"', at);
    const std::string_view id = std::string_view(json).substr(at, end - at);
    EXPECT_TRUE(is_uuid_v4_text(id)) << id;
    out.append(json, last, at - last);
    out += "<id>";
    last = end;
    ++count;
  }
  out.append(json, last);
  return out;
}

// A whole result from generated paths, with quotation marks, a backslash, a tab and
// accents in the texts that reach the steps.
TEST(ResultJson, WholeResult) {
  ForensicAnalysis analysis;
  analysis.facts = {"Le patient dit \"j'ai mal\"", "a\tb"};
  analysis.desires = {"Guérir"};
  ReasoningContext context;
  context.domain = "démo";
  context.rules = {{"R-1", "Règle \"stricte\" \\ n°1", "Décrire l'étape", RuleCategory::Validation, 9}};

  MultiPathResult result;
  result.literal_path = generate_path(4, 3, PathType::Literal, analysis, context);
  result.intentional_path = generate_path(4, 3, PathType::Intentional, analysis, context);
  result.procedural_path = generate_path(4, 3, PathType::Procedural, analysis, context);
  result.metadata = {"2026-12-10T10:08:45.123+00:00", 1, 10, PathType::Intentional};

  std::size_t ids = 0;
  const std::string json = mask_ids(result.serialize(), ids);
  EXPECT_EQ(ids, 10u);
  EXPECT_EQ(json, R"json({
  "literal_path": {
    "path_type": "Literal",
    "steps": [
      {
        "id": "<id>",
        "step_number": 1,
        "description": "Analyse littérale des faits: Le patient dit \"j'ai mal\", a\tb",
        "justification": "Interprétation directe des faits observés",
        "applied_rules": [
          "R-1"
        ]
      },
      {
        "id": "<id>",
        "step_number": 2,
        "description": "Application des règles du domaine démo",
        "justification": "Règles applicables: Règle \"stricte\" \\ n°1",
        "applied_rules": [
          "R-1"
        ]
      },
      {
        "id": "<id>",
        "step_number": 3,
        "description": "Conclusion basée sur l'interprétation littérale",
        "justification": "Synthèse des faits et règles appliquées",
        "applied_rules": []
      }
    ],
    "confidence": 0.70000005,
    "conclusion": "Conclusion littérale: Basé sur 2 faits, 3 étapes d'analyse directe"
  },
  "intentional_path": {
    "path_type": "Intentional",
    "steps": [
      {
        "id": "<id>",
        "step_number": 1,
        "description": "Identification de l'intention: Guérir",
        "justification": "Analyse des objectifs sous-jacents",
        "applied_rules": []
      },
      {
        "id": "<id>",
        "step_number": 2,
        "description": "Alignement de l'intention avec les règles prioritaires",
        "justification": "Règles prioritaires: Règle \"stricte\" \\ n°1",
        "applied_rules": [
          "R-1"
        ]
      },
      {
        "id": "<id>",
        "step_number": 3,
        "description": "Raisonnement orienté vers l'objectif final",
        "justification": "Interprétation téléologique (finalité)",
        "applied_rules": []
      },
      {
        "id": "<id>",
        "step_number": 4,
        "description": "Conclusion basée sur l'intention identifiée",
        "justification": "Synthèse orientée objectif",
        "applied_rules": []
      }
    ],
    "confidence": 1.0,
    "conclusion": "Conclusion intentionnelle: Objectif 'Guérir' analysé en 4 étapes"
  },
  "procedural_path": {
    "path_type": "Procedural",
    "steps": [
      {
        "id": "<id>",
        "step_number": 1,
        "description": "Décomposition du problème en sous-problèmes",
        "justification": "Basé sur 2 faits identifiés",
        "applied_rules": []
      },
      {
        "id": "<id>",
        "step_number": 2,
        "description": "Étape 2: Règle \"stricte\" \\ n°1",
        "justification": "Décrire l'étape",
        "applied_rules": [
          "R-1"
        ]
      },
      {
        "id": "<id>",
        "step_number": 3,
        "description": "Synthèse des étapes procédurales",
        "justification": "Conclusion basée sur l'exécution séquentielle",
        "applied_rules": []
      }
    ],
    "confidence": 0.70000005,
    "conclusion": "Conclusion procédurale: 3 étapes séquentielles exécutées"
  },
  "metadata": {
    "generated_at": "2026-12-10T10:08:45.123+00:00",
    "execution_time_ms": 1,
    "total_steps": 10,
    "most_confident_path": "Intentional"
  }
})json");
}

// A hand-made result: empty paths, one step with a known id, the largest integers.
MultiPathResult small_result(float confidence) {
  MultiPathResult result;
  ReasoningStep step;
  for (std::uint8_t i = 0; i < 16; ++i) step.id[i] = static_cast<std::uint8_t>(i * 17);
  step.step_number = UINT64_MAX;
  step.description = "\x01\x1f";
  step.justification = "";
  result.literal_path.steps = {step};
  result.literal_path.confidence = confidence;
  result.literal_path.conclusion = "fin";
  result.intentional_path.path_type = PathType::Intentional;
  result.procedural_path.path_type = PathType::Procedural;
  result.metadata = {"2026-12-10T10:08:45+00:00", UINT64_MAX, 0, PathType::Procedural};
  return result;
}

TEST(ResultJson, EmptyListsIdsAndIntegers) {
  EXPECT_EQ(small_result(0.0f).serialize(), R"json({
  "literal_path": {
    "path_type": "Literal",
    "steps": [
      {
        "id": "00112233-4455-6677-8899-aabbccddeeff",
        "step_number": 18446744073709551615,
        "description": "\u0001\u001f",
        "justification": "",
        "applied_rules": []
      }
    ],
    "confidence": 0.0,
    "conclusion": "fin"
  },
  "intentional_path": {
    "path_type": "Intentional",
    "steps": [],
    "confidence": 0.0,
    "conclusion": ""
  },
  "procedural_path": {
    "path_type": "Procedural",
    "steps": [],
    "confidence": 0.0,
    "conclusion": ""
  },
  "metadata": {
    "generated_at": "2026-12-10T10:08:45+00:00",
    "execution_time_ms": 18446744073709551615,
    "total_steps": 0,
    "most_confident_path": "Procedural"
  }
})json");
}

TEST(ResultJson, Confidence) {
  const std::pair<float, const char*> cases[] = {
      {1.0f, "1.0"},
      {0.3f + 0.4f, "0.70000005"},
      {0.6f, "0.6"},
      {-2.5f, "-2.5"},
      {1e-7f, "1e-7"},
      {std::numeric_limits<float>::quiet_NaN(), "null"},
      {std::numeric_limits<float>::infinity(), "null"},
      {-std::numeric_limits<float>::infinity(), "null"},
  };
  const std::string zero = small_result(0.0f).serialize();
  const std::string zero_member = "\"confidence\": 0.0,\n    \"conclusion\": \"fin\"";
  for (const auto& [value, text] : cases) {
    SCOPED_TRACE(text);
    // Only the one member changes; the rest is written as usual.
    std::string expected = zero;
    expected.replace(expected.find(zero_member), zero_member.size(),
                     std::string("\"confidence\": ") + text + ",\n    \"conclusion\": \"fin\"");
    EXPECT_EQ(small_result(value).serialize(), expected);
  }
}

TEST(ReasoningErrorText, EachVariant) {
  const std::pair<ReasoningError, const char*> cases[] = {
      {ReasoningError::path_generation_failed("Beam search returned no results"),
       "Path generation failed: Beam search returned no results"},
      {ReasoningError::no_facts(), "No facts available for reasoning"},
      {ReasoningError::no_rules(), "No rules available for reasoning"},
      {ReasoningError(ReasoningError::Kind::ParallelExecutionFailed, "a \"b\""),
       "Parallel execution failed: a \"b\""},
      {ReasoningError::path_generation_failed(""), "Path generation failed: "},
  };
  for (const auto& [error, text] : cases) EXPECT_EQ(error.text(), text);
}

}  // namespace
}  // namespace morvane
