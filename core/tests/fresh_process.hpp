// Checks that need a process of their own: the pool is made once per process, on its
// first use, sized from the environment as it is then.
//
//   expect_in_fresh_process(threads, body)
//       runs body in a freshly executed copy of this test binary (a death test in the
//       thread-safe style) whose RAYON_NUM_THREADS is set to `threads` before body
//       runs; passes when the child ends body with no failure of its own. The child
//       runs the calling test from its start up to this call, so that test must not
//       use the pool before it.
//   leave_no_room_for_threads()
//       limits this process's address space to what it maps now and less than one
//       thread stack more: from then on no thread can start.
#pragma once

#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace morvane {

template <class Body>
void expect_in_fresh_process(const char* threads, Body body) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("RAYON_NUM_THREADS", threads, 1);
        body();
        const bool passed = !::testing::Test::HasFailure();
        std::fputs(passed ? "fresh process passed\n" : "fresh process failed\n", stderr);
        std::fflush(nullptr);
        std::_Exit(passed ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "fresh process passed");
}

inline void leave_no_room_for_threads() {
  std::ifstream status("/proc/self/status");
  std::size_t mapped_kib = 0;
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("VmSize:")) mapped_kib = std::stoul(line.substr(7));
  }
  ASSERT_GT(mapped_kib, 0u);
  pthread_attr_t attr;
  std::size_t stack = 0;
  ASSERT_EQ(pthread_getattr_default_np(&attr), 0);
  pthread_attr_getstacksize(&attr, &stack);
  pthread_attr_destroy(&attr);
  const rlim_t limit = mapped_kib * 1024 + stack / 2;
  const rlimit no_room{limit, limit};
  ASSERT_EQ(setrlimit(RLIMIT_AS, &no_room), 0);
}

}  // namespace morvane
