#!/usr/bin/env bash
# Checks the Debian package that scripts/package.sh (or CI's release stage) builds:
#   - every file the installed programs need is in it, under /usr and nowhere else, owned by
#     root/root with the modes dpkg expects (programs and folders 0755, the rest 0644);
#   - the compressed manual pages and changelog carry no time stamp, the changelog's latest
#     entry is the package's version, and the manual pages format without a warning and
#     name every option and command the programs' --help lists;
#   - Depends (from dpkg-shlibdeps) names the Qt 6 and libssl/libcrypto libraries;
#   - lintian finds no error (its warnings and notes are printed);
#   - the unpacked qmctl runs and compiles a sequence with std.inc from usr/share/quadrimon.
# Usage: package_check.sh PACKAGE.deb
set -euo pipefail

[ $# -eq 1 ] || { echo "usage: $0 PACKAGE.deb" >&2; exit 2; }
deb=$1
[ -f "$deb" ] || { echo "package check: no such file $deb" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "package check: $*" >&2; failures=$((failures + 1)); }

# --- contents -------------------------------------------------------------------------------

dpkg-deb -c "$deb" >"$work/contents"
# Each line: mode owner size date time ./path [-> target]
awk '{ print $6 }' "$work/contents" | sed 's|^\./||' >"$work/paths"

doc=usr/share/doc/quadrimon-control
for f in usr/bin/QuadrimonControl usr/bin/qmctl usr/bin/qmsim \
         usr/share/quadrimon/std.inc usr/share/quadrimon/help/QuadrimonControl.htm \
         usr/share/applications/quadrimon-control.desktop \
         usr/share/mime/packages/quadrimon-control.xml \
         usr/share/icons/hicolor/16x16/apps/quadrimon-control.png \
         usr/share/icons/hicolor/32x32/apps/quadrimon-control.png \
         usr/share/man/man1/QuadrimonControl.1.gz usr/share/man/man1/qmctl.1.gz \
         usr/share/man/man1/qmsim.1.gz \
         "$doc/copyright" "$doc/changelog.gz" "$doc/README.Debian"; do
  grep -qxF "$f" "$work/paths" || fail "$f is not in the package"
done

outside=$(grep -vE '^(usr/|$)' "$work/paths" || true)
[ -z "$outside" ] || fail "files outside /usr: $outside"

while read -r mode owner _ _ _ path _; do
  [ "$owner" = root/root ] || fail "$path is owned by $owner, not root/root"
  case "$mode:$path" in
    d*) want=drwxr-xr-x ;;
    *:./usr/bin/*) want=-rwxr-xr-x ;;
    *) want=-rw-r--r-- ;;
  esac
  [ "$mode" = "$want" ] || fail "$path has mode $mode, not $want"
done <"$work/contents"

# --- control fields -------------------------------------------------------------------------

version=$(dpkg-deb -f "$deb" Version)
depends=$(dpkg-deb -f "$deb" Depends)
echo "package check: Version: $version"
echo "package check: Depends: $depends"
[ -n "$depends" ] || fail "Depends is empty"
for lib in libqt6core6 libqt6gui6 libqt6widgets6 libssl; do
  grep -q "$lib" <<<"$depends" || fail "Depends does not name $lib"
done
[ "$(dpkg-deb -f "$deb" Package)" = quadrimon-control ] || fail "the package is not quadrimon-control"
case "$(basename "$deb")" in
  "quadrimon-control_${version}_$(dpkg-deb -f "$deb" Architecture).deb") ;;
  *) fail "the file name $(basename "$deb") is not quadrimon-control_${version}_ARCH.deb" ;;
esac

# --- the unpacked tree ----------------------------------------------------------------------

root=$work/root
dpkg-deb -x "$deb" "$root"

# gzip -n leaves the time stamp at 0, so the same source packs to the same bytes.
for gz in "$root"/usr/share/man/man1/*.gz "$root/$doc/changelog.gz"; do
  stamp=$(od -An -tu4 -j4 -N4 "$gz" | tr -d ' ')
  [ "$stamp" = 0 ] || fail "${gz#"$root"/} carries a time stamp"
done

latest=$(zcat "$root/$doc/changelog.gz" | sed -n '1s/^quadrimon-control (\([^)]*\)).*/\1/p')
[ "$latest" = "$version" ] ||
  fail "the changelog's latest entry is '$latest', the package is $version"

head -1 "$root/$doc/copyright" |
  grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
  fail "the copyright file is not in the machine-readable format"

for page in "$root"/usr/share/man/man1/*.1.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null || true)
  [ -z "$warnings" ] || fail "${page#"$root"/}: $warnings"
done

# Every option and command --help lists is in the program's manual page.
export QT_QPA_PLATFORM=offscreen
for program in qmctl qmsim QuadrimonControl; do
  zcat "$root/usr/share/man/man1/$program.1.gz" | sed 's/\\-/-/g' >"$work/$program.man"
  "$root/usr/bin/$program" --help >"$work/$program.help"
  while read -r option; do
    grep -qF -- "$option" "$work/$program.man" || fail "$program.1 does not name $option"
  done < <(grep -oE -- '--[a-z][a-z-]*' "$work/$program.help" | sort -u)
done
while read -r command; do
  grep -qE "^\.B[IR]? \"?$command" "$work/qmctl.man" || fail "qmctl.1 does not describe $command"
done < <(sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p' "$work/qmctl.help")

# The unpacked programs find their data as bin/../share/quadrimon.
mkdir "$work/run"
"$root/usr/bin/qmctl" --version | grep -qx "qmctl $version" || fail "qmctl --version"
"$root/usr/bin/qmsim" --version | grep -qx "qmsim $version" || fail "qmsim --version"
printf 'SEND 7 0 FN_SWVERSION\n' >"$work/run/show.seq"
if (cd "$work/run" && "$root/usr/bin/qmctl" compile show.seq >/dev/null); then
  [ -s "$work/run/show.sfb" ] || fail "qmctl compile wrote no show.sfb"
else
  fail "the unpacked qmctl did not compile FN_SWVERSION (std.inc not found in usr/share/quadrimon)"
fi

# --- lintian --------------------------------------------------------------------------------

# Errors fail the check; warnings and notes are printed. lintian ends non-zero for an error,
# so a non-zero end without one means it could not check the package.
if command -v lintian >/dev/null; then
  status=0
  lintian --display-info "$deb" >"$work/lintian" 2>&1 || status=$?
  grep -E '^[EWIPX]: ' "$work/lintian" | sed 's/^/lintian: /' || true
  if grep -q '^E: ' "$work/lintian"; then
    fail "lintian reports errors"
  elif [ "$status" -ne 0 ]; then
    cat "$work/lintian" >&2
    fail "lintian could not check the package (exit $status)"
  fi
else
  fail "lintian is not installed (bash scripts/install-deps.sh installs it)"
fi

if [ "$failures" -ne 0 ]; then
  echo "package check: $failures failed" >&2
  exit 1
fi
echo "package check: $(basename "$deb") passed"
