// The worker pool: its size rule, work on its threads, fork-join and its pieces,
// exceptions carried back, and a fork child that gets a pool of its own.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <barrier>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/internal_failure.hpp"
#include "support/pool.hpp"

namespace morvane {
namespace {

using pool::join;
using pool::parallel_for;
using pool::parallel_reduce;
using pool::Range;
using pool::Split;

struct SizeCase {
  std::optional<std::string_view> num_threads;
  std::optional<std::string_view> rs_num_cpus;
  std::size_t expected;
};

TEST(PoolSize, FromTheEnvironment) {
  const std::size_t cpus = 6;
  const SizeCase cases[] = {
      {std::nullopt, std::nullopt, cpus},
      {"4", std::nullopt, 4},
      {"+4", std::nullopt, 4},
      {"0", std::nullopt, cpus},
      {"0", "3", cpus},  // a valid RAYON_NUM_THREADS wins, 0 meaning the processors
      {"", "3", 3},
      {" 4", "3", 3},  // no blanks
      {"4 ", std::nullopt, cpus},
      {"-4", std::nullopt, cpus},
      {"++4", std::nullopt, cpus},
      {"4x", std::nullopt, cpus},
      {"18446744073709551616", "2", 2},  // beyond 64 bits: not a number
      {std::nullopt, "0", cpus},
      {std::nullopt, "+2", 2},
      {std::nullopt, "two", cpus},
      {"18446744073709551615", std::nullopt, pool::kMaxThreads},  // capped, not failing
      {"100000", std::nullopt, pool::kMaxThreads},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(pool::size_for(c.num_threads, c.rs_num_cpus, cpus), c.expected)
        << c.num_threads.value_or("<unset>") << " / " << c.rs_num_cpus.value_or("<unset>");
  }
}

// Runs the tests matching `filter` again in a freshly executed process whose
// environment holds RAYON_NUM_THREADS=`threads` (the pool reads the variable only
// once, when it is made); true when they pass.
bool passes_in_child(const char* threads, const char* filter) {
  const std::string variable = std::string("RAYON_NUM_THREADS=") + threads;
  const std::string filter_arg = std::string("--gtest_filter=") + filter;
  char* const argv[] = {const_cast<char*>("pool_test"), const_cast<char*>(filter_arg.c_str()), nullptr};
  char* const envp[] = {const_cast<char*>(variable.c_str()), nullptr};
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    execve("/proc/self/exe", argv, envp);
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool child_with(const char* threads) {
  const char* value = std::getenv("RAYON_NUM_THREADS");
  return value != nullptr && std::string_view(value) == threads;
}

// Waits for a forked child for at most `limit`; a child still running then is killed
// and counts as a failure. Its exit status otherwise.
int exit_status_within(pid_t pid, std::chrono::seconds limit) {
  const auto give_up = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= give_up) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The threads that ran a parallel_for's bodies, from detached work.
std::set<std::thread::id> threads_of_detached_loop(std::size_t n) {
  std::mutex mutex;
  std::set<std::thread::id> seen;
  pool::run_on_workers([&] {
    parallel_for(0, n, [&](std::size_t) {
      std::lock_guard lock(mutex);
      seen.insert(std::this_thread::get_id());
    });
  });
  return seen;
}

// The threads of this process that are pool workers, by their names.
std::size_t workers_running() {
  std::size_t count = 0;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream comm(task.path() / "comm");
    std::string name;
    if (std::getline(comm, name) && name.starts_with("morvane-pool-")) ++count;
  }
  return count;
}

// The worker count once it has settled: workers name themselves as they start.
std::size_t workers_running_settled(std::size_t expected) {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (workers_running() < expected && std::chrono::steady_clock::now() < give_up) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return workers_running();
}

TEST(Pool, ReadsTheVariableOnFirstUse) { EXPECT_TRUE(passes_in_child("3", "Pool.ChildReportsSize")); }

TEST(Pool, ChildReportsSize) {
  if (!child_with("3")) GTEST_SKIP() << "run by ReadsTheVariableOnFirstUse";
  EXPECT_EQ(pool::threads(), 3u);
}

// A caller taking part in its own work (execute) must not pick up pieces of another
// caller's detached work while it waits: those may call a Python searcher, which
// runs only on the workers and on its own caller. Idle workers are needed for the
// waiting caller to find nothing of its own to do, hence a child with six.
TEST(Pool, ExecuteTakesNoPartInOtherCallersWork) {
  EXPECT_TRUE(passes_in_child("6", "Pool.ChildExecuteStaysInItsOwnWork"));
}

TEST(Pool, ChildExecuteStaysInItsOwnWork) {
  if (!child_with("6")) GTEST_SKIP() << "run by ExecuteTakesNoPartInOtherCallersWork";
  std::mutex mutex;
  std::set<std::thread::id> detached_threads;
  std::atomic<bool> stop = false;
  std::thread::id taking_part;
  std::thread other([&] {
    taking_part = std::this_thread::get_id();
    while (!stop) {
      pool::execute([] { join([] {}, [] { join([] {}, [] {}); }); });
    }
  });
  for (int round = 0; round < 100; ++round) {
    pool::run_on_workers([&] {
      parallel_for(0, 8, [&](std::size_t) {
        {
          std::lock_guard lock(mutex);
          detached_threads.insert(std::this_thread::get_id());
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      });
    });
  }
  stop = true;
  other.join();
  EXPECT_EQ(detached_threads.count(taking_part), 0u);
}

// Four bodies that each wait for all four to arrive: they can only finish when they
// run at the same time, on four workers.
TEST(Pool, SlowBodiesOverlap) { EXPECT_TRUE(passes_in_child("4", "Pool.ChildBodiesOverlap")); }

TEST(Pool, ChildBodiesOverlap) {
  if (!child_with("4")) GTEST_SKIP() << "run by SlowBodiesOverlap";
  std::atomic<int> arrived = 0;
  std::atomic<int> met = 0;
  pool::run_on_workers([&] {
    parallel_for(0, 4, [&](std::size_t) {
      ++arrived;
      const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      while (arrived < 4 && std::chrono::steady_clock::now() < give_up) std::this_thread::yield();
      if (arrived == 4) ++met;
    });
  });
  EXPECT_EQ(met, 4);
}

TEST(Pool, DetachedWorkRunsOnWorkersNotTheCaller) {
  const std::set<std::thread::id> seen = threads_of_detached_loop(64);
  EXPECT_FALSE(seen.empty());
  EXPECT_EQ(seen.count(std::this_thread::get_id()), 0u);
  EXPECT_FALSE(pool::in_work());
}

TEST(Pool, NestedDetachedWorkRunsInline) {
  std::atomic<int> runs = 0;
  pool::run_on_workers([&] {
    EXPECT_TRUE(pool::in_work());
    const auto outer = std::this_thread::get_id();
    pool::run_on_workers([&] {
      EXPECT_EQ(std::this_thread::get_id(), outer);
      ++runs;
    });
  });
  EXPECT_EQ(runs, 1);
}

TEST(Pool, ParallelForVisitsEveryIndexOnce) {
  for (std::size_t n : {0u, 1u, 2u, 7u, 64u, 1000u}) {
    std::vector<std::atomic<int>> visits(n);
    pool::run_on_workers([&] { parallel_for(0, n, [&](std::size_t i) { ++visits[i]; }); });
    for (std::size_t i = 0; i < n; ++i) EXPECT_EQ(visits[i], 1) << "index " << i << " of " << n;
  }
}

// Records the pieces it ran, in range order once joined.
struct PieceLog {
  std::vector<std::pair<std::size_t, std::size_t>> pieces;
  PieceLog() = default;
  PieceLog(PieceLog&, Split) {}
  void operator()(const Range& range) { pieces.emplace_back(range.begin, range.end); }
  void join(PieceLog& right) { pieces.insert(pieces.end(), right.pieces.begin(), right.pieces.end()); }
};

TEST(Pool, ReduceHalvesTheRangeTheSameWayEveryTime) {
  using Pieces = std::vector<std::pair<std::size_t, std::size_t>>;
  struct Case {
    std::size_t size;
    std::size_t grain;
    Pieces expected;
  };
  const Case cases[] = {
      {1, 1, {{0, 1}}},
      {3, 3, {{0, 3}}},
      {4, 1, {{0, 1}, {1, 2}, {2, 3}, {3, 4}}},
      {10, 3, {{0, 2}, {2, 5}, {5, 7}, {7, 10}}},
      {7, 2, {{0, 1}, {1, 3}, {3, 5}, {5, 7}}},
      {5, 0, {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}}},  // a grain of 0 counts as 1
  };
  for (const Case& c : cases) {
    for (int round = 0; round < 20; ++round) {
      PieceLog log;
      pool::run_on_workers([&] { parallel_reduce(0, c.size, c.grain, log); });
      EXPECT_EQ(log.pieces, c.expected) << c.size << " by " << c.grain;
    }
  }
}

TEST(Pool, OutsidePoolWorkPiecesRunInOrderOnTheCaller) {
  const auto caller = std::this_thread::get_id();
  std::vector<int> order;
  join([&] { order.push_back(1); },
       [&] {
         EXPECT_EQ(std::this_thread::get_id(), caller);
         order.push_back(2);
       });
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(Pool, InlineScopeKeepsEveryPieceOnTheCaller) {
  const auto caller = std::this_thread::get_id();
  std::vector<std::size_t> order;
  {
    pool::InlineScope alone;
    pool::run_on_workers([&] {
      parallel_for(0, 8, [&](std::size_t i) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        order.push_back(i);
      });
    });
    pool::execute([&] { join([&] { order.push_back(100); }, [&] { order.push_back(101); }); });
  }
  EXPECT_EQ(order, (std::vector<std::size_t>{0, 1, 2, 3, 4, 5, 6, 7, 100, 101}));
  // Without the scope the workers are used again.
  EXPECT_EQ(threads_of_detached_loop(8).count(caller), 0u);
}

TEST(Pool, FailureInWorkReachesTheCaller) {
  EXPECT_THROW(pool::run_on_workers([] {
    parallel_for(0, 8, [](std::size_t i) {
      if (i == 5) throw InternalFailure("worker failed");
    });
  }),
               InternalFailure);
  EXPECT_THROW(pool::execute([] { throw InternalFailure("caller part failed"); }), InternalFailure);
  // Both halves of a join fail: the first half's failure wins, and the second half,
  // skipped or run, is no longer running when it arrives.
  for (int round = 0; round < 50; ++round) {
    std::atomic<int> started = 0;
    std::atomic<int> ended = 0;
    try {
      pool::execute([&] {
        join([] { throw InternalFailure("first"); },
             [&] {
               ++started;
               std::this_thread::sleep_for(std::chrono::microseconds(200));
               ++ended;
               throw InternalFailure("second");
             });
      });
      ADD_FAILURE() << "no failure reached the caller";
    } catch (const InternalFailure& failure) {
      EXPECT_EQ(failure.message(), "first");
      EXPECT_EQ(started, ended);
    }
  }
  // The pool is still usable afterwards.
  std::atomic<int> sum = 0;  // the two halves may run at once
  pool::execute([&] { join([&] { sum += 1; }, [&] { sum += 2; }); });
  EXPECT_EQ(sum, 3);
}

// The pool as a fork child finds it: made and busy in the parent, other threads of
// the parent inside it at the moment of the fork. The child must get a pool of its
// own, with workers of its own that run its work, and never wait on the parent's
// threads.
TEST(Pool, ForkChildGetsAPoolOfItsOwn) {
#ifdef __SANITIZE_THREAD__
  GTEST_SKIP() << "ThreadSanitizer cannot follow a child that starts threads after fork";
#endif
  const std::size_t size = pool::threads();
  ASSERT_EQ(workers_running_settled(size), size);
  std::atomic<bool> stop = false;
  std::vector<std::thread> busy;
  for (int i = 0; i < 2; ++i) {
    busy.emplace_back([&, i] {
      while (!stop) {
        if (i == 0) {
          threads_of_detached_loop(16);
        } else {
          pool::execute([] { join([] {}, [] { join([] {}, [] {}); }); });
        }
      }
    });
  }
  for (int round = 0; round < 20; ++round) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int status = 0;
      // None of the parent's workers came along: those running here are new.
      if (pool::threads() != size || workers_running_settled(size) != size) status = 10;
      const auto seen = threads_of_detached_loop(16);
      if (seen.empty() || seen.count(std::this_thread::get_id()) != 0) status = 11;
      std::atomic<int> sum = 0;
      pool::execute([&] { join([&] { sum += 1; }, [&] { sum += 2; }); });
      if (sum != 3) status = 12;
      _exit(status);
    }
    EXPECT_EQ(exit_status_within(pid, std::chrono::seconds(10)), 0) << "round " << round;
  }
  stop = true;
  for (auto& t : busy) t.join();
  // The parent goes on as before, with the same workers.
  EXPECT_EQ(pool::threads(), size);
  EXPECT_EQ(workers_running(), size);
  EXPECT_EQ(threads_of_detached_loop(16).count(std::this_thread::get_id()), 0u);
}

}  // namespace
}  // namespace morvane
