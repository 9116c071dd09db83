// The simple strategy: its two refusals, the three paths on the pool or in sequence,
// and the metadata of its result.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include "protocol/multi_path/simple_strategy.hpp"
#include "rules/rule_registry.hpp"
#include "worked_example.hpp"

namespace morvane {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

ReasoningContext locked(const char* domain) {
  auto context = lock_domain(default_rule_registry(), domain, "test");
  if (!context) throw std::runtime_error(context.error().text());
  return std::move(*context);
}

ForensicAnalysis worked_example() { return fixtures::worked_example_analysis(); }

// The result without what may differ between two runs: step ids and times.
MultiPathResult without_ids_and_times(MultiPathResult result) {
  for (ReasoningPath* path : {&result.literal_path, &result.intentional_path, &result.procedural_path}) {
    for (auto& step : path->steps) step.id = {};
  }
  result.metadata.generated_at.clear();
  result.metadata.execution_time_ms = 0;
  return result;
}

TEST(SimpleStrategy, Refusals) {
  const ReasoningContext with_rules = locked("medical");
  ReasoningContext without_rules = with_rules;
  without_rules.rules.clear();
  ForensicAnalysis without_facts = worked_example();
  without_facts.facts.clear();

  struct Case {
    const ForensicAnalysis& analysis;
    const ReasoningContext& context;
    ReasoningError::Kind expected;
  };
  const Case cases[] = {
      {without_facts, without_rules, ReasoningError::Kind::NoFacts},
      {without_facts, with_rules, ReasoningError::Kind::NoFacts},
      {worked_example(), without_rules, ReasoningError::Kind::NoRules},
  };
  for (bool parallel : {true, false}) {
    const SimpleStrategy strategy(2, 10, parallel);
    for (const auto& c : cases) {
      auto result = strategy.run(c.analysis, c.context);
      ASSERT_FALSE(result.has_value());
      EXPECT_EQ(result.error().kind(), c.expected);
    }
  }
}

TEST(SimpleStrategy, ParallelAndSequentialAgree) {
  for (const char* domain : {"medical", "legal", "technical"}) {
    SCOPED_TRACE(domain);
    const ReasoningContext context = locked(domain);
    const ForensicAnalysis analysis = worked_example();
    auto parallel = SimpleStrategy(2, 10, true).run(analysis, context);
    auto sequential = SimpleStrategy(2, 10, false).run(analysis, context);
    ASSERT_TRUE(parallel.has_value());
    ASSERT_TRUE(sequential.has_value());

    EXPECT_EQ(parallel->literal_path.path_type, PathType::Literal);
    EXPECT_EQ(parallel->intentional_path.path_type, PathType::Intentional);
    EXPECT_EQ(parallel->procedural_path.path_type, PathType::Procedural);
    EXPECT_EQ(parallel->literal_path.steps.size(), 3u);
    EXPECT_EQ(parallel->intentional_path.steps.size(), 4u);
    EXPECT_EQ(parallel->procedural_path.steps.size(), 7u);
    EXPECT_EQ(parallel->metadata.total_steps, 14u);
    EXPECT_EQ(parallel->metadata.most_confident_path, PathType::Literal);
    for (const auto* path :
         {&parallel->literal_path, &parallel->intentional_path, &parallel->procedural_path}) {
      EXPECT_EQ(path->confidence, 1.0f);
    }
    EXPECT_TRUE(parallel->metadata.generated_at.ends_with("+00:00"));
    EXPECT_NE(parallel->literal_path.steps[0].id, sequential->literal_path.steps[0].id);
    EXPECT_EQ(without_ids_and_times(*parallel), without_ids_and_times(*sequential));
  }
}

TEST(SimpleStrategy, PathsFollowTheStrategysCounts) {
  struct Case {
    std::uint64_t min_steps;
    std::uint64_t max_steps;
    float literal, intentional, procedural;
    PathType most_confident;
    std::uint64_t total_steps;
  };
  const Case cases[] = {
      {4, 10, 0.70000005f, 1.0f, 1.0f, PathType::Intentional, 14},
      {5, 10, 0.70000005f, 0.70000005f, 1.0f, PathType::Procedural, 14},
      {8, 10, 0.70000005f, 0.70000005f, 0.70000005f, PathType::Literal, 14},
      {2, 4, 1.0f, 1.0f, 1.0f, PathType::Literal, 11},
      {2, 0, 1.0f, 1.0f, 1.0f, PathType::Literal, 14},
      // The procedural path has 2 steps and no rule: 0.6.
      {2, 2, 1.0f, 1.0f, 0.6f, PathType::Literal, 9},
  };
  const ReasoningContext context = locked("medical");
  for (bool parallel : {true, false}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << c.min_steps << ' ' << c.max_steps << ' ' << parallel);
      auto result = SimpleStrategy(c.min_steps, c.max_steps, parallel).run(worked_example(), context);
      ASSERT_TRUE(result.has_value());
      EXPECT_EQ(result->literal_path.confidence, c.literal);
      EXPECT_EQ(result->intentional_path.confidence, c.intentional);
      EXPECT_EQ(result->procedural_path.confidence, c.procedural);
      EXPECT_EQ(result->metadata.most_confident_path, c.most_confident);
      EXPECT_EQ(result->metadata.total_steps, c.total_steps);
    }
  }
}

