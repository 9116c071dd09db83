// Searcher: expands a beam-search node into its children.
//
// expand(node, context_domain) gives the node's children in the searcher's own
// order, possibly none; there is no error result, a searcher deals with its own
// failures. An InternalFailure thrown from expand ends the whole search and reaches
// the caller of the strategy's run, whichever thread it was thrown on.
//
// A searcher is shared (SharedSearcher) and must allow several threads to call
// expand at the same time: the beam search expands the nodes of one beam in
// parallel on the worker pool, and it must not need anything that the thread waiting
// for the search holds.
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "protocol/multi_path/thought_node.hpp"

namespace morvane {

class Searcher {
 public:
  virtual ~Searcher() = default;

  virtual std::vector<ThoughtNode> expand(const ThoughtNode& node, std::string_view context_domain) const = 0;
};

using SharedSearcher = std::shared_ptr<const Searcher>;

}  // namespace morvane
