// The beam search: its run and result, the bounded selection and its heap, the
// default searcher, threads, and the strategy factory.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <limits>
#include <map>
#include <mutex>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "fresh_process.hpp"
#include "protocol/multi_path/beam_search.hpp"
#include "protocol/multi_path/default_searcher.hpp"
#include "protocol/multi_path/simple_strategy.hpp"
#include "protocol/multi_path/strategy_factory.hpp"
#include "rules/rule_registry.hpp"
#include "support/internal_failure.hpp"
#include "support/pool.hpp"

namespace morvane {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

struct Child {
  std::string content;
  float score;
};

// A searcher whose children depend only on the depth of the node it expands.
class ScriptedSearcher final : public Searcher {
 public:
  using Script = std::function<std::vector<Child>(std::uint64_t depth)>;

  explicit ScriptedSearcher(Script script) : script_(std::move(script)) {}

  std::vector<ThoughtNode> expand(const ThoughtNode& node, std::string_view context_domain) const override {
    ++calls_;
    {
      std::lock_guard lock(mutex_);
      domains_.insert(std::string(context_domain));
    }
    std::vector<ThoughtNode> children;
    for (Child& child : script_(node.depth)) {
      children.push_back(
          ThoughtNode::new_child(node.id, std::move(child.content), child.score, node.depth + 1));
    }
    return children;
  }

  int calls() const { return calls_.load(); }
  std::set<std::string> domains() const {
    std::lock_guard lock(mutex_);
    return domains_;
  }

