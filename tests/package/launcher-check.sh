#!/bin/bash
# The launcher of the .deb, unpacked with dpkg-deb -x into a temporary folder, run with a
# temporary HOME and no display: it prepares a prefix in that HOME, registers the item, runs
# the demo and writes the PNG files, none blank.   launcher-check.sh PACKAGE_DIR
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
version="$(sed -n 's/^project(Tollamy VERSION \([0-9.]*\) .*/\1/p' "$root/CMakeLists.txt")"
deb="$1/tollamy_$version-1_amd64.deb"
fail() { echo "FAIL: $*" >&2; exit 1; }
work="$(mktemp -d)"
prefix="$work/home/.local/share/tollamy/wineprefix"
trap 'WINEPREFIX="$prefix" wineserver -k </dev/null >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work/root"
mkdir "$work/home"
status=0
env -i PATH=/usr/bin:/bin HOME="$work/home" "$work/root/usr/bin/tollamy" \
    >"$work/run.log" 2>&1 || status=$?
cat "$work/run.log"
[ "$status" = 0 ] || fail "the launcher exited with $status"
out="$work/home/.local/share/tollamy/demo"
files=()
for name in 01-start 02-question 03-answer 03-answer-item 04-turned 05-new-card 06-options 07-taller; do
    files+=("$out/$name.png")
    grep -qx "$out/$name.png" "$work/run.log" || fail "not reported: $name.png"
done
python3 "$root/tests/host/check-png.py" "${files[@]}"
# The prefix is the user's own, in HOME, with the package's binaries and the item's entry.
cmp -s "$prefix/drive_c/Tollamy/Tollamy.dll" "$work/root/usr/lib/tollamy/Tollamy.dll" ||
    fail "the module in the prefix is not the package's"
WINEPREFIX="$prefix" WINEDEBUG=-all wine reg query 'HKLM\Software\Microsoft\Today\Items\Tollamy' \
    /v DLL </dev/null 2>/dev/null | grep -q 'C:\\Tollamy\\Tollamy.dll' || fail "no Today entry"
