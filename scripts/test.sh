#!/usr/bin/env bash
# The test command: set-up, C++ tests, then the Python module installed into the
# project's virtual environment and its pytest suite.
source "$(dirname "$0")/env.sh"
ensure_debian_packages
ensure_venv
configure_and_build "$BUILD/plain" -DMORVANE_TESTS=ON
log "C++ tests"
ctest --test-dir "$BUILD/plain" --output-on-failure -j "$JOBS"
log "installing the module"
"$VENV/bin/python" -m pip install -q --no-build-isolation "$ROOT"
log "Python tests"
(cd "$ROOT" && "$VENV/bin/python" -m pytest -q tests)
