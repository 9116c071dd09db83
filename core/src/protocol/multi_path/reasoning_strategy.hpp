// ReasoningStrategy: turns an analysis and a locked context into a MultiPathResult.
//
// A strategy is immutable once made, held through std::shared_ptr, and may be run by
// several threads at once. run() returns a ReasoningError for the expected refusals;
// an InternalFailure (from a searcher, on any thread) propagates as an exception.
#pragma once

#include <expected>
#include <memory>

#include "model/forensic_analysis.hpp"
#include "model/reasoning_result.hpp"
#include "rules/reasoning_context.hpp"

namespace morvane {

class ReasoningStrategy {
 public:
  virtual ~ReasoningStrategy() = default;

  virtual std::expected<MultiPathResult, ReasoningError> run(const ForensicAnalysis& analysis,
                                                             const ReasoningContext& context) const = 0;
};

using SharedStrategy = std::shared_ptr<const ReasoningStrategy>;

}  // namespace morvane
