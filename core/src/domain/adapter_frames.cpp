#include "domain/adapter_frames.hpp"

#include <algorithm>

#include "support/float_text.hpp"

namespace morvane {

ValidationResult validate_frame(const ValidationTable& table, std::string_view text) {
  ValidationResult result;
  float score = 1.0f;
  bool first = true;
  for (const ValidationCheck& check : table.checks) {
    const bool fails = check.fails(text);
    if (fails) {
      result.issues.push_back(ValidationIssue{check.severity, std::string(check.message),
                                              std::string(check.suggestion), std::string(check.rule_id)});
      score = first ? check.score : score + check.score;
    }
    first = false;
  }
  if (score < kValidThreshold) {
    result.suggestions.assign(table.suggestions.begin(), table.suggestions.end());
  }
  result.valid = !(score < kValidThreshold);
  result.score = std::max(score, 0.0f);
  return result;
}

namespace {

// Percentages are 32-bit products: 0.245f * 100.0f is exactly 24.5f, printed "24".
void append_percentage(std::string& out, float value) { append_fixed(out, value * 100.0f, 0); }

}  // namespace

std::string report_frame(const ReportTemplate& report, const Verdict& verdict) {
  std::size_t size = report.literal_size + verdict.conclusion.size() + verdict.justification.size() + 2 * 8;
  for (const std::string& item : verdict.recommendations) size += item.size() + 1;

  std::string out;
  out.reserve(size);
  for (std::size_t i = 0; i < ReportTemplate::kFields; ++i) {
    out += report.pieces[i];
    switch (report.fields[i]) {
      case ReportField::Conclusion: out += verdict.conclusion; break;
      case ReportField::Justification: out += verdict.justification; break;
      case ReportField::Recommendations:
        for (std::size_t k = 0; k < verdict.recommendations.size(); ++k) {
          if (k != 0) out += '\n';
          out += verdict.recommendations[k];
        }
        break;
      case ReportField::Certainty: append_percentage(out, verdict.certainty); break;
      case ReportField::Quality: append_percentage(out, verdict.quality); break;
    }
  }
  out += report.pieces[ReportTemplate::kFields];
  return out;
}

std::string context_frame(std::string_view context, std::string_view block) {
  std::string out;
  out.reserve(context.size() + block.size());
  out += context;
  out += block;
  return out;
}

}  // namespace morvane
