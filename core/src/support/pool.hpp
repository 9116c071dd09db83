// WorkerPool: the one process-wide pool of worker threads, made on first use and kept
// until the process ends.
//
// Its size is fixed when it is made, from the environment (pool_size below): N means
// N worker threads of its own. A child made by fork has none of the parent's threads,
// so there the parent's pool is abandoned (never touched, never freed) and the
// child's first use makes a new one by the same rules.
//
//   execute(work)           runs work on the calling thread, which takes part: the
//                           pieces that work offers (join, parallel_for, ...) go to
//                           workers that are awake, and the caller runs itself what
//                           none took. It wakes no sleeping worker for them: a wake
//                           costs tens of microseconds, more than such work. While it
//                           waits for a piece, the caller runs only pieces of this
//                           work, never another caller's (a Python searcher of another
//                           search). For work that never waits on the caller.
//   execute_detached(work)  runs work on a worker while the calling thread only waits;
//                           called from inside pool work, work runs right there instead
//                           of blocking that thread. Pieces offered on a worker wake a
//                           sleeping worker, so that slow pieces overlap.
//   InlineScope             while one lives, pool work started on its thread runs on
//                           that thread alone, one piece after another: for a caller
//                           that must not wait on the workers.
//
// Fork-join, inside pool work (outside it, the pieces run in order on the caller):
//   join(a, b)                          runs a here and offers b to the pool; b runs
//                                       here as well when no worker took it.
//   parallel_for(begin, end, body)      body(i) for every i, the range halved down to
//                                       single indices, so that slow bodies overlap.
//   parallel_reduce(begin, end, grain, body)
//                                       the range halved while longer than grain; each
//                                       piece gets a body of its own (Body(body, Split{})
//                                       for the later half), body(piece) runs on each,
//                                       and halves meet by left.join(right), the earlier
//                                       half on the left. The pieces and the order of
//                                       the joins never depend on the threads.
//
// An exception thrown by a piece (InternalFailure included) is carried to the join
// that waits for it and rethrown there, so it reaches the caller of execute or
// execute_detached. When the first half of a join throws, the second half is either
// skipped (nobody took it yet) or waited for, and the first half's exception wins.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>

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

namespace pool_detail {

// One piece of work offered to the pool. It lives in the frame that offers it, which
// waits for it before it returns.
struct Task {
  void (*call)(Task&) = nullptr;
  std::uint64_t tag = 0;  // the work it belongs to: who may run it while waiting
  Task* prev = nullptr;   // queue links, guarded by the pool's mutex
  Task* next = nullptr;
  bool queued = false;
  // 0 while not done, kDone once done, else the address of a waiter asleep on it.
  std::atomic<std::uintptr_t> state{0};
  std::exception_ptr failure;
};

template <class F>
struct CallTask : Task {
  explicit CallTask(F& f) : fn(f) {
    call = [](Task& task) { static_cast<CallTask&>(task).fn(); };
  }
  F& fn;
};

bool running_inline() noexcept;
bool inside_work() noexcept;  // this thread runs pool work (a worker, or execute)
std::uint64_t new_tag() noexcept;

// Offers `task` under this thread's current work; false when the pool has no worker.
bool offer(Task& task);
// Offers `task` as new work of its own, for the workers only.
bool offer_detached(Task& task);
// True when `task` was still waiting in the queue: it is now the caller's to run.
bool reclaim(Task& task) noexcept;
// Returns once `task` is done, running queued pieces of this thread's work meanwhile.
void wait(Task& task);

// Marks the calling thread as running the work `tag` for its lifetime.
class WorkScope {
 public:
  explicit WorkScope(std::uint64_t tag) noexcept;
  ~WorkScope();
  WorkScope(const WorkScope&) = delete;
  WorkScope& operator=(const WorkScope&) = delete;

 private:
  std::uint64_t saved_;
};

}  // namespace pool_detail

class WorkerPool {
 public:
  // This process's pool, made on the first call.
  static WorkerPool& instance();

  std::size_t threads() const noexcept { return threads_; }

  // True on a thread that is running pool work: a worker inside a piece, or a caller
  // inside execute().
  bool in_pool() const noexcept { return pool_detail::inside_work(); }

  template <class F>
  void execute(F&& work) {
    if (pool_detail::running_inline()) {
      work();
      return;
    }
    pool_detail::WorkScope scope(pool_detail::new_tag());
    work();
  }

  template <class F>
  void execute_detached(F&& work) {
    if (pool_detail::running_inline() || in_pool()) {
      work();
      return;
    }
    pool_detail::CallTask<std::remove_reference_t<F>> task(work);
    if (!pool_detail::offer_detached(task)) {
      work();  // no worker could be started: the caller is all there is
      return;
    }
    pool_detail::wait(task);
    if (task.failure) std::rethrow_exception(task.failure);
  }

  class InlineScope {
   public:
    InlineScope() noexcept;
    ~InlineScope();
    InlineScope(const InlineScope&) = delete;
    InlineScope& operator=(const InlineScope&) = delete;
  };

  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

 private:
  friend class PoolCore;
  explicit WorkerPool(std::size_t threads) noexcept : threads_(threads) {}
  ~WorkerPool() = default;

  std::size_t threads_;
};

template <class A, class B>
void join(A&& a, B&& b) {
  using namespace pool_detail;
  if (running_inline() || !inside_work()) {
    a();
    b();
    return;
  }
  CallTask<std::remove_reference_t<B>> task(b);
  if (!offer(task)) {
    a();
    b();
    return;
  }
  try {
    a();
  } catch (...) {
    // b may still refer to this frame: it must be done, or taken back, first.
    if (!reclaim(task)) wait(task);
    throw;
  }
  if (reclaim(task)) {
    b();
    return;
  }
  wait(task);
  if (task.failure) std::rethrow_exception(task.failure);
}

template <class F>
void parallel_for(std::size_t begin, std::size_t end, F&& body) {
  if (begin >= end) return;
  if (end - begin == 1) {
    body(begin);
    return;
  }
  const std::size_t middle = begin + (end - begin) / 2;
  join([&] { parallel_for(begin, middle, body); }, [&] { parallel_for(middle, end, body); });
}

struct Split {};
struct Range {
  std::size_t begin;
  std::size_t end;
  std::size_t size() const noexcept { return end - begin; }
};

template <class Body>
void parallel_reduce(std::size_t begin, std::size_t end, std::size_t grain, Body& body) {
  if (grain == 0) grain = 1;
  if (end - begin <= grain) {
    body(Range{begin, end});
    return;
  }
  const std::size_t middle = begin + (end - begin) / 2;
  Body right(body, Split{});
  join([&] { parallel_reduce(begin, middle, grain, body); },
       [&] { parallel_reduce(middle, end, grain, right); });
  body.join(right);
}

}  // namespace morvane
