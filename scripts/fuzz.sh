#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ (clang++, build folder build-fuzz) and runs each for
# SECONDS (30 unless given) from its seed corpus in fuzz/corpus/<target>/. New inputs that the
# runs find go to build-fuzz/corpus/<target>/ (kept between runs, never committed); a crash,
# a sanitizer report, a broken invariant or a hang (an input running over 25 s) fails the
# script and leaves the input in build-fuzz/findings/.
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true
scripts/install-deps.sh
build=build-fuzz
. scripts/compiler-cache.sh
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" -DCORVANE_FUZZ=ON -DCORVANE_TESTS=OFF \
  -DCORVANE_BENCH=OFF -DCORVANE_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in fuzz/*.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/#/fuzz_}"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=()
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  findings="$build/findings/$target"
  mkdir -p "$corpus" "$findings"
  echo "== fuzz_$target for ${seconds}s"
  if ! "$build/bin/fuzz_$target" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=4096 -max_len=16384 \
       -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" "fuzz/corpus/$target" \
       >"$build/fuzz_$target.log" 2>&1; then
    tail -n 60 "$build/fuzz_$target.log"
    failed+=("$target")
  fi
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added)' "$build/fuzz_$target.log" || true
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing failed: ${failed[*]} (inputs in $build/findings/)"
  exit 1
fi
echo "fuzzing passed: ${targets[*]}"
