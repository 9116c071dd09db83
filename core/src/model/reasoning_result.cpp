#include "model/reasoning_result.hpp"

#include "model/json_writer.hpp"

namespace morvane {
namespace {

// `id_text` is a scratch buffer reused for every step's 36-character id.
void write_step(JsonWriter& w, std::string& id_text, const ReasoningStep& step) {
  w.begin_object();
  w.key("id");
  id_text.clear();
  append_uuid(id_text, step.id);
  w.string(id_text);
  w.key("step_number");
  w.uint64(step.step_number);
  w.key("description");
  w.string(step.description);
  w.key("justification");
  w.string(step.justification);
  w.key("applied_rules");
  w.begin_array();
  for (const auto& rule : step.applied_rules) w.string(rule);
  w.end_array();
  w.end_object();
}

void write_path(JsonWriter& w, std::string& id_text, std::string_view name, const ReasoningPath& path) {
  w.key(name);
  w.begin_object();
  w.key("path_type");
  w.string(path_type_name(path.path_type));
  w.key("steps");
  w.begin_array();
  for (const auto& step : path.steps) write_step(w, id_text, step);
  w.end_array();
  w.key("confidence");
  w.float32(path.confidence);  // null when not finite
  w.key("conclusion");
  w.string(path.conclusion);
  w.end_object();
}

// A rough size of the text, so that it is allocated once.
std::size_t estimated_size(const MultiPathResult& result) {
  std::size_t size = 512;
  for (const ReasoningPath* path :
       {&result.literal_path, &result.intentional_path, &result.procedural_path}) {
    size += 128 + path->conclusion.size();
    for (const auto& step : path->steps) {
      size += 200 + step.description.size() + step.justification.size();
      for (const auto& rule : step.applied_rules) size += 12 + rule.size();
    }
  }
  return size;
}

}  // namespace

std::string MultiPathResult::serialize() const {
  std::string out;
  out.reserve(estimated_size(*this));
  std::string id_text;
  id_text.reserve(36);
  JsonWriter w(out);
  w.begin_object();
  write_path(w, id_text, "literal_path", literal_path);
  write_path(w, id_text, "intentional_path", intentional_path);
  write_path(w, id_text, "procedural_path", procedural_path);
  w.key("metadata");
  w.begin_object();
  w.key("generated_at");
  w.string(metadata.generated_at);
  w.key("execution_time_ms");
  w.uint64(metadata.execution_time_ms);
  w.key("total_steps");
  w.uint64(metadata.total_steps);
  w.key("most_confident_path");
  w.string(path_type_name(metadata.most_confident_path));
  w.end_object();
  w.end_object();
  return out;
}

std::string ReasoningError::text() const {
  switch (kind()) {
    case Kind::PathGenerationFailed: return "Path generation failed: " + detail();
    case Kind::NoFacts: return "No facts available for reasoning";
    case Kind::NoRules: return "No rules available for reasoning";
    case Kind::ParallelExecutionFailed: return "Parallel execution failed: " + detail();
  }
  return {};
}

}  // namespace morvane
