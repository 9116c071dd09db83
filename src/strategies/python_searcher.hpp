// PythonSearcher: a Searcher whose expansion is a Python object's method.
//
// expand(node, context_domain) calls searcher.expand(ThoughtNode, str) by position,
// holding the interpreter lock for the call (taken when this thread's lock count is
// zero, so it works on a pool worker and on a thread that gave the lock up), and
// turns each item of the returned list into a child of `node` (its `content`, a str,
// and its `score`, a number narrowed to 32 bits; a fresh id, depth + 1, parent the
// node's id). The walk rereads the list's length before each item.
//
//   the call raises PanicException   a notice and the traceback on standard error,
//                                    then InternalFailure with the exception's text
//   the call raises anything else    one line "Error calling Python expand: {type
//                                    qualname}: {str}" written to file descriptor 1;
//                                    the node gets no children
//   not a list / a bad item          InternalFailure
//
// The lock is taken with LockTaken (lib/interpreter_lock.hpp): a pool worker keeps the
// Python thread state that its first call makes, a caller that finds another thread
// in a searcher's Python code waits for it briefly before asking for the lock, and a
// thread that CPython ends in the searcher's code (it finalizes) stays out of Python.
// The Python object is released under the lock, or queued when the last holder lets
// go on a thread without it (DeferredRef).
// Safe to call from several threads at once.
#pragma once

#include "lib/interpreter_lock.hpp"
#include "protocol/multi_path/searcher.hpp"

#include <string_view>
#include <vector>

namespace morvane::py {

class PythonSearcher final : public morvane::Searcher {
 public:
  // Takes over one strong reference to the Python searcher.
  explicit PythonSearcher(DeferredRef searcher) noexcept : searcher_(std::move(searcher)) {}

  std::vector<morvane::ThoughtNode> expand(const morvane::ThoughtNode& node,
                                           std::string_view context_domain) const override;

 private:
  DeferredRef searcher_;
};

}  // namespace morvane::py
