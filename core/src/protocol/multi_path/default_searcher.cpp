#include "protocol/multi_path/default_searcher.hpp"

#include <array>
#include <string>

namespace morvane {
namespace {

constexpr std::array<std::string_view, 3> kPrefixes = {"[ANALYSE]", "[CRITIQUE]", "[SYNTHÈSE]"};
constexpr std::string_view kDomainOpen = " (Domain: ";
constexpr float kChildScore = 0.7f;

}  // namespace

std::vector<ThoughtNode> DefaultSearcher::expand(const ThoughtNode& node,
                                                 std::string_view context_domain) const {
  std::vector<ThoughtNode> children;
  children.reserve(kPrefixes.size());
  for (std::string_view prefix : kPrefixes) {
    std::string content;
    content.reserve(prefix.size() + 1 + node.content.size() + kDomainOpen.size() + context_domain.size() + 1);
    content.append(prefix).append(1, ' ').append(node.content);
    content.append(kDomainOpen).append(context_domain).append(1, ')');
    children.push_back(ThoughtNode::new_child(node.id, std::move(content), kChildScore, node.depth + 1));
  }
  return children;
}

}  // namespace morvane
