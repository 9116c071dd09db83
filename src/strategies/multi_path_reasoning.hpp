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
// The class has no constructor. It takes part in the cycle collector: a searcher may
// hold the object that holds it.
#pragma once

#include "lib/binding_class.hpp"
#include "protocol/multi_path/reasoning_strategy.hpp"

namespace morvane::py {

struct Reasoning {
  morvane::SharedStrategy strategy;  // empty only once the cycle collector cleared it
  PyObject* searcher = nullptr;      // a beam search's Python searcher, borrowed: its
                                     // PythonSearcher inside the strategy owns it
};

extern Class<Reasoning> multi_path_reasoning_class;

}  // namespace morvane::py
