#!/usr/bin/env bash
# The C++ tests once more under AddressSanitizer and UndefinedBehaviorSanitizer.
source "$(dirname "$0")/env.sh"
ensure_debian_packages
configure_and_build "$BUILD/asan" -DMORVANE_TESTS=ON -DMORVANE_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
log "C++ tests under ASan + UBSan"
ctest --test-dir "$BUILD/asan" --output-on-failure -j "$JOBS"
