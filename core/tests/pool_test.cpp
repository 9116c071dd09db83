// The worker pool: its size rule, work on its threads, exceptions carried back.
#include <gtest/gtest.h>
#include <oneapi/tbb/parallel_for.h>
#include <oneapi/tbb/task_group.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <thread>

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
      {"0", "3", cpus},            // a valid RAYON_NUM_THREADS wins, 0 meaning the processors
      {"", "3", 3},
      {" 4", "3", 3},              // no blanks
      {"4 ", std::nullopt, cpus},
      {"-4", std::nullopt, cpus},
      {"++4", std::nullopt, cpus},
      {"4x", std::nullopt, cpus},
      {"18446744073709551616", "2", 2},  // beyond 64 bits: not a number
      {std::nullopt, "0", cpus},
      {std::nullopt, "+2", 2},
      {std::nullopt, "two", cpus},
      {"18446744073709551615", std::nullopt, kMaxPoolThreads},  // capped, not failing
      {"100000", std::nullopt, kMaxPoolThreads},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(pool_size(c.num_threads, c.rs_num_cpus, cpus), c.expected)
        << c.num_threads.value_or("<unset>") << " / " << c.rs_num_cpus.value_or("<unset>");
  }
}

// Runs the tests matching `filter` again in a freshly executed process whose
// environment holds RAYON_NUM_THREADS=`threads` (oneTBB is not fork-safe once
// started, and the pool reads the variable only once); true when they pass.
bool passes_in_child(const char* threads, const char* filter) {
  const std::string variable = std::string("RAYON_NUM_THREADS=") + threads;
  const std::string filter_arg = std::string("--gtest_filter=") + filter;
  char* const argv[] = {const_cast<char*>("pool_test"), const_cast<char*>(filter_arg.c_str()),
                        nullptr};
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

TEST(Pool, ReadsTheVariableOnFirstUse) {
  EXPECT_TRUE(passes_in_child("3", "Pool.ChildReportsSize"));
}

TEST(Pool, ChildReportsSize) {
  if (!child_with("3")) GTEST_SKIP() << "run by ReadsTheVariableOnFirstUse";
  EXPECT_EQ(WorkerPool::instance().threads(), 3u);
}

// A caller taking part in its own work (execute) must not pick up tasks of another
// caller's detached work while it waits: those may call a Python searcher, which
// runs only on the workers and on its own caller. Idle workers are needed for the
// waiting caller to find nothing of its own to do, hence a child with six.
TEST(Pool, ExecuteTakesNoPartInOtherCallersWork) {
  EXPECT_TRUE(passes_in_child("6", "Pool.ChildExecuteStaysInItsOwnWork"));
}

TEST(Pool, ChildExecuteStaysInItsOwnWork) {
  if (!child_with("6")) GTEST_SKIP() << "run by ExecuteTakesNoPartInOtherCallersWork";
  WorkerPool& pool = WorkerPool::instance();
  std::mutex mutex;
  std::set<std::thread::id> detached_threads;
  std::atomic<bool> stop = false;
  std::thread::id taking_part;
  std::thread other([&] {
    taking_part = std::this_thread::get_id();
    while (!stop) {
      pool.execute([] {
        oneapi::tbb::task_group group;
        group.run([] {});
        group.run([] {});
        group.wait();
      });
    }
  });
  for (int round = 0; round < 100; ++round) {
    pool.execute_detached([&] {
      oneapi::tbb::parallel_for(0, 8, [&](int) {
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

TEST(Pool, DetachedWorkRunsOnWorkersNotTheCaller) {
  WorkerPool& pool = WorkerPool::instance();
  const auto caller = std::this_thread::get_id();
  std::mutex mutex;
  std::set<std::thread::id> seen;
  pool.execute_detached([&] {
    oneapi::tbb::parallel_for(0, 64, [&](int) {
      std::lock_guard lock(mutex);
      seen.insert(std::this_thread::get_id());
      EXPECT_TRUE(pool.in_pool());
    });
  });
  EXPECT_FALSE(seen.empty());
  EXPECT_EQ(seen.count(caller), 0u);
  EXPECT_FALSE(pool.in_pool());
}

TEST(Pool, NestedDetachedWorkRunsInline) {
  WorkerPool& pool = WorkerPool::instance();
  std::atomic<int> runs = 0;
  pool.execute_detached([&] {
    const auto outer = std::this_thread::get_id();
    pool.execute_detached([&] {
      EXPECT_EQ(std::this_thread::get_id(), outer);
      ++runs;
    });
  });
  EXPECT_EQ(runs, 1);
}

TEST(Pool, FailureInWorkReachesTheCaller) {
  WorkerPool& pool = WorkerPool::instance();
  EXPECT_THROW(pool.execute_detached([] {
    oneapi::tbb::parallel_for(0, 8, [](int i) {
      if (i == 5) throw InternalFailure("worker failed");
    });
  }),
               InternalFailure);
  EXPECT_THROW(pool.execute([] { throw InternalFailure("caller part failed"); }), InternalFailure);
  // The pool is still usable afterwards.
  int sum = 0;
  pool.execute([&] { sum = 1; });
  EXPECT_EQ(sum, 1);
}

}  // namespace
}  // namespace morvane
