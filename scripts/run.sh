#!/usr/bin/env bash
# Installs what is needed, builds the programs and starts them on a simulated wall: qmsim
# serves four units on a pseudo-terminal and qmctl asks them for their versions.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

build=${QM_BUILD_DIR:-build-run}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_BUILD_TESTS=OFF
cmake --build "$build"

out=$(mktemp)
"$build/apps/qmsim" serial >"$out" &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null; rm -f "$out"' EXIT
for _ in $(seq 50); do [ -s "$out" ] && break; sleep 0.1; done
device=$(head -n 1 "$out")
echo "Simulated wall on $device (qmsim serial)"
for unit in 0 1 2 3; do
  echo
  echo "\$ qmctl --port $device get 7 $unit 4"
  "$build/apps/qmctl" --port "$device" get 7 "$unit" 4
done
echo
echo "\$ qmctl --port $device get 7 0 35"
"$build/apps/qmctl" --port "$device" get 7 0 35
echo
"$build/apps/qmctl" --help
