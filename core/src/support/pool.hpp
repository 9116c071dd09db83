// pool: the one process-wide pool of worker threads, made on first use and kept
// until the process ends. Its workers are never destroyed: they may still be running
// when static destructors run at exit.
//
// Its size is fixed when it is made, from the environment (size_for below): N asks for
// N worker threads, and the pool has as many as could be started, which may be none
// (a pids limit, an address-space limit with no room for a thread stack). With no
// worker every call below runs all of its work on the calling thread, pieces in order,
// and gives the results it gives with workers.
//
//   threads()               the number of workers (making the pool on first use).
//   execute(work)           runs work on the calling thread, which takes part: the
//                           pieces that work offers (join, parallel_for, ...) go to
//                           workers that are awake, and the caller runs itself what
//                           none took. It wakes no sleeping worker for them: a wake
//                           costs tens of microseconds, more than such work. While it
//                           waits for a piece, the caller runs only pieces of this
//                           work, never another caller's (a Python searcher of another
//                           search). For work that never waits on the caller.
//   run_on_workers(work)    runs work on a worker and returns once it is done; the
//                           calling thread only waits. Called from inside pool work,
//                           work runs right there instead of blocking that thread.
//                           Pieces offered on a worker wake a sleeping worker, so that
//                           slow pieces overlap.
//   in_work()               true on a thread that is running pool work: a worker inside
//                           a piece, or a caller inside execute().
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
// run_on_workers. When the first half of a join throws, the second half is either
// skipped (nobody took it yet) or waited for, and the first half's exception wins.
//
// Fork: a child has none of the parent's threads, so there the parent's pool is
// abandoned (never touched, never freed) and the child's first use makes a new one by
// the same rules. A thread that forks from inside pool work is outside any pool work
// in the child, but the frames of the work it was part of are still on its stack and
// the threads they would wait for are not there: such a child must not return into
// that work (a join would wait for good), but do its own work and exit.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>

namespace morvane::pool {

// The size rule. `num_threads` and `rs_num_cpus` are the values of RAYON_NUM_THREADS
// and RAYON_RS_NUM_CPUS (nullopt when unset); a value counts only when it is ASCII
// digits with an optional leading '+', fitting in 64 bits. RAYON_NUM_THREADS gives its
// value, or `processors` for 0; else RAYON_RS_NUM_CPUS gives its value when above 0;
// else `processors`. The result is capped at kMaxThreads so that an absurd request
// cannot fail to start.
inline constexpr std::size_t kMaxThreads = 256;
std::size_t size_for(std::optional<std::string_view> num_threads, std::optional<std::string_view> rs_num_cpus,
                     std::size_t processors);

std::size_t threads();
bool in_work() noexcept;

class InlineScope {
 public:
  InlineScope() noexcept;
  ~InlineScope();
  InlineScope(const InlineScope&) = delete;
  InlineScope& operator=(const InlineScope&) = delete;
};

namespace detail {

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
std::uint64_t new_tag() noexcept;

// Offers `task` under this thread's current work; false when the pool has no worker.
bool offer(Task& task);
// Offers `task` as new work of its own, for the workers only; false when there is none.
bool offer_to_workers(Task& task);
// True when `task` was still waiting in the queue: it is now the caller's to run.
bool reclaim(Task& task) noexcept;
// Returns once `task` is done, running queued pieces of this thread's work meanwhile.
void wait(Task& task);

// How many workers are asleep, waiting for a piece to be offered (for tests).
std::size_t sleeping_workers() noexcept;

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

}  // namespace detail

template <class F>
void execute(F&& work) {
  if (detail::running_inline()) {
    work();
    return;
  }
  detail::WorkScope scope(detail::new_tag());
  work();
}

template <class F>
void run_on_workers(F&& work) {
  if (detail::running_inline() || in_work()) {
    work();
    return;
  }
  detail::CallTask<std::remove_reference_t<F>> task(work);
  if (!detail::offer_to_workers(task)) {
    work();  // no worker could be started: the caller is all there is
    return;
  }
  detail::wait(task);
  if (task.failure) std::rethrow_exception(task.failure);
}

template <class A, class B>
void join(A&& a, B&& b) {
  using namespace detail;
  if (running_inline() || !in_work()) {
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

}  // namespace morvane::pool
