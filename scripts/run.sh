#!/usr/bin/env bash
# Installs what is needed, builds the programs and starts QuadrimonControl on a simulated wall
# (--demo: two units behind an in-process gateway; the operator's settings stay untouched).
# Without a display it says how to run the program, and shows the simulated wall through
# qmsim and qmctl instead.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

build=${QM_BUILD_DIR:-build-run}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_BUILD_TESTS=OFF
cmake --build "$build"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$build/apps/QuadrimonControl" --demo
fi

cat <<MSG
No display was found, so the program's window cannot be shown here. On a desktop, run
    $build/apps/QuadrimonControl --demo
or, on a machine without one, under a virtual display:
    xvfb-run -a $build/apps/QuadrimonControl --demo
(scripts/screenshots.sh takes offscreen pictures of the main window and every dialog).

Meanwhile, the simulated wall through the command-line tools:
MSG

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
