// Per-run figures of the beam search with the built-in searcher:
// create_strategy(BeamSearch{64, 8}) over the worked example's facts in the medical
// context (three facts, or the single first one), with the pool's workers busy from
// the previous run, after they have been idle (asleep) for 2 ms, and inline on one
// thread.
#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>

#include "protocol/multi_path/strategy_factory.hpp"
#include "rules/rule_registry.hpp"
#include "support/pool.hpp"
#include "worked_example.hpp"

namespace morvane {
namespace {

// The facts that forensic deconstruction finds in "Le serveur ne répond pas.
// Erreur 500!!! Je pense que c'est la base de données."
ForensicAnalysis worked_example(bool all_facts) {
  ForensicAnalysis analysis = fixtures::worked_example_analysis();
  if (!all_facts) analysis.facts.resize(1);
  return analysis;
}

ReasoningContext medical() { return *lock_domain(default_rule_registry(), "medical", "python"); }

void BM_BeamSearch64x8(benchmark::State& state) {
  const bool all_facts = state.range(0) != 0;
  const ForensicAnalysis analysis = worked_example(all_facts);
  const ReasoningContext context = medical();
  const SharedStrategy strategy = create_strategy(StrategyConfig::BeamSearch{64, 8});
  pool::threads();  // the pool is made outside the timed loop
  for (auto _ : state) {
    auto result = strategy->run(analysis, context);
    if (!result) state.SkipWithError("the run failed");
    benchmark::DoNotOptimize(result);
  }
  state.SetLabel(all_facts ? "three facts" : "one fact");
}
BENCHMARK(BM_BeamSearch64x8)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

// The same run started from inside the pool, where all of it runs inline on one
// thread: the work itself, without handing anything to the workers.
void BM_BeamSearch64x8Inline(benchmark::State& state) {
  const ForensicAnalysis analysis = worked_example(true);
  const ReasoningContext context = medical();
  const SharedStrategy strategy = create_strategy(StrategyConfig::BeamSearch{64, 8});
  for (auto _ : state) {
    pool::execute([&] { benchmark::DoNotOptimize(strategy->run(analysis, context)); });
  }
}
BENCHMARK(BM_BeamSearch64x8Inline)->Unit(benchmark::kMicrosecond);

void BM_BeamSearch64x8AfterIdle(benchmark::State& state) {
  const ForensicAnalysis analysis = worked_example(true);
  const ReasoningContext context = medical();
  const SharedStrategy strategy = create_strategy(StrategyConfig::BeamSearch{64, 8});
  pool::threads();
  for (auto _ : state) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const auto start = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(strategy->run(analysis, context));
    const auto end = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
  }
}
BENCHMARK(BM_BeamSearch64x8AfterIdle)->UseManualTime()->Iterations(500)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace morvane
