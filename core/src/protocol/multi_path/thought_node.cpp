#include "protocol/multi_path/thought_node.hpp"

#include <utility>

namespace morvane {

ThoughtNode ThoughtNode::new_child(const Uuid& parent_id, std::string content, float score,
                                   std::uint64_t depth) {
  return ThoughtNode{new_uuid_v4(), std::move(content), score, depth, parent_id};
}

}  // namespace morvane
