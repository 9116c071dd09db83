#include "support/pool.hpp"

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <memory>
#include <atomic>
#include <chrono>
#include <thread>

#include <oneapi/tbb/global_control.h>
#include <oneapi/tbb/info.h>
#include <oneapi/tbb/task_scheduler_observer.h>

namespace morvane {
namespace {

// ASCII digits with an optional leading '+', nothing else, within 64 bits.
std::optional<std::uint64_t> parse_count(std::optional<std::string_view> text) {
  if (!text) return std::nullopt;
  std::string_view digits = *text;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  if (digits.empty()) return std::nullopt;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  std::uint64_t value = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

std::optional<std::string_view> env(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string_view(value);
}

thread_local bool t_in_pool = false;

}  // namespace

// Marks the threads that are inside the pool's arena, workers and callers alike.
class WorkerPool::Observer final : public oneapi::tbb::task_scheduler_observer {
 public:
  explicit Observer(oneapi::tbb::task_arena& arena) : task_scheduler_observer(arena) {
    observe(true);
  }
  ~Observer() override { observe(false); }
  void on_scheduler_entry(bool) override { t_in_pool = true; }
  void on_scheduler_exit(bool) override { t_in_pool = false; }
};

std::size_t pool_size(std::optional<std::string_view> num_threads,
                      std::optional<std::string_view> rs_num_cpus, std::size_t processors) {
  std::uint64_t size = processors;
  if (auto n = parse_count(num_threads)) {
    size = *n > 0 ? *n : processors;
  } else if (auto m = parse_count(rs_num_cpus); m && *m > 0) {
    size = *m;
  }
  if (size == 0) size = 1;
  return static_cast<std::size_t>(size < kMaxPoolThreads ? size : kMaxPoolThreads);
}

WorkerPool& WorkerPool::instance() {
  // Made on first use (thread-safe) and never destroyed: workers may still be running
  // when static destructors run at exit.
  static WorkerPool* const pool = new WorkerPool;
  return *pool;
}

WorkerPool::WorkerPool() {
  const auto processors = static_cast<std::size_t>(oneapi::tbb::info::default_concurrency());
  threads_ = pool_size(env("RAYON_NUM_THREADS"), env("RAYON_RS_NUM_CPUS"), processors);
  // `threads_` real workers plus one slot kept for a calling thread, so that execute()
  // lets its caller take part instead of handing the work over and waiting. oneTBB
  // counts that caller in its global limit (processors - 1 workers by default): raise
  // it to match. The control lives as long as the pool, that is until the process ends.
  control_ = std::make_unique<oneapi::tbb::global_control>(
      oneapi::tbb::global_control::max_allowed_parallelism, threads_ + 1);
  arena_ = std::make_unique<oneapi::tbb::task_arena>(static_cast<int>(threads_) + 1, 1);
  arena_->initialize();
  observer_ = std::make_unique<Observer>(*arena_);
}

WorkerPool::~WorkerPool() = default;

bool WorkerPool::in_pool() const { return t_in_pool; }

void WorkerPool::run_detached(Work work) {
  // The flag lives in shared state rather than on this stack: the worker still
  // touches it (notify) after the store that lets this thread return.
  struct State {
    std::atomic<bool> done{false};
    std::exception_ptr failure;
  };
  const auto state = std::make_shared<State>();
  arena_->enqueue([state, work] {
    try {
      work.call(work.target);
    } catch (...) {
      state->failure = std::current_exception();
    }
    state->done.store(true, std::memory_order_release);
    state->done.notify_one();
  });
  // Pool work is often short (one beam iteration): a thread put to sleep and woken
  // again costs tens of microseconds on a virtual machine, far more than the work.
  // So the caller first polls for a while, yielding its core, and only then sleeps.
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::microseconds(200);
  while (!state->done.load(std::memory_order_acquire)) {
    if (std::chrono::steady_clock::now() >= give_up) {
      state->done.wait(false, std::memory_order_acquire);
      break;
    }
    std::this_thread::yield();
  }
  if (state->failure) std::rethrow_exception(state->failure);
}

}  // namespace morvane
