// The records of a reasoning result and their JSON form.
//
//   PathType           Literal, Intentional, Procedural
//   ReasoningStep      id, step_number, description, justification, applied_rules
//   ReasoningPath      path_type, steps, confidence, conclusion
//   MultiPathResult    the three paths and a ReasoningMetadata
//   ReasoningError     what a strategy returns instead of a result, with its text form
//
// MultiPathResult::serialize writes the pretty JSON layout (a non-finite confidence as
// null) and cannot fail. The system never reads this JSON back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/core_error.hpp"
#include "support/uuid.hpp"

namespace morvane {

enum class PathType : std::uint8_t { Literal, Intentional, Procedural };

constexpr std::string_view path_type_name(PathType type) {
  constexpr std::string_view kNames[] = {"Literal", "Intentional", "Procedural"};
  return kNames[static_cast<std::size_t>(type)];
}

struct ReasoningStep {
  Uuid id{};
  std::uint64_t step_number = 0;
  std::string description;
  std::string justification;
  std::vector<std::string> applied_rules;

  bool operator==(const ReasoningStep&) const = default;
};

struct ReasoningPath {
  PathType path_type = PathType::Literal;
  std::vector<ReasoningStep> steps;
  float confidence = 0.0f;
  std::string conclusion;

  bool operator==(const ReasoningPath&) const = default;
};

struct ReasoningMetadata {
  std::string generated_at;
  std::uint64_t execution_time_ms = 0;
  std::uint64_t total_steps = 0;
  PathType most_confident_path = PathType::Literal;

  bool operator==(const ReasoningMetadata&) const = default;
};

struct MultiPathResult {
  ReasoningPath literal_path;
  ReasoningPath intentional_path;
  ReasoningPath procedural_path;
  ReasoningMetadata metadata;

  bool operator==(const MultiPathResult&) const = default;

  std::string serialize() const;
};

enum class ReasoningErrorKind : std::uint8_t {
  PathGenerationFailed,
  NoFacts,
  NoRules,
  ParallelExecutionFailed
};

class ReasoningError : public CoreError<ReasoningErrorKind> {
 public:
  using CoreError::CoreError;

  static ReasoningError path_generation_failed(std::string detail) {
    return ReasoningError(Kind::PathGenerationFailed, std::move(detail));
  }
  static ReasoningError no_facts() { return ReasoningError(Kind::NoFacts); }
  static ReasoningError no_rules() { return ReasoningError(Kind::NoRules); }

  // "Path generation failed: {}", "No facts available for reasoning",
  // "No rules available for reasoning", "Parallel execution failed: {}".
  std::string text() const;
};

}  // namespace morvane
