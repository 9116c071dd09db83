#!/usr/bin/env bash
# Builds and runs the benchmarks, printing per-call figures.
source "$(dirname "$0")/env.sh"
ensure_debian_packages
configure_and_build "$BUILD/bench" -DMORVANE_TESTS=OFF -DMORVANE_BENCH=ON -DCMAKE_BUILD_TYPE=Release
for b in "$BUILD"/bench/bench/*_bench; do
  log "$(basename "$b")"
  "$b" --benchmark_min_time=0.2
done
ensure_venv
"$VENV/bin/python" -m pip install -q --no-build-isolation "$ROOT"
missed=0
for b in "$ROOT"/bench/python*_bench.py; do
  log "$(basename "$b")"
  "$VENV/bin/python" "$b" || missed=1  # a script exits 1 when a figure misses its target
done
((missed == 0)) || log "some Python figures missed their targets (see above)"
