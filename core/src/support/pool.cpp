#include "support/pool.hpp"

#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <cxxabi.h>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "support/internal_failure.hpp"
#include "support/thread_name.hpp"

namespace morvane::pool {
namespace {

// ASCII digits with an optional leading '+', nothing else, within 64 bits. from_chars
// on an unsigned value takes no sign and no blank, and the whole text must be used.
std::optional<std::uint64_t> parse_count(std::optional<std::string_view> text) {
  if (!text) return std::nullopt;
  std::string_view digits = *text;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
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

std::size_t processor_count() {
  const unsigned n = std::thread::hardware_concurrency();
  return n == 0 ? 1 : n;
}

using Clock = std::chrono::steady_clock;

// How long an idle worker keeps looking for work before it sleeps, and how long a
// waiting thread polls before it sleeps. Pool work is often short (one beam
// iteration, one path): a thread put to sleep and woken again costs tens of
// microseconds on a virtual machine, far more than the work itself.
constexpr auto kIdleSpin = std::chrono::microseconds(100);
constexpr auto kWaitSpin = std::chrono::microseconds(200);

constexpr std::uintptr_t kDone = 1;

// The work this thread runs (0: none), whether pool work on it runs inline, and
// whether it is one of the pool's workers (whose offers wake sleeping workers).
constinit thread_local std::uint64_t t_tag = 0;
constinit thread_local int t_inline = 0;
constinit thread_local bool t_worker = false;

// What a thread sleeps on while it waits for a piece that another thread runs. It
// lives as long as its thread, so the thread that finishes the piece may still
// touch it after the waiter has gone on.
struct Parker {
  std::atomic<std::uint32_t> woken{0};
};
constinit thread_local Parker t_parker;

std::atomic<std::uint64_t> g_next_tag{1};

}  // namespace

std::size_t size_for(std::optional<std::string_view> num_threads, std::optional<std::string_view> rs_num_cpus,
                     std::size_t processors) {
  std::uint64_t size = processors;
  if (auto n = parse_count(num_threads)) {
    size = *n > 0 ? *n : processors;
  } else if (auto m = parse_count(rs_num_cpus); m && *m > 0) {
    size = *m;
  }
  if (size == 0) size = 1;
  return static_cast<std::size_t>(size < kMaxThreads ? size : kMaxThreads);
}

namespace {

using detail::Task;

// The pool's state: one queue of offered pieces, oldest first, under one mutex; the
// workers take the oldest piece (the largest part of a halved range), a waiting thread
// the newest piece of its own work.
class Pool {
 public:
  // Starts the workers; the pool's size is the number that could be started.
  void start(std::size_t wanted);
  std::size_t threads() const noexcept { return threads_; }
  std::size_t sleepers() const noexcept { return static_cast<std::size_t>(sleepers_.load()); }

  void push(Task& task, bool wake);
  Task* take_any();
  Task* take_of(std::uint64_t tag);
  bool reclaim(Task& task) noexcept;

 private:
  void unlink(Task& task) noexcept;
  void worker_main();

