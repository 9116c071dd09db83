// The worker pool: its size rule, work on its threads, exceptions carried back.
#include <gtest/gtest.h>
#include <oneapi/tbb/parallel_for.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <set>
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

TEST(Pool, ReadsTheVariableOnFirstUse) {
  // oneTBB is not fork-safe once started: check in a freshly executed child process.
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    setenv("RAYON_NUM_THREADS", "3", 1);
    execl("/proc/self/exe", "pool_test", "--gtest_filter=Pool.ChildReportsSize",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(Pool, ChildReportsSize) {
  const char* value = std::getenv("RAYON_NUM_THREADS");
  if (value == nullptr || std::string_view(value) != "3") GTEST_SKIP() << "run by ReadsTheVariableOnFirstUse";
  EXPECT_EQ(WorkerPool::instance().threads(), 3u);
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
