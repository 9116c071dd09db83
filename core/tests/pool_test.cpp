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

#include "fresh_process.hpp"
#include "support/internal_failure.hpp"
#include "support/pool.hpp"

namespace morvane {
namespace {

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

// Waits until `flag` is set, for at most `limit`; whether it was.
bool wait_for(const std::atomic<bool>& flag, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
  const auto give_up = std::chrono::steady_clock::now() + limit;
  while (!flag && std::chrono::steady_clock::now() < give_up) std::this_thread::yield();
  return flag;
}

// The threads that ran a parallel_for's bodies, from work run on the workers.
std::set<std::thread::id> threads_of_loop_on_workers(std::size_t n) {
  std::mutex mutex;
  std::set<std::thread::id> seen;
  pool::run_on_workers([&] {
    pool::parallel_for(0, n, [&](std::size_t) {
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

TEST(Pool, ReadsTheVariableOnFirstUse) {
  expect_in_fresh_process("3", [] {
    EXPECT_EQ(pool::threads(), 3u);
    EXPECT_EQ(workers_running_settled(3), 3u);
  });
}

// Threads that all use the pool for the first time at the same moment get one pool.
TEST(Pool, ThreadsMakingThePoolAtOnceMakeOne) {
  expect_in_fresh_process("3", [] {
    constexpr std::size_t kMakers = 8;
    std::barrier start(kMakers);
    std::vector<std::size_t> sizes(kMakers);
    std::vector<std::thread> makers;
    for (std::size_t i = 0; i < kMakers; ++i) {
      makers.emplace_back([&, i] {
        start.arrive_and_wait();
        sizes[i] = pool::threads();
      });
    }
    for (auto& maker : makers) maker.join();
    EXPECT_EQ(sizes, std::vector<std::size_t>(kMakers, 3));
    EXPECT_EQ(workers_running_settled(3), 3u);
  });
}

// A caller taking part in its own work (execute) must not pick up pieces of another
// caller's work while it waits: those may call a Python searcher, which runs only on
// the workers and on its own caller. With one worker: the caller's second half runs on
// the worker (the other caller's offers wake it, as the caller's own do not), another
// caller's work is queued behind it, and only then does the first half return, so the
// caller waits while that work is there for the taking.
TEST(Pool, ExecuteWaitsWithoutRunningOtherCallersWork) {
  expect_in_fresh_process("1", [] {
    for (int round = 0; round < 3; ++round) {
      std::atomic<bool> second_half_runs = false;
      std::atomic<bool> last_other_work_ran = false;
      std::mutex mutex;
      std::set<std::thread::id> other_work_threads;
      const auto other_work = [&] {
        std::lock_guard lock(mutex);
        other_work_threads.insert(std::this_thread::get_id());
      };
      std::thread::id caller;
      std::thread taking_part([&] {
        caller = std::this_thread::get_id();
        pool::execute([&] {
          pool::join(
              [&] {
                wait_for(second_half_runs);
                std::this_thread::sleep_for(std::chrono::milliseconds(10));  // the other work queued
              },
              [&] {
                second_half_runs = true;
                wait_for(last_other_work_ran, std::chrono::milliseconds(200));
              });
        });
      });
      const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      while (!second_half_runs && std::chrono::steady_clock::now() < give_up) pool::run_on_workers(other_work);
      pool::run_on_workers([&] {
        other_work();
        last_other_work_ran = true;
      });
      taking_part.join();
      EXPECT_TRUE(second_half_runs);
      EXPECT_FALSE(other_work_threads.contains(caller)) << "round " << round;
    }
  });
}

// n pieces that each wait for all n to arrive: they can only finish when they run at
// the same time, on n workers. Once met, piece i runs met_at(i).
template <class F>
bool slow_pieces_meet(std::size_t n, F met_at) {
  std::atomic<std::size_t> arrived = 0;
  std::atomic<std::size_t> met = 0;
  pool::run_on_workers([&] {
    pool::parallel_for(0, n, [&](std::size_t i) {
      ++arrived;
      const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      while (arrived < n && std::chrono::steady_clock::now() < give_up) std::this_thread::yield();
      if (arrived == n) {
        ++met;
        met_at(i);
      }
    });
  });
  return met == n;
}

bool four_slow_pieces_meet() {
  return slow_pieces_meet(4, [](std::size_t) {});
}

// Once every worker sleeps, only the wake that each offered piece gives can start them.
TEST(Pool, SlowPiecesOverlapWhetherTheWorkersAreAwakeOrAsleep) {
  expect_in_fresh_process("4", [] {
    EXPECT_TRUE(four_slow_pieces_meet()) << "workers awake";
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (pool::detail::sleeping_workers() < 4 && std::chrono::steady_clock::now() < give_up) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(pool::detail::sleeping_workers(), 4u);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // past their last look at the queue
    EXPECT_TRUE(four_slow_pieces_meet()) << "workers asleep";
  });
}

// A failure names the worker it was made on, also past the 15 bytes of a name that
// the system keeps ("morvane-pool-10" and "morvane-pool-100" stay apart).
TEST(Pool, EachWorkerReportsANameOfItsOwn) {
  expect_in_fresh_process("110", [] {
    constexpr std::size_t kWorkers = 110;
    ASSERT_EQ(pool::threads(), kWorkers);
    std::vector<std::string> names(kWorkers);
    ASSERT_TRUE(slow_pieces_meet(kWorkers, [&](std::size_t i) { names[i] = InternalFailure("report").thread(); }));
    std::set<std::string> expected;
    for (std::size_t i = 0; i < kWorkers; ++i) expected.insert("morvane-pool-" + std::to_string(i));
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), expected);
  });
}

// Records the pieces it ran, in range order once joined.
struct PieceLog {
  std::vector<std::pair<std::size_t, std::size_t>> pieces;
  PieceLog() = default;
  PieceLog(PieceLog&, pool::Split) {}
  void operator()(const pool::Range& range) { pieces.emplace_back(range.begin, range.end); }
  void join(PieceLog& right) { pieces.insert(pieces.end(), right.pieces.begin(), right.pieces.end()); }
};

// A process that can start no thread has a pool without workers: every call runs on
// the caller and gives what it gives with workers.
TEST(Pool, WithoutWorkersEveryCallRunsOnTheCaller) {
  expect_in_fresh_process("4", [] {
    leave_no_room_for_threads();
    ASSERT_EQ(pool::threads(), 0u);
    EXPECT_EQ(workers_running(), 0u);
    EXPECT_EQ(threads_of_loop_on_workers(16), std::set<std::thread::id>{std::this_thread::get_id()});
    std::vector<int> visits(7);
    pool::execute([&] { pool::parallel_for(0, 7, [&](std::size_t i) { ++visits[i]; }); });
    EXPECT_EQ(visits, std::vector<int>(7, 1));
    PieceLog log;
    pool::run_on_workers([&] { pool::parallel_reduce(0, 10, 3, log); });
    EXPECT_EQ(log.pieces, (std::vector<std::pair<std::size_t, std::size_t>>{{0, 2}, {2, 5}, {5, 7}, {7, 10}}));
    EXPECT_THROW(pool::run_on_workers([] {
      pool::parallel_for(0, 4, [](std::size_t i) {
        if (i == 2) throw InternalFailure("piece failed");
      });
    }),
                 InternalFailure);
  });
}

TEST(Pool, WorkRunsOnWorkersNotTheCaller) {
  const std::set<std::thread::id> seen = threads_of_loop_on_workers(64);
  EXPECT_FALSE(seen.empty());
  EXPECT_EQ(seen.count(std::this_thread::get_id()), 0u);
  EXPECT_FALSE(pool::in_work());
}

TEST(Pool, NestedWorkRunsInline) {
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
    pool::run_on_workers([&] { pool::parallel_for(0, n, [&](std::size_t i) { ++visits[i]; }); });
    for (std::size_t i = 0; i < n; ++i) EXPECT_EQ(visits[i], 1) << "index " << i << " of " << n;
  }
}

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
      pool::run_on_workers([&] { pool::parallel_reduce(0, c.size, c.grain, log); });
      EXPECT_EQ(log.pieces, c.expected) << c.size << " by " << c.grain;
    }
  }
}

TEST(Pool, OutsidePoolWorkPiecesRunInOrderOnTheCaller) {
  const auto caller = std::this_thread::get_id();
  std::vector<int> order;
  pool::join([&] { order.push_back(1); },
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
      pool::parallel_for(0, 8, [&](std::size_t i) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        order.push_back(i);
      });
    });
    pool::execute([&] { pool::join([&] { order.push_back(100); }, [&] { order.push_back(101); }); });
  }
  EXPECT_EQ(order, (std::vector<std::size_t>{0, 1, 2, 3, 4, 5, 6, 7, 100, 101}));
  // Without the scope the workers are used again.
  EXPECT_EQ(threads_of_loop_on_workers(8).count(caller), 0u);
}

TEST(Pool, FailureInWorkReachesTheCaller) {
  EXPECT_THROW(pool::run_on_workers([] {
    pool::parallel_for(0, 8, [](std::size_t i) {
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
        pool::join([] { throw InternalFailure("first"); },
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
  pool::execute([&] { pool::join([&] { sum += 1; }, [&] { sum += 2; }); });
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
          threads_of_loop_on_workers(16);
        } else {
          pool::execute([] { pool::join([] {}, [] { pool::join([] {}, [] {}); }); });
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
      const auto seen = threads_of_loop_on_workers(16);
      if (seen.empty() || seen.count(std::this_thread::get_id()) != 0) status = 11;
      std::atomic<int> sum = 0;
      pool::execute([&] { pool::join([&] { sum += 1; }, [&] { sum += 2; }); });
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
  EXPECT_EQ(threads_of_loop_on_workers(16).count(std::this_thread::get_id()), 0u);
}

}  // namespace
}  // namespace morvane
