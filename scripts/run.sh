#!/usr/bin/env bash
# Builds the server and runs it headless on a demonstration home.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCORVANE_TESTS=OFF -DCORVANE_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)" --target corvane-server
exec build/bin/corvane-server "$@"
