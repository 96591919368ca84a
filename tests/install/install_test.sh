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
# A read-only program folder: the remote-access switch goes to the user's own folder, where
# the next start reads it. Run as an ordinary user, for whom the folder really is read-only.
chmod 755 "$prefix" "$work"
chmod -R a-w "$prefix"
home="$work/home"
mkdir -p "$home"
as_user=()
if [ "$(id -u)" = 0 ]; then
  nobody=$(id -u nobody)
  chown "$nobody" "$home"
  as_user=(setpriv --reuid="$nobody" --regid="$(id -g nobody)" --clear-groups)
fi
user_env=(env HOME="$home" XDG_CONFIG_HOME="$home/.config")
"${as_user[@]}" "${user_env[@]}" "$prefix/bin/qmctl" remote-access on >/dev/null ||
  fail "remote-access on failed with a read-only program folder"
[ "$(cat "$home/.config/quadrimon/orvik.ini")" = "ENABLE_IP = YES" ] ||
  fail "the switch is not in the user's orvik.ini"
[ ! -e "$prefix/bin/orvik.ini" ] || fail "orvik.ini was written beside the program"
"${as_user[@]}" "${user_env[@]}" "$prefix/bin/qmctl" remote-access |
  grep -qx "Remote access: on ($home/.config/quadrimon/orvik.ini)" ||
  fail "the switch in the user's orvik.ini is not read"

# A serial device this user may not open: the reason and its remedy are said.
: >"$work/ttyUSB0"
chmod 000 "$work/ttyUSB0"
if "${as_user[@]}" "${user_env[@]}" "$prefix/bin/qmctl" --port "$work/ttyUSB0" poll 2>"$work/err"; then
  fail "qmctl opened a device it has no permission for"
fi
grep -q "No permission to open $work/ttyUSB0: ask for membership of its group (dialout)" \
  "$work/err" || fail "no word on the missing permission: $(cat "$work/err")"
chmod -R u+w "$prefix"

# Even where the programs' folder is writable (root, or a prefix of the user's own), an
# installed tree keeps the switch in the user's folder, never beside its programs.
env HOME="$work/own" XDG_CONFIG_HOME="$work/own/.config" "$prefix/bin/qmctl" remote-access off \
  >/dev/null || fail "remote-access off failed in a writable installed tree"
[ -f "$work/own/.config/quadrimon/orvik.ini" ] || fail "the switch is not in the user's folder"
[ ! -e "$prefix/bin/orvik.ini" ] || fail "orvik.ini was written beside the installed programs"

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/quadrimon-control.desktop" ||
    fail "the desktop entry is not valid"
else
  echo "install test: desktop-file-validate is not installed; the entry was not validated"
fi
echo "install test: passed"
