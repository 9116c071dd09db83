// Per-call figures of the reasoning core: the domain lock, path generation, the simple
// strategy (on the pool and in sequence), UUIDs and the result's JSON.
#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>

#include "protocol/multi_path/path_generation.hpp"
#include "protocol/multi_path/simple_strategy.hpp"
#include "rules/rule_registry.hpp"
#include "support/pool.hpp"
#include "support/uuid.hpp"
#include "worked_example.hpp"

namespace morvane {
namespace {

ForensicAnalysis worked_example() { return fixtures::worked_example_analysis(); }

ReasoningContext medical() { return *lock_domain(default_rule_registry(), "medical", "python"); }

void BM_DefaultRuleRegistry(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(default_rule_registry());
}
BENCHMARK(BM_DefaultRuleRegistry);

void BM_LockDomain(benchmark::State& state) {
  const RuleRegistry registry = default_rule_registry();
  for (auto _ : state) benchmark::DoNotOptimize(lock_domain(registry, "medical", "python"));
}
BENCHMARK(BM_LockDomain);

void BM_GeneratePath(benchmark::State& state) {
  const auto type = static_cast<PathType>(state.range(0));
  const ForensicAnalysis analysis = worked_example();
  const ReasoningContext context = medical();
  for (auto _ : state) benchmark::DoNotOptimize(generate_path(2, 10, type, analysis, context));
  state.SetLabel(std::string(path_type_name(type)));
}
BENCHMARK(BM_GeneratePath)->Arg(0)->Arg(1)->Arg(2);

void BM_SimpleStrategy(benchmark::State& state) {
  const bool parallel = state.range(0) != 0;
  const ForensicAnalysis analysis = worked_example();
  const ReasoningContext context = medical();
  const SimpleStrategy strategy(2, 10, parallel);
  pool::threads();  // the pool is made outside the timed loop
  for (auto _ : state) benchmark::DoNotOptimize(strategy.run(analysis, context));
  state.SetLabel(parallel ? "parallel" : "sequential");
}
BENCHMARK(BM_SimpleStrategy)->Arg(1)->Arg(0);

// A run after the pool's workers have been idle for 2 ms (asleep); the sequential run
// after the same pause shows what the pause alone costs (cold caches).
void BM_SimpleStrategyAfterIdle(benchmark::State& state) {
  const bool parallel = state.range(0) != 0;
  const ForensicAnalysis analysis = worked_example();
  const ReasoningContext context = medical();
  const SimpleStrategy strategy(2, 10, parallel);
  pool::threads();
  for (auto _ : state) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const auto start = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(strategy.run(analysis, context));
    const auto end = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
  }
  state.SetLabel(parallel ? "parallel" : "sequential");
}
BENCHMARK(BM_SimpleStrategyAfterIdle)->Arg(1)->Arg(0)->UseManualTime()->Iterations(2000);

void BM_NewUuid(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(new_uuid_v4());
}
BENCHMARK(BM_NewUuid);

void BM_ResultJson(benchmark::State& state) {
  const MultiPathResult result = *SimpleStrategy(2, 10, false).run(worked_example(), medical());
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::string json = result.serialize();
    bytes = json.size();
    benchmark::DoNotOptimize(json);
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_ResultJson);

// What one generate call does in the core: registry, lock, run, JSON.
void BM_LockRunAndWrite(benchmark::State& state) {
  const ForensicAnalysis analysis = worked_example();
  const SimpleStrategy strategy(2, 10, true);
  pool::threads();
  for (auto _ : state) {
    const RuleRegistry registry = default_rule_registry();
    auto context = lock_domain(registry, "medical", "python");
    benchmark::DoNotOptimize(strategy.run(analysis, *context)->serialize());
  }
}
BENCHMARK(BM_LockRunAndWrite);

}  // namespace
}  // namespace morvane
