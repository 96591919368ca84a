#!/usr/bin/env bash
# The Debian package on a clean Debian system: makes a minimal Debian (bookworm) in a folder
# with debootstrap, installs the package there with apt as root (which fetches its Depends),
# then, as an ordinary user of that system:
#   - the menu entry's command starts the program (offscreen) and it keeps running;
#   - qmctl compiles with the installed std.inc and talks to a simulated wall over TCP;
#   - the remote-access switch goes to the user's own folder, nothing beside the programs.
# Needs root, network access to the Debian mirror and a few minutes; not part of CI.
#
# Usage: scripts/clean_install_check.sh PACKAGE.deb [FOLDER]
#   FOLDER keeps the system between runs (default: a temporary folder, removed afterwards).
set -euo pipefail

deb=$(realpath "$1")
root=${2:-}
keep=1
if [ -z "$root" ]; then
  root=$(mktemp -d)
  keep=0
fi
mounted=0
cleanup() {
  if [ $mounted = 1 ]; then umount "$root/proc" || true; fi
  if [ $keep = 0 ]; then rm -rf "$root"; fi
}
trap cleanup EXIT
fail() { echo "clean install check: $*" >&2; exit 1; }
say() { echo "clean install check: $*"; }

[ "$(id -u)" = 0 ] || fail "run as root (debootstrap and chroot need it)"
command -v debootstrap >/dev/null || fail "debootstrap is not installed (apt install debootstrap)"

if [ ! -x "$root/usr/bin/apt-get" ]; then
  say "making a minimal Debian in $root"
  debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian >/dev/null
fi
mount -t proc proc "$root/proc" && mounted=1  # the programs find their data through /proc

in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin "$@"; }
cp "$deb" "$root/tmp/package.deb"
say "installing $(basename "$deb") with apt"
if ! { in_root apt-get update -qq &&
  in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq /tmp/package.deb; } \
  >"$root/tmp/apt.log" 2>&1; then
  cat "$root/tmp/apt.log" >&2
  fail "apt could not install the package"
fi
in_root id operator >/dev/null 2>&1 || in_root useradd -m -g users operator  # Debian has a group "operator" already

as_operator() {
  chroot --userspec=operator:users "$root" /usr/bin/env -i HOME=/home/operator \
    PATH=/usr/bin:/bin QT_QPA_PLATFORM=offscreen "$@"
}

# The menu entry's command, without its file argument, starts the program; it is still running
# after five seconds (timeout's 124), not ended by a missing library or file.
exec_line=$(sed -n 's/^Exec=//p' "$root/usr/share/applications/quadrimon-control.desktop" |
  head -1 | sed 's/ %f//')
status=0
as_operator timeout 5 sh -c "$exec_line" >/dev/null 2>&1 || status=$?
[ $status = 124 ] || fail "'$exec_line' did not keep running (exit $status)"
say "the menu entry's '$exec_line' starts the program"

as_operator sh -c 'cd ~ && printf "SEND 7 0 FN_SWVERSION\n" >a.seq && qmctl compile a.seq' \
  >/dev/null || fail "qmctl compile did not find the installed std.inc"
# shellcheck disable=SC2016  # $? and $! belong to the inner shell
as_operator sh -c 'qmsim tcp --listen 127.0.0.1:7991 >/dev/null 2>&1 & sleep 1;
  qmctl --tcp 127.0.0.1:7991 info; status=$?; kill $!; exit $status' >"$root/tmp/info" 2>&1 ||
  fail "qmctl info against qmsim failed"
grep -q "Software version" "$root/tmp/info" || fail "qmctl info printed no versions"
say "qmctl compiles and reaches a simulated wall"

as_operator qmctl remote-access on >/dev/null || fail "remote-access on failed"
grep -qx "ENABLE_IP = YES" "$root/home/operator/.config/quadrimon/orvik.ini" ||
  fail "the switch is not in the user's folder"
[ ! -e "$root/usr/bin/orvik.ini" ] || fail "orvik.ini was written beside the programs"
say "the settings live in the user's folders"
say "passed"
