#include "protocol/multi_path/simple_strategy.hpp"

#include <array>
#include <chrono>
#include <cmath>

#include "protocol/multi_path/path_generation.hpp"
#include "support/pool.hpp"
#include "support/timestamp.hpp"

namespace morvane {

PathType most_confident_path(float literal, float intentional, float procedural) {
  // std::fmax lets a NaN give way to the other value.
  const float best = std::fmax(std::fmax(procedural, intentional), literal);
  if (literal == best) return PathType::Literal;
  if (intentional == best) return PathType::Intentional;
  return PathType::Procedural;
}

std::expected<MultiPathResult, ReasoningError> SimpleStrategy::run(const ForensicAnalysis& analysis,
                                                                   const ReasoningContext& context) const {
  if (analysis.facts.empty()) return std::unexpected(ReasoningError::no_facts());
  if (context.rules.empty()) return std::unexpected(ReasoningError::no_rules());

  constexpr std::array kTypes{PathType::Literal, PathType::Intentional, PathType::Procedural};
  std::array<ReasoningPath, 3> paths;
  auto build = [&](std::size_t i) {
    paths[i] = generate_path(min_steps_, max_steps_, kTypes[i], analysis, context);
  };

  const auto start = std::chrono::steady_clock::now();
  if (parallel_) {
    // The paths never call into Python, so the calling thread takes part: it builds the
    // procedural path, the longest, while the other two are offered to the workers.
    // Each path has its own slot, so the order of the result never depends on who
    // finishes first.
    pool::execute([&] {
      pool::join([&] { build(2); }, [&] { pool::join([&] { build(0); }, [&] { build(1); }); });
    });
  } else {
    for (std::size_t i = 0; i < kTypes.size(); ++i) build(i);
  }
  const auto end = std::chrono::steady_clock::now();

  const auto elapsed = end > start ? end - start : std::chrono::steady_clock::duration::zero();
  MultiPathResult result;
  result.metadata.execution_time_ms =
      static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
  result.metadata.most_confident_path =
      most_confident_path(paths[0].confidence, paths[1].confidence, paths[2].confidence);
  result.metadata.total_steps = paths[0].steps.size() + paths[1].steps.size() + paths[2].steps.size();
  result.metadata.generated_at = rfc3339_now();
  result.literal_path = std::move(paths[0]);
  result.intentional_path = std::move(paths[1]);
  result.procedural_path = std::move(paths[2]);
  return result;
}

}  // namespace morvane
