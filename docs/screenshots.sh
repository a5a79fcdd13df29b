#!/usr/bin/env bash
# Takes a picture of the administration window as a first run shows it, then of every page and
# dialog on a scratch home with a few accounts and two connected FTP users, into
# docs/screenshots/, drawn by a real X server (Xvfb, a 1280x800 screen).
# Usage: docs/screenshots.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
scripts/install-deps.sh
cmake -S . -B "$build" -DCORVANE_TESTS=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target gui_screenshots
xvfb-run -a -s "-screen 0 1280x800x24" "$build/bin/gui_screenshots" docs/screenshots tests/gui/ftp_session_client.py
ls -l docs/screenshots
