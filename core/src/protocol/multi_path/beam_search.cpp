#include "protocol/multi_path/beam_search.hpp"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <span>
#include <string>
#include <string_view>

#include "support/internal_failure.hpp"
#include "support/pool.hpp"
#include "support/timestamp.hpp"

namespace morvane {
namespace {

constexpr float kRootScore = 0.5f;
constexpr std::string_view kStepDescription = "Beam Search Result";
constexpr std::string_view kConclusion = "Conclusion derived from Beam Search";
constexpr std::string_view kNoResults = "Beam search returned no results";

// Room for a heap that can receive at most `candidates` nodes.
std::size_t room_for(std::uint64_t beam_width, std::size_t candidates) {
  return beam_width < candidates ? static_cast<std::size_t>(beam_width) : candidates;
}

// The admission rule shared by push_bounded (copies) and merge_top_k (moves).
template <class Node>
void admit(SelectionHeap& heap, Node&& node, std::uint64_t beam_width) {
  if (heap.size() < beam_width) {
    heap.push(std::forward<Node>(node));
  } else if (!heap.empty() && node.score > heap.top().score) {
    heap.pop();
    heap.push(std::forward<Node>(node));
  }
}

// --- expansion -------------------------------------------------------------------

std::vector<ThoughtNode> join_lists(std::vector<std::vector<ThoughtNode>>& lists) {
  std::size_t total = 0;
  for (const auto& list : lists) total += list.size();
  std::vector<ThoughtNode> joined;
  joined.reserve(total);
  for (auto& list : lists) {
    std::move(list.begin(), list.end(), std::back_inserter(joined));
  }
  return joined;
}

// The children of every node of the beam, joined in beam order. One node is
// expanded right here; two or more go to the pool's workers, one task per node so
// that slow expansions overlap, while this thread only waits.
std::vector<ThoughtNode> expand_beam(const std::vector<ThoughtNode>& beam, const Searcher& searcher,
                                     std::string_view domain) {
  if (beam.size() == 1) return searcher.expand(beam.front(), domain);
  std::vector<std::vector<ThoughtNode>> lists(beam.size());
  pool::run_on_workers([&] {
    pool::parallel_for(0, beam.size(), [&](std::size_t i) { lists[i] = searcher.expand(beam[i], domain); });
  });
  return join_lists(lists);
}

// --- bounded selection -----------------------------------------------------------

// One piece: fold its candidates into a fresh heap, then merge that heap into an
// empty one.
SelectionHeap select_piece(std::span<const ThoughtNode> piece, std::uint64_t beam_width) {
  SelectionHeap heap(room_for(beam_width, piece.size()));
  for (const ThoughtNode& node : piece) push_bounded(heap, node, beam_width);
  SelectionHeap fresh(heap.size());
  return merge_top_k(std::move(fresh), std::move(heap), beam_width);
}

// Body of the reduce: the pool halves the range into pieces, each body selects from
// one piece, and the tree joins the earlier half's heap (left) with the later
// half's (right).
class SelectionBody {
 public:
  SelectionBody(std::span<const ThoughtNode> candidates, std::uint64_t beam_width)
      : candidates_(candidates), beam_width_(beam_width) {}
  SelectionBody(SelectionBody& other, pool::Split)
      : candidates_(other.candidates_), beam_width_(other.beam_width_) {}

  void operator()(const pool::Range& range) {
    SelectionHeap piece = select_piece(candidates_.subspan(range.begin, range.size()), beam_width_);
    heap_ = heap_.empty() ? std::move(piece) : merge_top_k(std::move(heap_), std::move(piece), beam_width_);
  }
  void join(SelectionBody& right) {
    heap_ = merge_top_k(std::move(heap_), std::move(right.heap_), beam_width_);
  }

  SelectionHeap& heap() noexcept { return heap_; }

