#!/bin/bash
# The Windows zip holds exactly the listed files, the binaries as built and the text files with
# the line ends Windows' Notepad and cmd read.   zip-check.sh BUILD_DIR PACKAGE_DIR
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$1"
version="$(sed -n 's/^project(Tollamy VERSION \([0-9.]*\) .*/\1/p' "$root/CMakeLists.txt")"
zip="$2/Tollamy-$version-win64.zip"
fail() { echo "FAIL: $*" >&2; exit 1; }
[ -f "$zip" ] || fail "no $zip"
top="Tollamy-$version-win64"
expected="$(printf '%s\n' LICENSE.txt README.txt Tollamy.dll capitals.txt install.cmd japanese.txt \
    switch-item.exe today-host.exe tollamy-deck.exe tollamy.exe tollamy.reg | sed "s|^|$top/|" |
    LC_ALL=C sort)"
got="$(unzip -Z1 "$zip" | LC_ALL=C sort)"
[ "$got" = "$expected" ] || fail "the zip holds:"$'\n'"$got"$'\n'"expected:"$'\n'"$expected"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
unzip -q "$zip" -d "$work"
cmp "$work/$top/Tollamy.dll" "$build/Tollamy.dll" || fail "Tollamy.dll is not the build's"
for program in today-host.exe tollamy.exe switch-item.exe; do
    cmp "$work/$top/$program" "$build/$program" || fail "$program is not the build's"
done
# Every program of the zip needs Windows' own DLLs only: nothing beside it that a machine lacks.
source "$root/scripts/pe-imports.sh"
tollamy_system_imports_only "$work/$top"/*.exe "$work/$top"/*.dll || fail "a program needs DLLs"
cmp "$work/$top/capitals.txt" "$root/samples/capitals.txt" || fail "capitals.txt differs"
cmp "$work/$top/install.cmd" "$root/resources/install.cmd" || fail "install.cmd differs"
# Every line of the README and of install.cmd ends in CR LF.
for f in LICENSE.txt README.txt install.cmd; do
    lf="$(grep -c $'$' "$work/$top/$f")"
    crlf="$(grep -c $'\r$' "$work/$top/$f")"
    [ "$lf" -gt 0 ] && [ "$lf" = "$crlf" ] || fail "$f: $crlf of $lf lines end in CR LF"
done
grep -q "Tollamy $version for Windows" "$work/$top/README.txt" || fail "README.txt lacks the version"
grep -q 'install.cmd' "$work/$top/README.txt" || fail "README.txt does not tell how to install"
grep -q 'tollamy --anki French' "$work/$top/README.txt" || fail "README.txt does not tell of --anki"
grep -q '^MIT License' "$work/$top/LICENSE.txt" || fail "LICENSE.txt is not the MIT licence"
echo "zip: $(unzip -Z1 "$zip" | wc -l) files, all as expected"
