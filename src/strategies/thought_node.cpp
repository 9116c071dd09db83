#include "strategies/thought_node.hpp"

#include "lib/arguments.hpp"
#include "support/uuid.hpp"

#include <utility>

namespace morvane::py {
namespace {

constexpr auto kNew = describe("ThoughtNode", "__new__", {"id", "content", "score", "depth", "parent"}, 4);

constexpr const char* kClassDoc =
    "ThoughtNode(id, content, score, depth, parent=None)\n--\n\nWrapper Python pour ThoughtNode";

PyObject* construct(PyTypeObject*, Args<kNew>& args) {
  ThoughtNodeData data;
  if (!args.get(0, data.id) || !args.get(1, data.content) || !args.get(2, data.score) ||
      !args.get(3, data.depth) || !args.get(4, data.parent)) {
    return nullptr;
  }
  return thought_node_class.create(std::move(data));  // constructor: the interpreter's own MemoryError
}

PyGetSetDef getters[] = {
    member_getter<&ThoughtNodeData::id>("id"),
    member_getter<&ThoughtNodeData::content>("content"),
    member_getter<&ThoughtNodeData::score>("score"),
    member_getter<&ThoughtNodeData::depth>("depth"),
    {},
};

}  // namespace

Class<ThoughtNodeData> thought_node_class({
    .name = "ThoughtNode",
    .doc = kClassDoc,
    .constructor = constructor<kNew, construct>,
    .getset = getters,
});

PyObject* new_thought_node(const morvane::ThoughtNode& node) {
  ThoughtNodeData data{
      .id = uuid_text(node.id),
      .content = node.content,
      .score = node.score,
      .depth = node.depth,
      .parent = node.parent ? std::optional<std::string>(uuid_text(*node.parent)) : std::nullopt,
  };
  return thought_node_class.create(std::move(data));
}

}  // namespace morvane::py
