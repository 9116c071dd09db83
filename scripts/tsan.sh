#!/usr/bin/env bash
# The C++ tests of the worker pool and of the two strategies that run on it, under
# ThreadSanitizer (no Python here: the interpreter is not built for it).
source "$(dirname "$0")/env.sh"
ensure_debian_packages
TESTS=(pool_test simple_strategy_test beam_search_test)
dir=$BUILD/tsan
configure_and_build "$dir" -DMORVANE_TESTS=ON -DMORVANE_TSAN=ON -DCMAKE_BUILD_TYPE=Debug -- "${TESTS[@]}"
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
for t in "${TESTS[@]}"; do
  log "$t under ThreadSanitizer"
  "$dir/core/tests/$t" --gtest_brief=1
done
