#!/usr/bin/env bash
# Installs what is needed, builds the programs and shows what the command-line front end does.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

build=${QM_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_BUILD_TESTS=OFF
cmake --build "$build"
"$build/apps/qmctl" --help