TEST(SimpleStrategy, ElapsedTimeIsNeverRoundedUp) {
  const ReasoningContext context = locked("legal");
  for (bool parallel : {true, false}) {
    const auto before = std::chrono::steady_clock::now();
    auto result = SimpleStrategy(2, 10, parallel).run(worked_example(), context);
    const auto after = std::chrono::steady_clock::now();
    ASSERT_TRUE(result.has_value());
    const auto bound = std::chrono::duration_cast<std::chrono::milliseconds>(after - before);
    EXPECT_LE(result->metadata.execution_time_ms, static_cast<std::uint64_t>(bound.count()));
  }
}

TEST(SimpleStrategy, SeveralCallersAtOnce) {
  const ReasoningContext context = locked("technical");
  const ForensicAnalysis analysis = worked_example();
  const SimpleStrategy strategy(2, 10, true);
  const MultiPathResult reference = without_ids_and_times(*strategy.run(analysis, context));
  std::vector<MultiPathResult> results(4);
  std::vector<std::thread> threads;
  for (auto& slot : results) {
    threads.emplace_back([&] {
      for (int i = 0; i < 50; ++i) slot = without_ids_and_times(*strategy.run(analysis, context));
    });
  }
  for (auto& thread : threads) thread.join();
  for (const auto& result : results) EXPECT_EQ(result, reference);
}

struct ChoiceCase {
  float literal, intentional, procedural;
  PathType expected;
};

TEST(MostConfidentPath, Choice) {
  using enum PathType;
  const ChoiceCase cases[] = {
      {1.0f, 1.0f, 1.0f, Literal},
      {0.7f, 1.0f, 1.0f, Intentional},
      {0.7f, 0.7f, 1.0f, Procedural},
      {0.7f, 0.7f, 0.7f, Literal},
      {0.2f, 0.9f, 0.5f, Intentional},
      {0.0f, -0.0f, 0.0f, Literal},
      // A NaN gives way to any number.
      {kNaN, 0.5f, 0.5f, Intentional},
      {kNaN, kNaN, 0.1f, Procedural},
      {kNaN, 0.3f, kNaN, Intentional},
      {0.3f, kNaN, kNaN, Literal},
      {0.3f, kNaN, 0.4f, Procedural},
      {0.4f, kNaN, 0.3f, Literal},
      {0.3f, 0.4f, kNaN, Intentional},
      // Three NaN: nothing equals the greatest, so Procedural.
      {kNaN, kNaN, kNaN, Procedural},
      {-kInf, -kInf, -kInf, Literal},
      {kInf, kNaN, kInf, Literal},
      {-1.0f, kNaN, -kInf, Literal},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.literal << ' ' << c.intentional << ' ' << c.procedural);
    EXPECT_EQ(most_confident_path(c.literal, c.intentional, c.procedural), c.expected);
  }
}

}  // namespace
}  // namespace morvane
