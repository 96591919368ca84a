#!/usr/bin/env bash
# The installed tree: `cmake --install` into a temporary prefix, then the installed programs
# run from another folder and find their data in share/quadrimon, and the desktop entry and
# file types are where the desktop looks for them.
# Usage: install_test.sh BUILD_DIR WITH_GUI(0|1)
set -euo pipefail
build=$1
gui=$2
prefix=$(mktemp -d)
work=$(mktemp -d)
trap 'rm -rf "$prefix" "$work"' EXIT
fail() { echo "install test: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/qmctl bin/qmsim share/quadrimon/std.inc share/quadrimon/help/QuadrimonControl.htm \
         share/applications/quadrimon-control.desktop share/mime/packages/quadrimon-control.xml \
         share/icons/hicolor/32x32/apps/quadrimon-control.png \
         share/man/man1/qmctl.1.gz share/man/man1/qmsim.1.gz; do
  [ -e "$prefix/$f" ] || fail "$f is not installed"
done

cd "$work"
"$prefix/bin/qmctl" --version | grep -q "^qmctl " || fail "qmctl --version"
# The installed compiler reads std.inc from share/quadrimon: its FN_ names compile.
printf 'SEND 7 0 FN_SWVERSION\n' > show.seq
"$prefix/bin/qmctl" compile show.seq >/dev/null || fail "qmctl compile did not find std.inc"
[ -s show.sfb ] || fail "no show.sfb written"
if [ "$gui" = 1 ]; then
  [ -x "$prefix/bin/QuadrimonControl" ] || fail "QuadrimonControl is not installed"
  [ -e "$prefix/share/man/man1/QuadrimonControl.1.gz" ] ||
    fail "QuadrimonControl's manual page is not installed"
  "$prefix/bin/QuadrimonControl" --version | grep -q "Quadrimon" || fail "QuadrimonControl --version"
fi
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/quadrimon-control.desktop" ||
    fail "the desktop entry is not valid"
else
  echo "install test: desktop-file-validate is not installed; the entry was not validated"
fi
echo "install test: passed"
