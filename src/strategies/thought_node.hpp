// The Python class ThoughtNode: a beam-search node as Python sees it.
//
//   ThoughtNode(id, content, score, depth, parent=None)
//       id, content, parent: str; score: a float narrowed to 32 bits; depth: an
//       unsigned 64-bit count (the index protocol: a float is refused, a negative or
//       too large value is the interpreter's OverflowError)
//   id, content, score, depth    read-only attributes, in this order; parent is
//                                stored but has no attribute
//
// new_thought_node(node) makes the Python form of a core node for a searcher: ids as
// 36-character text, parent None for the root. nullptr with the Python error set when
// the object cannot be made.
#pragma once

#include "lib/binding_class.hpp"
#include "protocol/multi_path/thought_node.hpp"

#include <cstdint>
#include <optional>
#include <string>

namespace morvane::py {

struct ThoughtNodeData {
  std::string id;
  std::string content;
  float score = 0.0f;
  std::uint64_t depth = 0;
  std::optional<std::string> parent;
};

extern Class<ThoughtNodeData> thought_node_class;

PyObject* new_thought_node(const morvane::ThoughtNode& node);

}  // namespace morvane::py
