#!/usr/bin/env bash
# The project's test command, and what CI runs. Installs what is needed, then runs the stages:
#
#   asan     Debug build with AddressSanitizer and UndefinedBehaviorSanitizer, the format
#            check and every test (arguments given to this script go to its ctest)
#   release  Release build of everything, every test, a short run of every benchmark, and
#            the Debian package packed from that build and checked
#   nogui    the build without Qt (core, qmctl, qmsim and their tests) with Qt made unfindable
#   tsan     ThreadSanitizer build without Qt and every test of it
#   windows  MinGW-w64 cross build of the core, qmctl and qmsim, run under Wine against the
#            native programs
#
# Every build treats warnings as errors. All stages run unless QM_CI_STAGES names some, e.g.
#   QM_CI_STAGES=asan bash scripts/test.sh            the quick check
#   QM_CI_STAGES="release tsan" bash scripts/test.sh
# A failed stage does not stop the later ones. The run ends with a table of the stages and
# the line "N passed, M failed" over every test and check run (a stage that fails before its
# tests counts as one failure); the exit status is non-zero when any stage failed.
set -uo pipefail
cd "$(dirname "$0")/.."

all_stages=(asan release nogui tsan windows)
read -r -a stages <<<"$(tr ',' ' ' <<<"${QM_CI_STAGES:-${all_stages[*]}}")"
for s in "${stages[@]}"; do
  case " ${all_stages[*]} " in
    *" $s "*) ;;
    *)
      echo "test.sh: unknown stage '$s' in QM_CI_STAGES (stages: ${all_stages[*]})" >&2
      exit 2
      ;;
  esac
done
wants() { case " ${stages[*]} " in *" $1 "*) return 0 ;; *) return 1 ;; esac }

jobs=${QM_JOBS:-$(nproc)}
# Stages that compile the same file the same way share the object through ccache.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
results=$(mktemp -d)
trap 'rm -rf "$results"' EXIT

# --- helpers ----------------------------------------------------------------------------

minutes() { printf '%dm %02ds' $(($1 / 60)) $(($1 % 60)); }

# count PASSED FAILED: adds to the current stage's tally.
count() {
  local p=0 f=0
  [ -f "$results/$stage.count" ] && read -r p f <"$results/$stage.count"
  echo "$((p + $1)) $((f + $2))" >"$results/$stage.count"
}

# ctest_stage BUILD_DIR QUIET [CTEST ARGS...]: runs the tests and counts them. QUIET prints
# only the summary (and everything when a test failed).
ctest_stage() {
  local dir=$1 quiet=$2 log
  shift 2
  log="$dir/ctest.log"
  local status=0
  if [ "$quiet" = quiet ]; then
    ctest --test-dir "$dir" --output-on-failure -j "$jobs" "$@" >"$log" 2>&1 || status=$?
    if [ $status -eq 0 ]; then sed -n '/tests passed/,$p' "$log"; else cat "$log"; fi
  else
    ctest --test-dir "$dir" --output-on-failure -j "$jobs" "$@" 2>&1 | tee "$log" || status=$?
  fi
  local line
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1) ||
    true
  if [ -n "$line" ]; then
    local failed total
    failed=$(sed -E 's/.* ([0-9]+) tests? failed out of.*/\1/' <<<"$line")
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
    count $((total - failed)) "$failed"
  fi
  return $status
}

# check NAME COMMAND...: one smoke check; its output indented, counted as passed or failed.
check() {
  local name=$1
  shift
  echo "-- $name"
  if timeout 600 "$@" 2>&1 | sed 's/^/   /'; then
    count 1 0
  else
    echo "   FAILED: $name"
    count 0 1
    return 1
  fi
}

configure() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja -Wno-dev "$@"
}

build() {
  cmake --build "$1" -j "$jobs" "${@:2}"
}

# --- stages -----------------------------------------------------------------------------

declare -A describe

describe[asan]="Debug build with ASan and UBSan, format check, all tests"
stage_asan() {
  local dir=${QM_TEST_BUILD_DIR:-build-test}
  configure "$dir" -DCMAKE_BUILD_TYPE=Debug -DQM_SANITIZE=ON
  build "$dir"
  local ok=0
  check "clang-format" bash scripts/check-format.sh || ok=1
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
  export QT_QPA_PLATFORM=offscreen
  ctest_stage "$dir" loud "$@" || ok=1
  return $ok
}

