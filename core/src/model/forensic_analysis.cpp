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

// Room for the texts and the layout around them, so the text is built in one block.
std::size_t estimated_size(const ForensicAnalysis& a) {
  std::size_t size = 192 + a.metadata.timestamp.size();
  for (const auto* list : {&a.facts, &a.desires, &a.unreliable_indicators}) {
    for (const auto& item : *list) size += item.size() + 8;
  }
  for (const auto& [key, value] : a.constraints) size += key.size() + value.size() + 12;
  return size + size / 8;
}

}  // namespace

std::string ForensicAnalysis::serialize() const {
  std::string out;
  out.reserve(estimated_size(*this));
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
  metadata.serialize(w);
  w.end_object();
  return out;
}

void AnalysisMetadata::serialize(JsonWriter& w) const {
  w.begin_object();
  w.key("timestamp");
  w.string(timestamp);
  w.key("detected_domain");
  if (detected_domain) {
    w.string(*detected_domain);
  } else {
    w.null();
  }
  w.key("confidence");
  w.float32(confidence);
  w.end_object();
}

}  // namespace morvane
