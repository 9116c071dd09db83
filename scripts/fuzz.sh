#!/usr/bin/env bash
# Builds the libFuzzer targets with clang-19 and runs the analysis reader's target.
#   scripts/fuzz.sh [seconds]     (default 60)
source "$(dirname "$0")/env.sh"
SECONDS_TO_RUN=${1:-60}
ensure_debian_packages
dir=$BUILD/fuzz
configure_and_build "$dir" -DMORVANE_FUZZ=ON -DMORVANE_TESTS=OFF -DCMAKE_CXX_COMPILER=clang++-19 \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -- analysis_reader_fuzz
corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
mkdir -p "$ROOT/fuzz/findings"
log "fuzzing the analysis reader for ${SECONDS_TO_RUN}s"
ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  "$BUILD/fuzz/fuzz/analysis_reader_fuzz" -max_total_time="$SECONDS_TO_RUN" -max_len=4096 \
  -artifact_prefix="$ROOT/fuzz/findings/" "$corpus" "$ROOT/fuzz/corpus"
