#!/usr/bin/env bash
# Builds the Debian package quadrimon-control_<version>_<arch>.deb and checks it:
# configures a Release build with the prefix /usr, builds it with ninja, packs it with
# `cpack -G DEB` and runs tests/install/package_check.sh on the result.
#
#   bash scripts/package.sh                        build and pack in build-pkg
#   bash scripts/package.sh BUILD_DIR              build and pack in BUILD_DIR
#   bash scripts/package.sh --pack-only BUILD_DIR  pack a Release build that is already
#                                                  built (CI's release stage)
#
# The package lands in BUILD_DIR/_packages; the last line printed is its path. Install it
# with `sudo apt install ./quadrimon-control_*.deb`. Needs dpkg-dev, fakeroot and lintian
# (bash scripts/install-deps.sh). QM_JOBS sets the build's parallel jobs (default: nproc).
set -euo pipefail
cd "$(dirname "$0")/.."

build=1
if [ "${1:-}" = --pack-only ]; then
  build=0
  shift
fi
[ $# -le 1 ] || { echo "usage: $0 [--pack-only] [BUILD_DIR]" >&2; exit 2; }
dir=${1:-build-pkg}

if [ $build = 1 ]; then
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
  # The package needs only the programs and their data: tests and benchmarks stay unbuilt.
  cmake -S . -B "$dir" -G Ninja -Wno-dev -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX=/usr -DQM_BUILD_TESTS=OFF -DQM_BUILD_BENCH=OFF
  cmake --build "$dir" -j "${QM_JOBS:-$(nproc)}"
fi
type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$dir/CMakeCache.txt" 2>/dev/null || true)
if [ "$type" != Release ]; then
  echo "package.sh: $dir is not a configured Release build (build type '$type')" >&2
  exit 1
fi

out=$PWD/$dir/_packages
case "$dir" in /*) out=$dir/_packages ;; esac
rm -rf "$out"
mkdir -p "$out"
(cd "$dir" && cpack -G DEB -B "$out")
# CPack leaves its staging tree in the output folder; only the package stays.
rm -rf "$out/_CPack_Packages"

shopt -s nullglob
debs=("$out"/quadrimon-control_*.deb)
if [ ${#debs[@]} -ne 1 ]; then
  echo "package.sh: expected one quadrimon-control_*.deb in $out, found ${#debs[@]}" >&2
  exit 1
fi
bash tests/install/package_check.sh "${debs[0]}"
echo "package.sh: ${debs[0]}"
