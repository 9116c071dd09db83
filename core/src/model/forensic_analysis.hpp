// The records of one forensic analysis and their JSON form.
//
//   ForensicConfig     the settings of one analysis (no JSON form)
//   AnalysisMetadata   timestamp, detected domain (optional), confidence
//   ForensicAnalysis   facts, desires, constraints, unreliable indicators, metadata
//
// serialize() writes the analysis in the system's pretty JSON layout and cannot
// fail. deserialize() reads any text: it gives back a complete record or a JsonError
// whose message ends with the line and column where reading stopped. The metadata's
// own serialize() and deserialize() write and read the value of the member
// `metadata` inside those two.
#pragma once

#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/json_error.hpp"
#include "support/seeded_map.hpp"

namespace morvane {

class JsonReader;
class JsonWriter;
struct JsonFailure;

struct ForensicConfig {
  float min_confidence = 0.5f;
  bool detect_unreliable_narrator = true;
  bool extract_constraints = true;
};

struct AnalysisMetadata {
  std::string timestamp;
  std::optional<std::string> detected_domain;
  float confidence = 0.0f;

  bool operator==(const AnalysisMetadata&) const = default;

  // The metadata object, as the value that follows the key `metadata`.
  void serialize(JsonWriter& w) const;
  // The value that stands next, in object or array form.
  static std::expected<AnalysisMetadata, JsonFailure> deserialize(JsonReader& r);
};

struct ForensicAnalysis {
  std::vector<std::string> facts;
  std::vector<std::string> desires;
  TextMap constraints = new_text_map();
  std::vector<std::string> unreliable_indicators;
  AnalysisMetadata metadata;

  bool operator==(const ForensicAnalysis&) const = default;

  std::string serialize() const;
  static std::expected<ForensicAnalysis, JsonError> deserialize(std::string_view text);
};

}  // namespace morvane
