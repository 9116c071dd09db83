// DefaultSearcher: the built-in searcher, without state.
//
// Every node gets three children, in this order, with the prefixes "[ANALYSE]",
// "[CRITIQUE]" and "[SYNTHÈSE]": content "{prefix} {node content} (Domain: {domain})",
// a fresh id, score 0.7, the node's depth plus one, and the node as parent. The
// node's own score is ignored. All children score the same, so every selection
// under this searcher is decided by ties.
#pragma once

#include "protocol/multi_path/searcher.hpp"

namespace morvane {

class DefaultSearcher final : public Searcher {
 public:
  std::vector<ThoughtNode> expand(const ThoughtNode& node, std::string_view context_domain) const override;
};

}  // namespace morvane