describe[release]="Release build of everything, all tests, benchmark smoke run, .deb"
stage_release() {
  local dir=build-rel
  configure "$dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr
  build "$dir"
  export QT_QPA_PLATFORM=offscreen
  local quick=--benchmark_min_time=0.01 ok=0
  ctest_stage "$dir" quiet || ok=1
  check link_bench "$dir/bench/link_bench" $quick || ok=1
  check compiler_bench "$dir/bench/compiler_bench" $quick || ok=1
  check gui_bench "$dir/bench/gui_bench" $quick || ok=1
  check "runner_wait_bench 2" "$dir/bench/runner_wait_bench" 2 || ok=1
  check "silent_get_cpu.py 2" python3 bench/silent_get_cpu.py "$dir/apps/qmctl" 2 || ok=1
  check "gui_idle.py 1" python3 bench/gui_idle.py "$dir/apps/QuadrimonControl" 1 || ok=1
  check "help page in Chromium" python3 scripts/help_browser_check.py "$dir/apps" || ok=1
  check "debian package" bash scripts/package.sh --pack-only "$dir" || ok=1
  return $ok
}

# The Qt-free programs built without Qt in Release; the windows stage runs them beside the
# Windows ones. Compiled as the release stage compiles them, so they come from ccache.
configure_nogui() {
  configure build-nogui --no-warn-unused-cli -DCMAKE_BUILD_TYPE=Release -DQM_BUILD_GUI=OFF \
    -DCMAKE_DISABLE_FIND_PACKAGE_Qt6=ON
}

describe[nogui]="build without Qt: core, qmctl, qmsim and their tests"
stage_nogui() {
  configure_nogui
  build build-nogui
}

describe[tsan]="ThreadSanitizer build without Qt, all its tests"
stage_tsan() {
  local dir=build-tsan
  configure "$dir" --no-warn-unused-cli -DCMAKE_BUILD_TYPE=Debug -DQM_TSAN=ON \
    -DQM_BUILD_GUI=OFF -DCMAKE_DISABLE_FIND_PACKAGE_Qt6=ON -DQM_BUILD_BENCH=OFF
  build "$dir"
  export TSAN_OPTIONS=${TSAN_OPTIONS:-second_deadlock_stack=1}
  ctest_stage "$dir" quiet
}

describe[windows]="MinGW-w64 build of the core, qmctl and qmsim; smoke run under Wine"
stage_windows() {
  local dir=build-mingw
  configure "$dir" --no-warn-unused-cli --toolchain cmake/mingw-w64.cmake \
    -DCMAKE_BUILD_TYPE=Release -DQM_BUILD_GUI=OFF -DQM_BUILD_TESTS=OFF
  build "$dir"
  configure_nogui >/dev/null
  build build-nogui --target qmctl qmsim std-inc
  local log="$dir/wine_smoke.log" status=0
  python3 scripts/wine_smoke.py build-nogui/apps "$dir/apps" 2>&1 | tee "$log" || status=$?
  local line
  line=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$log" | tail -1) || true
  if [ -n "$line" ]; then
    count "${line%% *}" "$(sed -E 's/.*, ([0-9]+) failed/\1/' <<<"$line")"
  fi
  return $status
}

# --- run --------------------------------------------------------------------------------

deps=()
if wants windows; then deps+=(windows); fi
if wants release; then deps+=(browser); fi
if ! bash scripts/install-deps.sh "${deps[@]}"; then
  echo "test.sh: installing the packages failed"
  echo "0 passed, 1 failed"
  exit 1
fi

total_start=$SECONDS
summary=()
any_failed=0
n=0
for stage in "${stages[@]}"; do
  n=$((n + 1))
  echo
  echo "=============================================================================="
  echo "== Stage $n/${#stages[@]}: $stage - ${describe[$stage]}"
  echo "=============================================================================="
  start=$SECONDS
  # Each stage in its own shell: the first failing command ends it, its exports stay there.
  (
    set -e
    "stage_$stage" "$@"
  )
  status=$?
  took=$((SECONDS - start))
  p=0 f=0
  [ -f "$results/$stage.count" ] && read -r p f <"$results/$stage.count"
  if [ $status -ne 0 ]; then
    any_failed=1
    if [ "$f" -eq 0 ]; then f=1; fi  # failed before any test: the stage is the failure
    verdict=FAILED
  else
    verdict=passed
  fi
  echo "-- stage $stage $verdict in $(minutes $took)"
  summary+=("$(printf '  %-8s %-7s %9s   %d passed, %d failed' "$stage" "$verdict" \
    "$(minutes $took)" "$p" "$f")")
  echo "$p $f" >"$results/$stage.final"
done

passed=0
failed=0
for stage in "${stages[@]}"; do
  read -r p f <"$results/$stage.final"
  passed=$((passed + p))
  failed=$((failed + f))
done

echo
echo "=============================================================================="
echo "== Summary"
printf '%s\n' "${summary[@]}"
echo "  total             $(minutes $((SECONDS - total_start)))"
echo "$passed passed, $failed failed"
[ $any_failed -eq 0 ]
