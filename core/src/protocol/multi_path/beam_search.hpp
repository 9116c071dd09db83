// BeamSearchStrategy: a ReasoningStrategy driven by a Searcher.
//
// run() joins the analysis's facts with single spaces into the root's content
// (NoFacts when that text is empty), searches, and turns the first node of the final
// beam into one Procedural step "Beam Search Result" whose justification is the
// node's content; that path (confidence: the node's score, unclamped) fills all three
// places of the result. total_steps is the size of the final beam, execution_time_ms
// 0, most_confident_path Procedural. An empty final beam (only with beam_width 0)
// gives PathGenerationFailed("Beam search returned no results"). Only the context's
// domain is read: a context without rules is no refusal. A strategy made without a
// searcher throws InternalFailure when run.
//
// run_beam_search() runs at most max_depth iterations: expand every node of the beam
// (a beam of two or more nodes on the worker pool's threads while the calling thread
// waits, one node on the calling thread), stop when nothing new comes, keep the
// beam_width best candidates (the bounded selection below, on the pool for two or
// more candidates) and sort them by score, highest first, stably, on the calling
// thread. NaN scores sort after every other score, infinities included, so the best
// node is a NaN one only when the whole beam is NaN. The result is the last beam,
// never an older one.
//
// The bounded selection folds the candidates into SelectionHeaps with push_bounded,
// piece by piece (the pool halves the list into contiguous pieces), and combines the
// pieces' heaps with merge_top_k, the earlier piece on the left. Heaps reserve room
// for beam_width nodes, but never more than the candidates they can receive, so any
// beam_width runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "protocol/multi_path/reasoning_strategy.hpp"
#include "protocol/multi_path/searcher.hpp"
#include "protocol/multi_path/thought_node.hpp"

namespace morvane {

class BeamSearchStrategy final : public ReasoningStrategy {
 public:
  BeamSearchStrategy(SharedSearcher searcher, std::uint64_t beam_width, std::uint64_t max_depth)
      : searcher_(std::move(searcher)), beam_width_(beam_width), max_depth_(max_depth) {}

  const SharedSearcher& searcher() const noexcept { return searcher_; }
  std::uint64_t beam_width() const noexcept { return beam_width_; }
  std::uint64_t max_depth() const noexcept { return max_depth_; }

  std::expected<MultiPathResult, ReasoningError> run(const ForensicAnalysis& analysis,
                                                     const ReasoningContext& context) const override;

 private:
  SharedSearcher searcher_;
  std::uint64_t beam_width_;
  std::uint64_t max_depth_;
};

// The final beam of a search from `root`, best first; possibly empty.
std::vector<ThoughtNode> run_beam_search(ThoughtNode root, const Searcher& searcher,
                                         const ReasoningContext& context, std::uint64_t beam_width,
                                         std::uint64_t max_depth);

// The selection order: a is worse than b when its score is lower; when neither
// score is lower (equal, or a NaN on either side), when its id is greater as an
// unsigned 128-bit big-endian number.
bool is_worse(const ThoughtNode& a, const ThoughtNode& b) noexcept;

// An array heap with a worst node on top (position 0; children of i at 2i+1, 2i+2).
// push sifts the new node up while it is worse than its parent. pop takes the last
// node, puts it on top in place of the result, sinks it to the bottom along the
// worse child (the right one unless the left is worse) and lets it rise again.
class SelectionHeap {
 public:
  SelectionHeap() = default;
  explicit SelectionHeap(std::size_t room) { nodes_.reserve(room); }

  std::size_t size() const noexcept { return nodes_.size(); }
  bool empty() const noexcept { return nodes_.empty(); }
  std::size_t capacity() const noexcept { return nodes_.capacity(); }
  void reserve(std::size_t room) { nodes_.reserve(room); }

  const ThoughtNode& top() const;  // InternalFailure when empty
  void push(ThoughtNode node);
  ThoughtNode pop();  // InternalFailure when empty

  // The array, in heap order.
  const std::vector<ThoughtNode>& nodes() const noexcept { return nodes_; }
  std::vector<ThoughtNode> take() && noexcept { return std::move(nodes_); }

 private:
  void sift_up(std::size_t start, std::size_t pos);
  void sink_to_bottom(std::size_t pos);

  std::vector<ThoughtNode> nodes_;
};

// Folds one candidate into `heap`: a copy is pushed while the heap holds fewer than
// beam_width nodes; a full, non-empty heap swaps its top for a copy only when the
// candidate's score is strictly greater than the top's (never with a NaN).
void push_bounded(SelectionHeap& heap, const ThoughtNode& node, std::uint64_t beam_width);

// Moves the nodes of `right`, in array order, into `left` by the rule of
// push_bounded and returns `left`: nodes already in `left` win every tie.
SelectionHeap merge_top_k(SelectionHeap left, SelectionHeap right, std::uint64_t beam_width);

}  // namespace morvane
