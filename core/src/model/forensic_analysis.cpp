#include "model/forensic_analysis.hpp"

#include "model/json_writer.hpp"

namespace morvane {
namespace {

void write_list(JsonWriter& w, std::string_view name, const std::vector<std::string>& items) {
  w.key(name);
  w.begin_array();
  for (const auto& item : items) w.string(item);
  w.end_array();
}

}  // namespace

std::string ForensicAnalysis::serialize() const {
  std::string out;
  out.reserve(256);
  JsonWriter w(out);
  w.begin_object();
  write_list(w, "facts", facts);
  write_list(w, "desires", desires);
  w.key("constraints");
  w.begin_object();
  for (const auto& [key, value] : constraints) {
    w.key(key);
    w.string(value);
  }
  w.end_object();
  write_list(w, "unreliable_indicators", unreliable_indicators);
  w.key("metadata");
  w.begin_object();
  w.key("timestamp");
  w.string(metadata.timestamp);
  w.key("detected_domain");
  if (metadata.detected_domain) {
    w.string(*metadata.detected_domain);
  } else {
    w.null();
  }
  w.key("confidence");
  w.float32(metadata.confidence);
  w.end_object();
  w.end_object();
  return out;
}

}  // namespace morvane