 private:
  Script script_;
  mutable std::atomic<int> calls_{0};
  mutable std::mutex mutex_;
  mutable std::set<std::string> domains_;
};

// Level d lists the children of every node at depth d; deeper nodes get none.
ScriptedSearcher::Script levels(std::vector<std::vector<Child>> by_depth) {
  return [by_depth = std::move(by_depth)](std::uint64_t depth) {
    return depth < by_depth.size() ? by_depth[depth] : std::vector<Child>{};
  };
}

ForensicAnalysis analysis_with(std::vector<std::string> facts) {
  ForensicAnalysis analysis;
  analysis.facts = std::move(facts);
  return analysis;
}

ReasoningContext context_for(std::string domain) {
  ReasoningContext context;
  context.domain = std::move(domain);
  return context;
}

std::expected<MultiPathResult, ReasoningError> run_search(SharedSearcher searcher, std::uint64_t beam_width,
                                                          std::uint64_t max_depth,
                                                          std::vector<std::string> facts = {"a", "b"}) {
  return BeamSearchStrategy(std::move(searcher), beam_width, max_depth)
      .run(analysis_with(std::move(facts)), context_for("medical"));
}

// The beam after one iteration from a root whose children are `children`.
std::vector<ThoughtNode> one_iteration(std::vector<Child> children, std::uint64_t beam_width) {
  ScriptedSearcher searcher(levels({std::move(children)}));
  ThoughtNode root{new_uuid_v4(), "root", 0.5f, 0, std::nullopt};
  return run_beam_search(std::move(root), searcher, context_for("medical"), beam_width, 1);
}

std::vector<std::string> contents(const std::vector<ThoughtNode>& nodes) {
  std::vector<std::string> out;
  for (const auto& node : nodes) out.push_back(node.content);
  return out;
}

// --- the run ---------------------------------------------------------------------

struct SearchCase {
  const char* name;
  ScriptedSearcher::Script script;
  std::uint64_t beam_width;
  std::uint64_t max_depth;
  int calls;
  std::string justification;
  float confidence;
  std::uint64_t total_steps;
};

// The iterations of a run, whatever threads the pool has.
void check_the_iterations() {
  const auto always = [](std::uint64_t) { return std::vector<Child>{{"c", 0.6f}, {"d", 0.4f}}; };
  const SearchCase cases[] = {
      {"max_depth 0 never calls the searcher", levels({{{"x", 0.9f}}}), 3, 0, 0, "a b", 0.5f, 1},
      {"a root without children", levels({}), 3, 4, 1, "a b", 0.5f, 1},
      {"beam_width 0 and a root without children", levels({}), 0, 4, 1, "a b", 0.5f, 1},
      {"beam_width 1: one call per iteration", always, 1, 4, 4, "c", 0.6f, 1},
      {"two children without grandchildren stop the search", levels({{{"p", 0.3f}, {"q", 0.8f}}}), 2, 5, 3,
       "q", 0.8f, 2},
      {"the last beam, not the best node ever seen", levels({{{"hi", 0.9f}, {"hi", 0.9f}}, {{"lo", 0.1f}}}),
       2, 5, 5, "lo", 0.1f, 2},
      {"max_depth ends the search", levels({{{"hi", 0.9f}, {"hi", 0.9f}}, {{"lo", 0.1f}}}), 2, 1, 1, "hi",
       0.9f, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto searcher = std::make_shared<const ScriptedSearcher>(c.script);
    auto result = run_search(searcher, c.beam_width, c.max_depth);
    ASSERT_TRUE(result.has_value()) << result.error().text();
    EXPECT_EQ(searcher->calls(), c.calls);
    const ReasoningPath& path = result->procedural_path;
    ASSERT_EQ(path.steps.size(), 1u);
    EXPECT_EQ(path.steps[0].justification, c.justification);
    EXPECT_EQ(path.confidence, c.confidence);
    EXPECT_EQ(result->metadata.total_steps, c.total_steps);
  }
}

TEST(BeamSearch, RunsTheIterations) { check_the_iterations(); }

TEST(BeamSearch, ResultIsOneProceduralPathInAllThreePlaces) {
  auto searcher = std::make_shared<const ScriptedSearcher>(levels({{{"x", 0.25f}, {"y", 0.5f}}}));
  auto result = run_search(searcher, 2, 3);
  ASSERT_TRUE(result.has_value());
  const ReasoningPath& path = result->procedural_path;
  EXPECT_EQ(path.path_type, PathType::Procedural);
  ASSERT_EQ(path.steps.size(), 1u);
  EXPECT_EQ(path.steps[0].step_number, 1u);
  EXPECT_EQ(path.steps[0].description, "Beam Search Result");
  EXPECT_EQ(path.steps[0].justification, "y");
  EXPECT_TRUE(path.steps[0].applied_rules.empty());
  EXPECT_EQ(path.conclusion, "Conclusion derived from Beam Search");
  EXPECT_EQ(result->literal_path, path);  // same step id included
  EXPECT_EQ(result->intentional_path, path);
  EXPECT_EQ(result->metadata.execution_time_ms, 0u);
  EXPECT_EQ(result->metadata.total_steps, 2u);
  EXPECT_EQ(result->metadata.most_confident_path, PathType::Procedural);
  EXPECT_TRUE(result->metadata.generated_at.ends_with("+00:00"));
  EXPECT_EQ(searcher->domains(), std::set<std::string>{"medical"});
}

TEST(BeamSearch, JoinsTheFactsIntoTheRoot) {
  struct Case {
    std::vector<std::string> facts;
    std::optional<std::string> root;  // nullopt: NoFacts
  };
  const Case cases[] = {
      {{"a", "b"}, "a b"}, {{"", ""}, " "}, {{"fièvre"}, "fièvre"}, {{}, std::nullopt}, {{""}, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.facts.size());
    auto searcher = std::make_shared<const ScriptedSearcher>(levels({}));
    auto result = run_search(searcher, 3, 2, c.facts);
    if (c.root) {
      ASSERT_TRUE(result.has_value());
      EXPECT_EQ(result->procedural_path.steps[0].justification, *c.root);
      EXPECT_EQ(searcher->calls(), 1);
    } else {
      ASSERT_FALSE(result.has_value());
      EXPECT_EQ(result.error(), ReasoningError::no_facts());
      EXPECT_EQ(result.error().text(), "No facts available for reasoning");
      EXPECT_EQ(searcher->calls(), 0);
    }
  }
}

TEST(BeamSearch, WidthZeroWithCandidatesFails) {
  auto searcher = std::make_shared<const ScriptedSearcher>(levels({{{"x", 0.9f}}}));
  auto result = run_search(searcher, 0, 3);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().kind(), ReasoningError::Kind::PathGenerationFailed);
  EXPECT_EQ(result.error().text(), "Path generation failed: Beam search returned no results");
  EXPECT_EQ(searcher->calls(), 1);
}

TEST(BeamSearch, ConfidenceIsTheBestScoreUnchanged) {
  for (float score : {3.5f, kInf, -kInf, -1.0f, kNaN}) {
    SCOPED_TRACE(score);
    auto searcher = std::make_shared<const ScriptedSearcher>(levels({{{"x", score}}}));
    auto result = run_search(searcher, 2, 2);
    ASSERT_TRUE(result.has_value());
    const float confidence = result->procedural_path.confidence;
    if (std::isnan(score)) {
      EXPECT_TRUE(std::isnan(confidence));
    } else {
      EXPECT_EQ(confidence, score);
    }
  }
}

TEST(BeamSearch, HugeWidthRunsNormally) {
  auto result =
      run_search(std::make_shared<const DefaultSearcher>(), std::numeric_limits<std::uint64_t>::max(), 3);
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(result->metadata.total_steps, 27u);
}

// --- the selection, seen through one iteration ---------------------------------

TEST(BeamSelection, KeepsTheBestAndSortsThem) {
  struct Case {
    const char* name;
    std::vector<Child> children;
    std::uint64_t beam_width;
    std::vector<std::string> beam;
  };
  const Case cases[] = {
      {"five candidates, width 3",
       {{"0.1", 0.1f}, {"0.9", 0.9f}, {"0.5", 0.5f}, {"0.7", 0.7f}, {"0.3", 0.3f}},
       3,
       {"0.9", "0.7", "0.5"}},
      {"width 1 keeps the first of the highest",
       {{"first", 0.5f}, {"second", 0.7f}, {"third", 0.7f}},
       1,
       {"second"}},
      {"a width above the count keeps everything",
       {{"lo", -2.0f}, {"top", kInf}, {"mid", 0.0f}},
       10,
       {"top", "mid", "lo"}},
      {"a single candidate", {{"only", 0.2f}}, 1, {"only"}},
      {"width 0 keeps nothing", {{"x", 0.2f}, {"y", 0.3f}}, 0, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(contents(one_iteration(c.children, c.beam_width)), c.beam);
  }
}

TEST(BeamSelection, NaNScoresSortLast) {
  const auto beam = one_iteration({{"nan", kNaN}, {"a", 0.2f}, {"nan", kNaN}, {"b", 0.9f}, {"c", -kInf}}, 5);
  EXPECT_EQ(contents(beam), (std::vector<std::string>{"b", "a", "c", "nan", "nan"}));
}

// Equal scores keep the order of the heap's array, so the beam is still a heap.
TEST(BeamSelection, EqualScoresKeepTheHeapOrder) {
  const auto beam = one_iteration(std::vector<Child>(40, Child{"same", 0.7f}), 64);
  ASSERT_EQ(beam.size(), 40u);
  for (std::size_t i = 1; i < beam.size(); ++i) {
    EXPECT_FALSE(is_worse(beam[i], beam[(i - 1) / 2])) << i;
  }
}

// Many candidates are split into several pieces; the result must not depend on that.
void check_many_candidates() {
  std::vector<Child> children;
  for (int i = 0; i < 1000; ++i) children.push_back({std::to_string(i), static_cast<float>(i)});
  std::shuffle(children.begin(), children.end(), std::mt19937(7));

  std::vector<std::string> top10;
  for (int i = 999; i > 989; --i) top10.push_back(std::to_string(i));
  EXPECT_EQ(contents(one_iteration(children, 10)), top10);

  const auto all = one_iteration(children, 1000);
  ASSERT_EQ(all.size(), 1000u);
  EXPECT_TRUE(
      std::is_sorted(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.score > b.score; }));

  // With width 1 the first candidate of the highest score wins, wherever it lies.
  std::vector<Child> ties;
  for (int i = 0; i < 500; ++i) ties.push_back({"low", 0.1f});
  for (int i = 0; i < 500; ++i) ties.push_back({i == 0 ? "first" : "later", 0.9f});
  EXPECT_EQ(contents(one_iteration(ties, 1)), std::vector<std::string>{"first"});
}

TEST(BeamSelection, ManyCandidatesAcrossPieces) { check_many_candidates(); }

// --- the heap ------------------------------------------------------------------------

ThoughtNode node(std::uint8_t first_byte, float score = 0.5f, std::string content = {}) {
  ThoughtNode n;
  n.id[0] = first_byte;
  n.score = score;
  n.content = std::move(content);
  return n;
}

std::vector<int> first_bytes(const SelectionHeap& heap) {
  std::vector<int> out;
  for (const auto& n : heap.nodes()) out.push_back(n.id[0]);
  return out;
}

TEST(SelectionOrder, ScoresThenIdsAsBigEndianNumbers) {
  ThoughtNode low_first = node(0x01);
  low_first.id[15] = 0xff;
  ThoughtNode high_first = node(0x02);  // greater as a 128-bit number: worse
  struct Case {
    ThoughtNode a, b;
    bool a_worse, b_worse;
  };
  const Case cases[] = {
      {node(9, 0.1f), node(1, 0.2f), true, false},  // scores decide before ids
      {node(2), node(1), true, false},              // equal scores: the greater id is worse
      {low_first, high_first, false, true},         // the first byte weighs most
      {node(2, kNaN), node(1, 0.2f), true, false},  // a NaN leaves it to the ids
      {node(1, 0.2f), node(2, kNaN), false, true},
      {node(3), node(3), false, false},  // equal ids: equal nodes
  };
  for (const auto& c : cases) {
    EXPECT_EQ(is_worse(c.a, c.b), c.a_worse);
    EXPECT_EQ(is_worse(c.b, c.a), c.b_worse);
  }
}

TEST(SelectionHeap, PushAndPopAsTheArrayRulesSay) {
  SelectionHeap heap(5);
  for (std::uint8_t id = 1; id <= 5; ++id) heap.push(node(id));
  EXPECT_EQ(first_bytes(heap), (std::vector<int>{5, 4, 2, 1, 3}));
  EXPECT_EQ(heap.pop().id[0], 5);
  EXPECT_EQ(first_bytes(heap), (std::vector<int>{4, 3, 2, 1}));
  for (int expected : {4, 3, 2, 1}) EXPECT_EQ(heap.pop().id[0], expected);
  EXPECT_TRUE(heap.empty());
  EXPECT_THROW(heap.pop(), InternalFailure);
}

TEST(SelectionHeap, SinkingTakesTheRightChildOnATie) {
  SelectionHeap heap;
  heap.push(node(5, 0.5f, "top"));
  heap.push(node(1, 0.5f, "left"));
  heap.push(node(1, 0.5f, "right"));
  heap.push(node(0, 0.5f, "last"));
  EXPECT_EQ(heap.pop().content, "top");
  std::vector<std::string> order;
  for (const auto& n : heap.nodes()) order.push_back(n.content);
  EXPECT_EQ(order, (std::vector<std::string>{"right", "left", "last"}));
}

TEST(SelectionHeap, PushBoundedAdmitsOnlyStrictlyHigherScores) {
  SelectionHeap heap(3);
  for (float s : {0.1f, 0.9f, 0.5f, 0.7f, 0.3f}) push_bounded(heap, node(1, s), 3);
  ASSERT_EQ(heap.size(), 3u);
  EXPECT_EQ(heap.top().score, 0.5f);
  EXPECT_EQ(heap.capacity(), 3u);  // the room reserved up front was enough

  push_bounded(heap, node(0, 0.5f, "tie"), 3);  // equal to the top: refused, whatever its id
  push_bounded(heap, node(0, kNaN, "nan"), 3);
  for (const auto& n : heap.nodes()) EXPECT_TRUE(n.content.empty());

  SelectionHeap none;
  push_bounded(none, node(1, 1.0f), 0);
  EXPECT_TRUE(none.empty());
}

TEST(SelectionHeap, MergeKeepsTheLeftOnTies) {
  auto heap_of = [](std::vector<ThoughtNode> nodes) {
    SelectionHeap heap;
    for (auto& n : nodes) heap.push(std::move(n));
    return heap;
  };
  auto tie = merge_top_k(heap_of({node(9, 0.5f, "left")}), heap_of({node(1, 0.5f, "right")}), 1);
  ASSERT_EQ(tie.size(), 1u);
  EXPECT_EQ(tie.top().content, "left");

  auto better = merge_top_k(heap_of({node(1, 0.5f, "left")}), heap_of({node(1, 0.6f, "right")}), 1);
  EXPECT_EQ(better.top().content, "right");

  auto both = merge_top_k(heap_of({node(1, 0.5f)}), heap_of({node(2, 0.1f), node(3, 0.9f)}), 5);
  EXPECT_EQ(both.size(), 3u);
  EXPECT_EQ(both.top().score, 0.1f);
}

// --- the default searcher ----------------------------------------------------------------

TEST(DefaultSearcher, ThreeChildrenOfTheNode) {
  ThoughtNode parent{new_uuid_v4(), "fièvre", 0.1f, 4, std::nullopt};
  const auto children = DefaultSearcher().expand(parent, "medical");
  ASSERT_EQ(children.size(), 3u);
  const char* expected[] = {"[ANALYSE] fièvre (Domain: medical)", "[CRITIQUE] fièvre (Domain: medical)",
                            "[SYNTHÈSE] fièvre (Domain: medical)"};
  std::set<Uuid> ids;
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(children[i].content, expected[i]);
    EXPECT_EQ(children[i].score, 0.7f);
    EXPECT_EQ(children[i].depth, 5u);
    EXPECT_EQ(children[i].parent, parent.id);
    ids.insert(children[i].id);
  }
  EXPECT_EQ(ids.size(), 3u);
  EXPECT_FALSE(ids.contains(parent.id));
}