 private:
  std::span<const ThoughtNode> candidates_;
  std::uint64_t beam_width_;
  SelectionHeap heap_;
};

// The array of the final heap. A single candidate is handled right here; more go
// to the pool's workers, split into about two pieces per worker (two pieces on the
// calling thread when the pool has no worker).
std::vector<ThoughtNode> select_candidates(const std::vector<ThoughtNode>& candidates,
                                           std::uint64_t beam_width) {
  if (candidates.size() == 1) return select_piece(candidates, beam_width).take();
  const std::size_t pieces = 2 * std::max<std::size_t>(1, pool::threads());
  const std::size_t grain = std::max<std::size_t>(1, (candidates.size() + pieces - 1) / pieces);
  SelectionBody body(candidates, beam_width);
  pool::run_on_workers([&] { pool::parallel_reduce(0, candidates.size(), grain, body); });
  return std::move(body.heap()).take();
}

// --- sort --------------------------------------------------------------------------

// Highest score first; NaN after everything else (NaNs equal among themselves), so
// that the order is total and the stable sort well defined.
bool sorts_before(const ThoughtNode& a, const ThoughtNode& b) noexcept {
  if (std::isnan(a.score)) return false;
  if (std::isnan(b.score)) return true;
  return a.score > b.score;
}

}  // namespace

// --- the heap ----------------------------------------------------------------------

bool is_worse(const ThoughtNode& a, const ThoughtNode& b) noexcept {
  if (a.score < b.score) return true;
  if (a.score > b.score) return false;
  return a.id > b.id;  // bytes compared unsigned from the first: a big-endian number
}

const ThoughtNode& SelectionHeap::top() const {
  if (nodes_.empty()) throw InternalFailure("top of an empty selection heap");
  return nodes_.front();
}

void SelectionHeap::push(ThoughtNode node) {
  nodes_.push_back(std::move(node));
  sift_up(0, nodes_.size() - 1);
}

ThoughtNode SelectionHeap::pop() {
  if (nodes_.empty()) throw InternalFailure("pop of an empty selection heap");
  ThoughtNode result = std::move(nodes_.back());
  nodes_.pop_back();
  if (nodes_.empty()) return result;
  std::swap(result, nodes_.front());
  sink_to_bottom(0);
  return result;
}

void SelectionHeap::sift_up(std::size_t start, std::size_t pos) {
  ThoughtNode hole = std::move(nodes_[pos]);
  while (pos > start) {
    const std::size_t parent = (pos - 1) / 2;
    if (!is_worse(hole, nodes_[parent])) break;
    nodes_[pos] = std::move(nodes_[parent]);
    pos = parent;
  }
  nodes_[pos] = std::move(hole);
}

void SelectionHeap::sink_to_bottom(std::size_t pos) {
  const std::size_t end = nodes_.size();
  const std::size_t start = pos;
  ThoughtNode hole = std::move(nodes_[pos]);
  std::size_t child = 2 * pos + 1;
  while (child + 1 < end) {  // two children: the right one unless the left is worse
    if (!is_worse(nodes_[child], nodes_[child + 1])) ++child;
    nodes_[pos] = std::move(nodes_[child]);
    pos = child;
    child = 2 * pos + 1;
  }
  if (child + 1 == end) {  // a lone left child
    nodes_[pos] = std::move(nodes_[child]);
    pos = child;
  }
  nodes_[pos] = std::move(hole);
  sift_up(start, pos);
}

void push_bounded(SelectionHeap& heap, const ThoughtNode& node, std::uint64_t beam_width) {
  admit(heap, node, beam_width);
}

SelectionHeap merge_top_k(SelectionHeap left, SelectionHeap right, std::uint64_t beam_width) {
  left.reserve(room_for(beam_width, left.size() + right.size()));
  for (ThoughtNode& node : std::move(right).take()) admit(left, std::move(node), beam_width);
  return left;
}

// --- the search ----------------------------------------------------------------------

std::vector<ThoughtNode> run_beam_search(ThoughtNode root, const Searcher& searcher,
                                         const ReasoningContext& context, std::uint64_t beam_width,
                                         std::uint64_t max_depth) {
  std::vector<ThoughtNode> beam;
  beam.push_back(std::move(root));
  for (std::uint64_t iteration = 0; iteration < max_depth; ++iteration) {
    if (beam.empty()) break;
    std::vector<ThoughtNode> candidates;
    std::vector<ThoughtNode> next;
    // Expansion and selection of a wide beam go to the pool as one piece of work,
    // which saves waking the workers twice per iteration; everything inside runs on
    // the workers, as each step would on its own.
    auto expand_and_select = [&] {
      candidates = expand_beam(beam, searcher, context.domain);
      if (candidates.size() >= 2) next = select_candidates(candidates, beam_width);
    };
    if (beam.size() >= 2) {
      pool::run_on_workers(expand_and_select);
    } else {
      expand_and_select();
    }
    if (candidates.empty()) break;
    if (candidates.size() == 1) next = select_candidates(candidates, beam_width);
    candidates = {};
    if (next.size() >= 2) std::stable_sort(next.begin(), next.end(), sorts_before);
    beam = std::move(next);
  }
  return beam;
}

std::expected<MultiPathResult, ReasoningError> BeamSearchStrategy::run(
    const ForensicAnalysis& analysis, const ReasoningContext& context) const {
  std::string joined;
  for (std::size_t i = 0; i < analysis.facts.size(); ++i) {
    if (i > 0) joined.push_back(' ');
    joined.append(analysis.facts[i]);
  }
  if (joined.empty()) return std::unexpected(ReasoningError::no_facts());
  if (!searcher_) throw InternalFailure("beam search without a searcher");

  ThoughtNode root{new_uuid_v4(), std::move(joined), kRootScore, 0, std::nullopt};
  std::vector<ThoughtNode> beam =
      run_beam_search(std::move(root), *searcher_, context, beam_width_, max_depth_);
  if (beam.empty()) {
    return std::unexpected(ReasoningError::path_generation_failed(std::string(kNoResults)));
  }

  ThoughtNode& best = beam.front();
  ReasoningPath path;
  path.path_type = PathType::Procedural;
  path.steps.push_back(
      ReasoningStep{new_uuid_v4(), 1, std::string(kStepDescription), std::move(best.content), {}});
  path.confidence = best.score;
  path.conclusion = kConclusion;

  MultiPathResult result;
  result.literal_path = path;
  result.intentional_path = path;
  result.procedural_path = std::move(path);
  result.metadata.generated_at = rfc3339_now();
  result.metadata.execution_time_ms = 0;
  result.metadata.total_steps = beam.size();
  result.metadata.most_confident_path = PathType::Procedural;
  return result;
}

}  // namespace morvane
