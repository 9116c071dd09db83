// WorkerPool: the one process-wide work-stealing pool (oneTBB), created on first use
// and kept until the process ends.
//
// Its size is fixed once, at creation, from the environment (pool_size below): N
// means N worker threads of its own. Parallel algorithms (tbb::parallel_for,
// tbb::parallel_reduce, ...) called inside execute() or execute_detached() run on it.
//
//   execute(work)           runs work in the pool; the calling thread may take part,
//                           but only in tasks of this work, never in other callers'
//                           work (a Python searcher of another search). For work that
//                           never waits on the caller (no Python).
//   execute_detached(work)  runs work on the pool's workers while the calling thread
//                           only waits; exceptions thrown by work (InternalFailure
//                           included) are rethrown on the calling thread. Called from
//                           a thread that is already inside the pool, work runs right
//                           there instead of blocking that thread.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include <oneapi/tbb/global_control.h>
#include <oneapi/tbb/task_arena.h>

namespace morvane {

// The pool size rule. `num_threads` and `rs_num_cpus` are the values of
// RAYON_NUM_THREADS and RAYON_RS_NUM_CPUS (nullopt when unset); a value counts only
// when it is ASCII digits with an optional leading '+', fitting in 64 bits.
// RAYON_NUM_THREADS gives its value, or `processors` for 0; else RAYON_RS_NUM_CPUS
// gives its value when above 0; else `processors`. The result is capped at
// kMaxPoolThreads so that an absurd request cannot fail to start.
inline constexpr std::size_t kMaxPoolThreads = 256;
std::size_t pool_size(std::optional<std::string_view> num_threads,
                      std::optional<std::string_view> rs_num_cpus, std::size_t processors);

class WorkerPool {
 public:
  static WorkerPool& instance();

  std::size_t threads() const noexcept { return threads_; }

  // True on a thread that is running work of this pool.
  bool in_pool() const;

  template <class F>
  void execute(F&& work) {
    arena_->execute([&] { oneapi::tbb::this_task_arena::isolate(work); });
  }

  template <class F>
  void execute_detached(F&& work) {
    if (in_pool()) {
      work();
      return;
    }
    Work erased{&work, [](void* f) { (*static_cast<std::remove_reference_t<F>*>(f))(); }};
    run_detached(erased);
  }

  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

 private:
  struct Work {
    void* target;
    void (*call)(void*);
  };

  class Observer;

  WorkerPool();
  ~WorkerPool();
  void run_detached(Work work);

  std::size_t threads_;
  std::unique_ptr<oneapi::tbb::global_control> control_;
  std::unique_ptr<oneapi::tbb::task_arena> arena_;
  std::unique_ptr<Observer> observer_;
};

}  // namespace morvane
