// generate_path: one reasoning path of a given kind over an analysis and a locked
// context.
//
//   Literal       reads the facts and applies the first domain rules (3 steps, 2 without
//                 rules)
//   Intentional   starts from the desires and aligns them with the rules of priority
//                 above 7 (4 steps, 3 without rules)
//   Procedural    one step per rule, at most max_steps - 2 of them (wrapping: max_steps
//                 0 or 1 means no bound), between an opening and a closing step
//
// Every step gets a new random UUID. The confidence, in float32: 0.3 when the path has
// at least min_steps steps, + 0.4 when some step applies a rule, + 0.3 when the
// context's domain is not empty, capped at 1.0. Reads only the analysis's facts and
// desires and the context's domain and rules; cannot fail; safe to call from several
// threads on the same arguments.
#pragma once

#include <cstdint>

#include "model/forensic_analysis.hpp"
#include "model/reasoning_result.hpp"
#include "rules/reasoning_context.hpp"

namespace morvane {

ReasoningPath generate_path(std::uint64_t min_steps, std::uint64_t max_steps, PathType type,
                            const ForensicAnalysis& analysis, const ReasoningContext& context);

}  // namespace morvane
