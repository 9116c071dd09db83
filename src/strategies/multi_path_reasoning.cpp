#include "strategies/multi_path_reasoning.hpp"

#include "lib/arguments.hpp"
#include "lib/interpreter_lock.hpp"
#include "lib/panic.hpp"
#include "lib/results.hpp"
#include "model/forensic_analysis.hpp"
#include "protocol/multi_path/beam_search.hpp"
#include "protocol/multi_path/strategy_factory.hpp"
#include "rules/rule_registry.hpp"
#include "strategies/python_searcher.hpp"
#include "support/pool.hpp"

#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace morvane::py {
namespace {

constexpr auto kBeamSearch =
    describe("MultiPathReasoning", "beam_search", {"beam_width", "max_depth", "searcher"}, 3);
constexpr auto kGenerate = describe("MultiPathReasoning", "generate", {"analysis_json", "context_domain"}, 2);

constexpr const char* kSimpleDoc = "simple()\n--\n\nCrée une stratégie simple (3 chemins fixes)";
constexpr const char* kBeamSearchDoc =
    "beam_search(beam_width, max_depth, searcher)\n--\n\n"
    "Crée une stratégie Beam Search avec un \"Searcher\" Python personnalisé\n"
    "searcher: Objet Python avec une méthode `expand(node, context_domain) -> List[ThoughtNode]`";
constexpr const char* kGenerateDoc =
    "generate($self, analysis_json, context_domain)\n--\n\n"
    "Exécute le raisonnement\n"
    "Note: Nécessite un ForensicAnalysis wrapper (que nous devrons passer depuis Python)";

// The lock source recorded in every context made here.
constexpr std::string_view kLockSource = "python";

OwnedRef simple() { return multi_path_reasoning_class.make({morvane::simple_strategy()}); }

OwnedRef beam_search(Args<kBeamSearch>& args) {
  std::uint64_t beam_width = 0;
  std::uint64_t max_depth = 0;
  OwnedRef searcher;
  if (!args.get(0, beam_width) || !args.get(1, max_depth) || !args.get(2, searcher)) return {};
  PyObject* const borrowed = searcher.get();
  auto python_searcher = std::make_shared<const PythonSearcher>(DeferredRef(searcher.release()));
  morvane::SharedStrategy strategy =
      std::make_shared<const morvane::BeamSearchStrategy>(std::move(python_searcher), beam_width, max_depth);
  return multi_path_reasoning_class.make({std::move(strategy), borrowed});
}

OwnedRef generate(PyObject* self, Args<kGenerate>& args) {
  std::string_view analysis_json;
  std::string_view context_domain;
  if (!args.get(0, analysis_json) || !args.get(1, context_domain)) return {};

  auto analysis = morvane::ForensicAnalysis::deserialize(analysis_json);
  if (!analysis) {
    raise_text(PyExc_ValueError, analysis.error().message);
    return {};
  }
  // The built-in registry is immutable and the lock only reads it, so one built once
  // per process serves every call exactly as a fresh one would.
  static const morvane::RuleRegistry registry = morvane::default_rule_registry();
  auto context = morvane::lock_domain(registry, context_domain, kLockSource);
  if (!context) fail_expectation(kStepFailed, context.error().text());

  // The run touches Python only through a PythonSearcher, which takes the lock for
  // itself on whatever thread calls it: this thread must not keep it while it waits
  // for the pool. The JSON is written before the lock comes back, too.
  // The run keeps its own hold on the strategy: the cycle collector may clear the
  // object from another thread while this one waits without the lock.
  const morvane::SharedStrategy strategy = multi_path_reasoning_class.of(self).strategy;
  if (!strategy) {
    raise_text(PyExc_RuntimeError, "MultiPathReasoning object was cleared by the garbage collector");
    return {};
  }
  std::expected<std::string, morvane::ReasoningError> json =
      [&]() -> std::expected<std::string, morvane::ReasoningError> {
    LockReleased unlocked;
    // While the interpreter finalizes (a call from a __del__), no other thread can take
    // the lock: the whole run, searcher calls included, stays on this thread.
    std::optional<morvane::pool::InlineScope> alone;
    if (unlocked.during_finalization()) alone.emplace();
    auto result = strategy->run(*analysis, *context);
    if (!result) return std::unexpected(std::move(result.error()));
    return result->serialize();
  }();
  if (!json) {
    raise_text(PyExc_RuntimeError, json.error().text());
    return {};
  }
  return new_str(*json);
}

PyMethodDef methods[] = {
    static_noargs<simple>("simple", kSimpleDoc),
    static_method<kBeamSearch, beam_search>(kBeamSearchDoc),
    method<kGenerate, generate>(kGenerateDoc),
    {},
};

int traverse(PyObject* self, visitproc visit, void* arg) noexcept {
  Py_VISIT(Py_TYPE(self));
  Py_VISIT(multi_path_reasoning_class.of(self).searcher);
  return 0;
}

// Breaks a cycle through the searcher: the strategy goes, and with it, once no run
// holds it any more, the PythonSearcher's reference. An entry, so that the reference
// is released at once rather than queued.
int clear(PyObject* self) noexcept {
  EntryScope entry;
  Reasoning& reasoning = multi_path_reasoning_class.of(self);
  reasoning.searcher = nullptr;
  morvane::SharedStrategy dropped = std::exchange(reasoning.strategy, nullptr);
  return 0;
}

}  // namespace

Class<Reasoning> multi_path_reasoning_class({
    .name = "MultiPathReasoning",
    .doc = "Wrapper pour MultiPathReasoning",
    .methods = methods,
    .traverse = traverse,
    .clear = clear,
});

}  // namespace morvane::py
