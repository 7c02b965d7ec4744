#!/bin/bash
# The Windows libraries of scripts/windows-libs against Debian's own: tests/windows-libs/smoke.cpp
# is built natively against the -dev packages and for Windows through cmake/windows-libs.cmake
# (static), the Windows program imports Windows' DLLs only, and under Wine it prints what the
# native one prints, on the deck tool's corpus and the real decks' text files. Allowed to
# differ: what the compilers name or detect (COMPILER, MUTEX_*, HAVE_ISNAN in SQLite's compile
# options) and libzip's bzip2 and AES support, which the Windows build leaves out.
#   windows-libs-check.sh BUILD_DIR      (status 77, skipped, while the prefix is not current)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
source "$root/scripts/common.sh"
source "$root/scripts/pe-imports.sh"
build="$(cd "${1:-$root/build}" && pwd)"
if ! BUILD_DIR="$build" "$root/scripts/windows-libs" --current; then
    echo "skipped: $build/windows-libs is not built for the installed versions (scripts/windows-libs)"
    exit 77
fi
work="$build/windows-libs-check"
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

for side in native windows; do
    options=(-DCMAKE_BUILD_TYPE=Release)
    [ "$side" = windows ] && options+=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/windows-libs.cmake"
        -DTOLLAMY_WINDOWS_LIBS="$build/windows-libs")
    tollamy_configure "$work/$side" "$root/tests/windows-libs" "${options[@]}"
    cmake --build "$work/$side" >"$work/$side.log" 2>&1 || fail "the $side build: $(tail -20 "$work/$side.log")"
done
exe="$work/windows/windows-libs-smoke.exe"
tollamy_system_imports_only "$exe" || fail "$exe needs DLLs that Windows lacks"
echo "imports of windows-libs-smoke.exe: $(tollamy_pe_imports "$exe" | paste -sd' ')"

files=("$root"/deck/tests/corpus/*)
real="${TOLLAMY_REAL_DECKS:-$root/../shared/real-decks}"
for f in "$real"/*.csv "$real"/*.txt "$real"/*.tsv; do
    [ -f "$f" ] && [ "${f##*/}" != MANIFEST.tsv ] && files+=("$f")
done

"$work/native/windows-libs-smoke" "${files[@]}" >"$work/native.out" ||
    fail "the native run: $(grep -h FAILED "$work/native.out")"
tollamy_wine_env "$work/wineprefix"
tollamy_start_wineserver
wine "$exe" "${files[@]}" </dev/null 2>"$work/windows.err" | tr -d '\r' >"$work/windows.out" ||
    fail "the run under Wine: $(grep -h FAILED "$work/windows.out"; cat "$work/windows.err")"
tollamy_stop_wineserver

comparable() {
    grep -Ev '^sqlite\.option: (COMPILER=|MUTEX_|HAVE_ISNAN$)|^libzip\.(bzip2|aes):' "$1"
}
diff <(comparable "$work/native.out") <(comparable "$work/windows.out") >"$work/diff" ||
    fail "the Windows libraries differ from Debian's (< Linux, > Windows):
$(cat "$work/diff")"
grep -E '^(sqlite|zstd|libzip)\.version|^zstd\.frame|^libzip\.entry' "$work/windows.out"
echo "$(grep -c '^uchardet:' "$work/windows.out") files guessed alike, $(grep -c '^sqlite\.option:' \
    "$work/windows.out") SQLite options; the Windows libraries agree with Debian's"
