// The Python class MultiPathReasoning: a shared reasoning strategy and its run.
//
//   MultiPathReasoning.simple()                              the simple strategy
//   MultiPathReasoning.beam_search(beam_width, max_depth, searcher)
//                                   a beam search over a PythonSearcher; any counts,
//                                   any searcher object (nothing is checked here)
//   generate(analysis_json, context_domain) -> str
//       reads the analysis (ValueError: the reader's text alone), locks the domain
//       (PanicException ending with the lock error's text form), runs the strategy
//       with the interpreter lock given up (this thread's lock count reads zero
//       meanwhile) and returns the result's JSON; a ReasoningError is RuntimeError
//       with its text form.
// The class has no constructor.
#pragma once

#include "lib/binding_class.hpp"
#include "protocol/multi_path/reasoning_strategy.hpp"

namespace morvane::py {

extern Class<morvane::SharedStrategy> multi_path_reasoning_class;

}  // namespace morvane::py