// --- threads ------------------------------------------------------------------------------

// Waits until `count` threads have arrived, or until a generous timeout (so that a
// broken pool fails the test instead of hanging it).
class Rendezvous {
 public:
  explicit Rendezvous(int count) : count_(count) {}
  bool arrive_and_wait() {
    std::unique_lock lock(mutex_);
    if (++arrived_ >= count_) {
      all_.notify_all();
      return true;
    }
    return all_.wait_for(lock, std::chrono::seconds(30), [&] { return arrived_ >= count_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable all_;
  int count_;
  int arrived_ = 0;
};

class ThreadSearcher final : public Searcher {
 public:
  std::vector<ThoughtNode> expand(const ThoughtNode& node, std::string_view) const override {
    {
      std::lock_guard lock(mutex_);
      threads[node.depth].insert(std::this_thread::get_id());
    }
    if (node.depth == 1 && rendezvous && !rendezvous->arrive_and_wait()) timed_out = true;
    if (node.depth == 1 && fail) throw InternalFailure("searcher broke");
    if (node.depth > 0) return {};
    return {ThoughtNode::new_child(node.id, "x", 0.5f, 1), ThoughtNode::new_child(node.id, "y", 0.5f, 1)};
  }

  Rendezvous* rendezvous = nullptr;
  bool fail = false;
  mutable std::atomic<bool> timed_out{false};
  mutable std::mutex mutex_;
  mutable std::map<std::uint64_t, std::set<std::thread::id>> threads;
};

TEST(BeamThreads, OneNodeOnTheCallerMoreOnTheWorkers) {
  auto searcher = std::make_shared<ThreadSearcher>();
  ASSERT_TRUE(run_search(searcher, 2, 3).has_value());
  const auto caller = std::this_thread::get_id();
  EXPECT_EQ(searcher->threads[0], std::set<std::thread::id>{caller});
  ASSERT_FALSE(searcher->threads[1].empty());
  EXPECT_FALSE(searcher->threads[1].contains(caller));
}

// A process that can start no thread has a pool without workers: the whole search
// runs on the caller, for narrow and wide beams, with the results it has with workers.
TEST(BeamThreads, WithoutWorkersTheSearchRunsOnTheCaller) {
  expect_in_fresh_process("4", [] {
    leave_no_room_for_threads();
    ASSERT_EQ(pool::threads(), 0u);
    for (const std::uint64_t width : {1u, 3u}) {
      auto searcher = std::make_shared<ThreadSearcher>();
      ASSERT_TRUE(run_search(searcher, width, 3).has_value()) << "width " << width;
      EXPECT_EQ(searcher->threads[1], std::set<std::thread::id>{std::this_thread::get_id()}) << "width " << width;
    }
    check_the_iterations();
    check_many_candidates();
  });
}

TEST(BeamThreads, ExpansionsOfOneBeamOverlap) {
  if (pool::threads() < 2) GTEST_SKIP() << "needs two workers";
  Rendezvous both(2);
  auto searcher = std::make_shared<ThreadSearcher>();
  searcher->rendezvous = &both;
  ASSERT_TRUE(run_search(searcher, 2, 3).has_value());
  EXPECT_FALSE(searcher->timed_out);
  EXPECT_EQ(searcher->threads[1].size(), 2u);
}

TEST(BeamThreads, FailureOnAWorkerReachesTheCaller) {
  auto searcher = std::make_shared<ThreadSearcher>();
  searcher->fail = true;
  try {
    (void)run_search(searcher, 2, 3);
    ADD_FAILURE() << "no exception";
  } catch (const InternalFailure& failure) {
    EXPECT_EQ(failure.message(), "searcher broke");
  }
  EXPECT_FALSE(searcher->threads[1].contains(std::this_thread::get_id()));
}

TEST(BeamThreads, OneStrategyRunByManyThreads) {
  const BeamSearchStrategy strategy(std::make_shared<const DefaultSearcher>(), 4, 4);
  const ForensicAnalysis analysis = analysis_with({"a"});
  const ReasoningContext context = context_for("legal");
  std::atomic<int> good{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 20; ++i) {
        auto result = strategy.run(analysis, context);
        if (result && result->metadata.total_steps == 4) ++good;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(good.load(), 80);
}

// --- the factory ----------------------------------------------------------------------------

TEST(StrategyFactory, BeamSearchUsesTheDefaultSearcher) {
  SharedStrategy strategy = create_strategy(StrategyConfig::BeamSearch{1, 2});
  const auto* beam = dynamic_cast<const BeamSearchStrategy*>(strategy.get());
  ASSERT_NE(beam, nullptr);
  EXPECT_EQ(beam->beam_width(), 1u);
  EXPECT_EQ(beam->max_depth(), 2u);
  EXPECT_NE(dynamic_cast<const DefaultSearcher*>(beam->searcher().get()), nullptr);

  auto result = strategy->run(analysis_with({"fièvre"}), context_for("medical"));
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(result->procedural_path.steps[0].justification,
            "[ANALYSE] [ANALYSE] fièvre (Domain: medical) (Domain: medical)");
  EXPECT_EQ(result->procedural_path.confidence, 0.7f);
  EXPECT_EQ(result->metadata.total_steps, 1u);
}

TEST(StrategyFactory, SimpleTakesTheFieldsInOrder) {
  SharedStrategy strategy = create_strategy(StrategyConfig::Simple{4, 9, false});
  const auto* simple = dynamic_cast<const SimpleStrategy*>(strategy.get());
  ASSERT_NE(simple, nullptr);
  EXPECT_EQ(simple->min_steps(), 4u);
  EXPECT_EQ(simple->max_steps(), 9u);
  EXPECT_FALSE(simple->parallel());
}

TEST(StrategyFactory, SimpleStrategyIsTwoTenParallel) {
  SharedStrategy strategy = simple_strategy();
  const auto* simple = dynamic_cast<const SimpleStrategy*>(strategy.get());
  ASSERT_NE(simple, nullptr);
  EXPECT_EQ(simple->min_steps(), 2u);
  EXPECT_EQ(simple->max_steps(), 10u);
  EXPECT_TRUE(simple->parallel());

  auto context = lock_domain(default_rule_registry(), "medical", "test");
  ASSERT_TRUE(context.has_value());
  auto result = strategy->run(analysis_with({"Le patient a de la fièvre"}), *context);
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(result->literal_path.confidence, 1.0f);
  EXPECT_EQ(result->intentional_path.confidence, 1.0f);
  EXPECT_EQ(result->procedural_path.confidence, 1.0f);
  EXPECT_EQ(result->metadata.most_confident_path, PathType::Literal);
  EXPECT_EQ(result->metadata.total_steps, 14u);
}

}  // namespace
}  // namespace morvane
