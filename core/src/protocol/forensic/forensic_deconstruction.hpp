// Forensic deconstruction: a French problem text into a ForensicAnalysis.
//
// analyze() takes any UTF-8 text. It refuses a text that is empty once trimmed
// (EmptyInput) and an analysis whose confidence falls below the configured minimum
// (AnalysisFailed); everything else succeeds. detect_domain() gives "medical",
// "legal", "technical" or nothing, by keyword counts on the lower-cased text.
// Safe to call from many threads at once; keeps nothing between calls.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "model/forensic_analysis.hpp"
#include "support/core_error.hpp"

namespace morvane {

enum class ForensicErrorKind : std::uint8_t { InvalidInput, AnalysisFailed, EmptyInput, UnreliableNarrator };

class ForensicError : public CoreError<ForensicErrorKind> {
 public:
  using CoreError::CoreError;

  static ForensicError analysis_failed(std::string detail) {
    return ForensicError(Kind::AnalysisFailed, std::move(detail));
  }
  static ForensicError empty_input() { return ForensicError(Kind::EmptyInput); }

  // "Invalid input: {}", "Analysis failed: {}", "Empty input provided",
  // "Unreliable narrator detected: {}".
  std::string text() const;
};

// "medical", "legal", "technical" (views of static text), or nothing when no keyword
// of any domain occurs.
std::optional<std::string_view> detect_domain(std::string_view text);

class ForensicDeconstruction {
 public:
  ForensicDeconstruction() = default;
  explicit ForensicDeconstruction(ForensicConfig config) : config_(config) {}

  const ForensicConfig& config() const noexcept { return config_; }

  std::expected<ForensicAnalysis, ForensicError> analyze(std::string_view input) const;

 private:
  ForensicConfig config_;
};

}  // namespace morvane