  std::size_t threads_ = 0;
  std::mutex mutex_;
  Task* head_ = nullptr;
  Task* tail_ = nullptr;
  std::atomic<std::size_t> queued_{0};
  std::atomic<std::uint32_t> wake_epoch_{0};
  std::atomic<int> sleepers_{0};
};

// The current process's pool. A fork child's handler forgets the parent's (whose
// threads did not come along) without touching it; the next use makes a new one.
std::atomic<Pool*> g_pool{nullptr};
std::atomic<bool> g_making{false};

void forget_pool_in_child() noexcept {
  g_pool.store(nullptr, std::memory_order_relaxed);
  g_making.store(false, std::memory_order_relaxed);
  // The forking thread alone comes along; whatever pool work it was part of stays
  // behind with the parent's pool.
  t_tag = 0;
  t_worker = false;
}

Pool* current_pool() noexcept { return g_pool.load(std::memory_order_acquire); }

// Marks a piece done and wakes its waiter if one sleeps on it. The last touch of the
// task: once the state says done, the frame that holds it may be gone.
void finish(Task& task) noexcept {
  if (const auto waiter = task.state.exchange(kDone, std::memory_order_acq_rel); waiter != 0) {
    auto* parker = reinterpret_cast<Parker*>(waiter);
    parker->woken.store(1, std::memory_order_release);
    parker->woken.notify_one();
  }
}

// Runs one piece on this thread under the piece's work, and marks it done. (The
// handler of a forced unwind binds to no exception object, which the sanitizer's null
// check would report.)
__attribute__((no_sanitize("null"))) void run_piece(Task& task) {
  detail::WorkScope scope(task.tag);
  try {
    task.call(task);
  } catch (const abi::__forced_unwind&) {
    // This thread is being ended (pthread_exit) in the middle of the piece: the waiter
    // hears of it rather than waiting for good, and the unwinding goes on.
    task.failure =
        std::make_exception_ptr(InternalFailure("a pool thread was ended while running pool work"));
    finish(task);
    throw;
  } catch (...) {
    task.failure = std::current_exception();
  }
  finish(task);
}

void Pool::start(std::size_t wanted) {
  std::size_t started = 0;
  for (; started < wanted; ++started) {
    try {
      std::thread worker([this, index = started] {
        name_this_thread("morvane-pool-" + std::to_string(index));
        worker_main();
      });
      worker.detach();
    } catch (...) {
      break;  // no more threads to be had: the pool works with those it has
    }
  }
  threads_ = started;
}

void Pool::worker_main() {
  t_worker = true;
  for (;;) {
    if (Task* task = take_any()) {
      run_piece(*task);
      // In a fork child this thread can only be the forking one, back from a piece
      // of the parent's pool: it has no pool to serve any more.
      if (current_pool() != this) return;
      continue;
    }
    const auto give_up = Clock::now() + kIdleSpin;
    bool found = false;
    while (Clock::now() < give_up) {
      if (queued_.load(std::memory_order_seq_cst) != 0) {
        found = true;
        break;
      }
      sched_yield();
    }
    if (found) continue;
    // Asleep until a piece is offered. The counter and the queue are read in the
    // opposite order from push(), so that one of the two always sees the other.
    sleepers_.fetch_add(1, std::memory_order_seq_cst);
    const std::uint32_t epoch = wake_epoch_.load(std::memory_order_seq_cst);
    if (queued_.load(std::memory_order_seq_cst) == 0) wake_epoch_.wait(epoch, std::memory_order_seq_cst);
    sleepers_.fetch_sub(1, std::memory_order_seq_cst);
  }
}

void Pool::push(Task& task, bool wake) {
  {
    std::lock_guard lock(mutex_);
    task.prev = tail_;
    task.next = nullptr;
    task.queued = true;
    (tail_ != nullptr ? tail_->next : head_) = &task;
    tail_ = &task;
    queued_.fetch_add(1, std::memory_order_seq_cst);
  }
  if (wake && sleepers_.load(std::memory_order_seq_cst) > 0) {
    wake_epoch_.fetch_add(1, std::memory_order_seq_cst);
    wake_epoch_.notify_one();
  }
}

void Pool::unlink(Task& task) noexcept {
  (task.prev != nullptr ? task.prev->next : head_) = task.next;
  (task.next != nullptr ? task.next->prev : tail_) = task.prev;
  task.prev = task.next = nullptr;
  task.queued = false;
  queued_.fetch_sub(1, std::memory_order_seq_cst);
}

Task* Pool::take_any() {
  if (queued_.load(std::memory_order_seq_cst) == 0) return nullptr;
  std::lock_guard lock(mutex_);
  Task* task = head_;
  if (task != nullptr) unlink(*task);
  return task;
}

Task* Pool::take_of(std::uint64_t tag) {
  if (tag == 0 || queued_.load(std::memory_order_seq_cst) == 0) return nullptr;
  std::lock_guard lock(mutex_);
  for (Task* task = tail_; task != nullptr; task = task->prev) {
    if (task->tag == tag) {
      unlink(*task);
      return task;
    }
  }
  return nullptr;
}

bool Pool::reclaim(Task& task) noexcept {
  std::lock_guard lock(mutex_);
  if (!task.queued) return false;
  unlink(task);
  return true;
}

// This process's pool, made on the first call.
Pool& the_pool() {
  if (Pool* pool = current_pool()) return *pool;
  static const bool registered = [] {
    pthread_atfork(nullptr, nullptr, forget_pool_in_child);
    return true;
  }();
  (void)registered;
  // One thread makes the pool while the others wait for it. A spin flag rather than a
  // mutex: a fork child resets it, whatever state the parent left it in.
  while (g_making.exchange(true, std::memory_order_acquire)) sched_yield();
  struct Done {
    ~Done() { g_making.store(false, std::memory_order_release); }
  } done;
  Pool* pool = current_pool();
  if (pool == nullptr) {
    // Never destroyed: workers may still be running when static destructors run at exit.
    pool = new Pool;
    pool->start(size_for(env("RAYON_NUM_THREADS"), env("RAYON_RS_NUM_CPUS"), processor_count()));
    g_pool.store(pool, std::memory_order_release);
  }
  return *pool;
}

}  // namespace

std::size_t threads() { return the_pool().threads(); }
bool in_work() noexcept { return t_tag != 0; }

InlineScope::InlineScope() noexcept { ++t_inline; }
InlineScope::~InlineScope() { --t_inline; }

namespace detail {

bool running_inline() noexcept { return t_inline > 0; }
std::uint64_t new_tag() noexcept { return g_next_tag.fetch_add(1, std::memory_order_relaxed); }

WorkScope::WorkScope(std::uint64_t tag) noexcept : saved_(t_tag) { t_tag = tag; }
WorkScope::~WorkScope() { t_tag = saved_; }

bool offer(Task& task) {
  Pool& pool = the_pool();
  if (pool.threads() == 0) return false;
  task.tag = t_tag;
  pool.push(task, t_worker);
  return true;
}

bool offer_to_workers(Task& task) {
  Pool& pool = the_pool();
  if (pool.threads() == 0) return false;
  task.tag = new_tag();
  pool.push(task, true);
  return true;
}

bool reclaim(Task& task) noexcept {
  Pool* pool = current_pool();
  return pool != nullptr && pool->reclaim(task);
}

void wait(Task& task) {
  Pool* pool = current_pool();
  const auto give_up = Clock::now() + kWaitSpin;
  while (task.state.load(std::memory_order_acquire) != kDone) {
    if (pool != nullptr) {
      if (Task* mine = pool->take_of(t_tag)) {
        run_piece(*mine);
        continue;
      }
    }
    if (Clock::now() >= give_up) {
      Parker& parker = t_parker;
      parker.woken.store(0, std::memory_order_relaxed);
      std::uintptr_t expected = 0;
      if (task.state.compare_exchange_strong(expected, reinterpret_cast<std::uintptr_t>(&parker),
                                             std::memory_order_acq_rel, std::memory_order_acquire)) {
        while (parker.woken.load(std::memory_order_acquire) == 0)
          parker.woken.wait(0, std::memory_order_acquire);
      }
      break;
    }
    sched_yield();
  }
}

std::size_t sleeping_workers() noexcept {
  const Pool* pool = current_pool();
  return pool != nullptr ? pool->sleepers() : 0;
}

}  // namespace detail
}  // namespace morvane::pool
