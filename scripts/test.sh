#!/usr/bin/env bash
# Builds everything and runs every test.
# Usage: scripts/test.sh [BUILD_DIR] [extra cmake options...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shift || true
# Headless Chromium opens the web server's pages in the end-to-end tests; rclone uploads a tree over FTP.
scripts/install-deps.sh chromium rclone
. scripts/compiler-cache.sh
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
# Tests and benchmarks are set every time: the run command configures the same folder without them.
cmake -S . -B "$build" -DCORVANE_WERROR=$werror -DCORVANE_TESTS=ON -DCORVANE_BENCH=ON "${launcher[@]}" "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure --no-tests=error -j"$(nproc)" --timeout 300
