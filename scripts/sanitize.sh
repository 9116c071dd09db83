#!/usr/bin/env bash
# The C++ tests once more under AddressSanitizer and UndefinedBehaviorSanitizer.
source "$(dirname "$0")/env.sh"
ensure_debian_packages
configure_and_build "$BUILD/asan" -DMORVANE_TESTS=ON -DMORVANE_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
log "C++ tests under ASan + UBSan"
ctest --test-dir "$BUILD/asan" --output-on-failure -j "$JOBS"

# The Python suite against the extension built with the same sanitizers, loaded from
# its build tree (the venv's installed module is left alone). The interpreter itself
# is not instrumented: the runtime is preloaded, and leak detection is off because
# the interpreter keeps its objects until exit.
ensure_venv
configure_and_build "$BUILD/py-asan" -DMORVANE_PYTHON=ON -DMORVANE_TESTS=OFF -DMORVANE_SANITIZE=ON \
  -DCMAKE_BUILD_TYPE=Debug -DPython_EXECUTABLE="$VENV/bin/python"
log "Python tests under ASan + UBSan"
(
  cd "$ROOT"
  export LD_PRELOAD="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libubsan.so)"
  export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=0
  export PYTHONMALLOC=malloc  # every Python object through the sanitizer's allocator
  export PYTHONPATH="$BUILD/py-asan/python"
  "$VENV/bin/python" -c 'import morvane, sys; sys.exit(not morvane.__file__.startswith(sys.argv[1]))' \
    "$BUILD/py-asan/python/"
  "$VENV/bin/python" -m pytest -q -p no:cacheprovider tests
)
