// The three frames that every adapter fills with its own constant tables.
//
//   validate_frame   runs the checks in order on the text as given; each failing check
//                    adds its issue, the first one sets the score to its value, later
//                    ones add theirs (32-bit arithmetic). Valid when the score is not
//                    below 0.6f; the fixed suggestions only below it; the stored score
//                    is raised to 0 when negative.
//   report_frame     fills a report template: texts as they are, the recommendations
//                    joined with "\n", certainty and quality as 32-bit products with
//                    100 printed as whole numbers (ties to even, "-0", "NaN", "inf").
//   context_frame    the context, unchanged, followed by the block.
//
// Report templates are split into pieces at compile time; a template whose
// placeholders do not fit its fields does not compile.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "domain/domain_adapter.hpp"

namespace morvane {

inline constexpr float kValidThreshold = 0.6f;

// Keyword tests on the bytes of a text: case-sensitive, also inside a longer word.
constexpr bool contains(std::string_view text, std::string_view word) {
  return text.find(word) != std::string_view::npos;
}

struct ValidationCheck {
  bool (*fails)(std::string_view text);
  Severity severity;
  std::string_view message;
  std::string_view suggestion;
  std::string_view rule_id;
  float score;  // the value the first check sets, or what a later check adds
};

struct ValidationTable {
  std::span<const ValidationCheck> checks;
  std::span<const std::string_view> suggestions;  // given when the score is below 0.6f
};

ValidationResult validate_frame(const ValidationTable& table, std::string_view text);

enum class ReportField : std::uint8_t { Conclusion, Justification, Recommendations, Certainty, Quality };

struct ReportTemplate {
  static constexpr std::size_t kFields = 5;

  std::array<std::string_view, kFields + 1> pieces{};  // the text before each field, then the tail
  std::array<ReportField, kFields> fields{};
  std::size_t literal_size = 0;  // bytes of all pieces together
};

// Splits `text` at its placeholders, "{}" for a text field and "{:.0}" for a
// percentage, binding them in order to `fields`, each of the five exactly once.
consteval ReportTemplate make_report_template(std::string_view text,
                                              std::array<ReportField, ReportTemplate::kFields> fields) {
  ReportTemplate t;
  t.fields = fields;
  bool seen[ReportTemplate::kFields] = {};
  std::size_t start = 0;
  for (std::size_t i = 0; i < ReportTemplate::kFields; ++i) {
    const auto field = static_cast<std::size_t>(fields[i]);
    if (seen[field]) throw "a report field is bound twice";
    seen[field] = true;
    const bool percentage = fields[i] == ReportField::Certainty || fields[i] == ReportField::Quality;
    const std::string_view placeholder = percentage ? "{:.0}" : "{}";
    const std::size_t at = text.find('{', start);
    if (at == std::string_view::npos) throw "too few placeholders";
    if (text.substr(at, placeholder.size()) != placeholder) throw "placeholder does not fit its field";
    t.pieces[i] = text.substr(start, at - start);
    start = at + placeholder.size();
  }
  if (text.find('{', start) != std::string_view::npos) throw "too many placeholders";
  t.pieces[ReportTemplate::kFields] = text.substr(start);
  for (std::string_view piece : t.pieces) t.literal_size += piece.size();
  return t;
}

std::string report_frame(const ReportTemplate& report, const Verdict& verdict);

std::string context_frame(std::string_view context, std::string_view block);

// The fixed texts that one adapter fills the three frames with.
struct AdapterTexts {
  ValidationTable validation;
  ReportTemplate report;
  std::string_view context_block;
};

}  // namespace morvane
