#!/usr/bin/env bash
# Takes offscreen screenshots of the main window and of every dialog (the Screenshot_* GUI
# tests) into DIR (default: screenshots/), for a look at what operators will see.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-screenshots}
build=${QM_TEST_BUILD_DIR:-build-test}
mkdir -p "$dir"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQM_SANITIZE=ON >/dev/null
cmake --build "$build" --target gui_tests
QT_QPA_PLATFORM=offscreen QM_SCREENSHOT_DIR="$(cd "$dir" && pwd)" \
  "$build/tests/gui_tests" --gtest_filter='*Screenshot_*'
ls -1 "$dir"
