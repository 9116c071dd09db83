// ThoughtNode: one node of a beam search.
//
// A plain value: an id drawn when the node is made, the thought it holds, the score
// its maker gave it (any float, NaN and infinities included; higher is better), its
// depth (0 for the root) and the id of the node it was expanded from (none for the
// root). The search reads content, score and id; depth and parent are carried for
// the searchers.
//
//   new_child(parent_id, content, score, depth)   a node with a fresh random id and
//                                                 the given fields, unchanged
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "support/uuid.hpp"

namespace morvane {

struct ThoughtNode {
  Uuid id{};
  std::string content;
  float score = 0.0f;
  std::uint64_t depth = 0;
  std::optional<Uuid> parent;

  // The caller computes the depth (the expanded node's depth plus one).
  static ThoughtNode new_child(const Uuid& parent_id, std::string content, float score, std::uint64_t depth);
};

}  // namespace morvane
