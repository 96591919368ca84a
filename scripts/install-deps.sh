#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and run.
# Safe to run again: packages already present are left alone. dpkg-dev, fakeroot, lintian
# and the man tools build and check the Debian package (scripts/package.sh).
#
#   scripts/install-deps.sh            the native build, its tests and benchmarks
#   scripts/install-deps.sh windows    also the MinGW-w64 cross compiler and Wine
#   scripts/install-deps.sh browser    also Chromium, where available (the help pages' check)
set -euo pipefail

packages=(
  build-essential g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libssl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang-format clang libclang-rt-14-dev
  fonts-liberation fonts-dejavu-core
  xvfb xauth poppler-utils
  python3 ccache desktop-file-utils
  dpkg-dev fakeroot lintian groff-base man-db
)

for group in "$@"; do
  case "$group" in
    windows) packages+=(g++-mingw-w64-x86-64-posix wine64) ;;
    # The help pages' browser check: Chromium, where the system's packages offer it.
    browser)
      if apt-cache show chromium >/dev/null 2>&1; then packages+=(chromium); fi
      ;;
    *)
      echo "install-deps.sh: unknown group '$group' (known: windows, browser)" >&2
      exit 2
      ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
