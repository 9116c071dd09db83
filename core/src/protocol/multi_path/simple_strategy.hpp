// SimpleStrategy: the three fixed reasoning paths (literal, intentional, procedural)
// over one analysis and one locked context.
//
// run() refuses an analysis without facts (NoFacts), then a context without rules
// (NoRules); otherwise it always gives a result. With `parallel` the three paths are
// built on the process-wide worker pool, the calling thread taking part (path
// generation never reaches Python); without it they are built on the calling thread,
// in order. execution_time_ms is the whole milliseconds spent building the paths on
// the monotonic clock; generated_at is read after that. Immutable; several threads
// may run one strategy at once.
#pragma once

#include <cstdint>

#include "protocol/multi_path/reasoning_strategy.hpp"

namespace morvane {

class SimpleStrategy final : public ReasoningStrategy {
 public:
  SimpleStrategy(std::uint64_t min_steps, std::uint64_t max_steps, bool parallel)
      : min_steps_(min_steps), max_steps_(max_steps), parallel_(parallel) {}

  std::uint64_t min_steps() const noexcept { return min_steps_; }
  std::uint64_t max_steps() const noexcept { return max_steps_; }
  bool parallel() const noexcept { return parallel_; }

  std::expected<MultiPathResult, ReasoningError> run(const ForensicAnalysis& analysis,
                                                     const ReasoningContext& context) const override;

 private:
  std::uint64_t min_steps_;
  std::uint64_t max_steps_;
  bool parallel_;
};

// The path named most confident: the first of Literal, Intentional, Procedural whose
// confidence equals the greatest of the three, a NaN counting only when all three are
// NaN (then nothing equals it, and the choice is Procedural).
PathType most_confident_path(float literal, float intentional, float procedural);

}  // namespace morvane
