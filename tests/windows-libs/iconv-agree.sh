#!/bin/bash
# Holds an iconv for Windows against glibc's, as the deck tool uses iconv (iconv_agree.cpp): the
# text files of the tool's corpus and of the real decks, read in place, and every one- and
# two-byte sequence of each encoding that uchardet can name, decoded natively with glibc and
# under Wine with the iconv whose C sources are given; the files must come out byte for byte
# the same, and the tables are compared encoding by encoding (iconv-compare.py).
#   tests/windows-libs/iconv-agree.sh INCLUDE_DIR SOURCE.c...
# INCLUDE_DIR holds that iconv's iconv.h. Needs scripts/windows-libs' prefix (uchardet). The
# work goes to $BUILD_DIR/iconv-agree; the status is 1 when a file differs.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
source "$root/scripts/common.sh"
[ $# -ge 2 ] || {
    sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0" >&2
    exit 2
}
include="$(cd "$1" && pwd)"
shift
build="${BUILD_DIR:-$root/build}"
prefix="$build/windows-libs"
work="$build/iconv-agree"
rm -rf "$work"
mkdir -p "$work"/{native,windows}

g++ -std=c++17 -O2 -Wall -Wextra -Werror "$here/iconv_agree.cpp" -luchardet -o "$work/agree"
objects=()
for source in "$@"; do
    x86_64-w64-mingw32-gcc-posix -O2 -I"$include" -c "$source" -o "$work/$(basename "$source").o"
    objects+=("$work/$(basename "$source").o")
done
x86_64-w64-mingw32-g++-posix -std=c++17 -O2 -Wall -Wextra -Werror -I"$include" \
    -isystem "$prefix/include" "$here/iconv_agree.cpp" "${objects[@]}" -static -L"$prefix/lib" \
    -luchardet -o "$work/agree.exe"

real="${TOLLAMY_REAL_DECKS:-$root/../shared/real-decks}"
files=("$root"/deck/tests/corpus/*)
for f in "$real"/*.csv "$real"/*.txt "$real"/*.tsv "$real"/*/*.txt; do
    [ -f "$f" ] && files+=("$f")
done
# The names uchardet 0.0.7 gives (the deck reads ASCII as WINDOWS-1252), and the byte-order
# marks' UTF-8 and UTF-16; single-byte encodings need the single bytes only.
single=(ISO-8859-1 ISO-8859-2 ISO-8859-3 ISO-8859-4 ISO-8859-5 ISO-8859-6 ISO-8859-7
    ISO-8859-8 ISO-8859-8-I ISO-8859-9 ISO-8859-10 ISO-8859-11 ISO-8859-13 ISO-8859-15
    ISO-8859-16 WINDOWS-1250 WINDOWS-1251 WINDOWS-1252 WINDOWS-1253 WINDOWS-1255 WINDOWS-1256
    WINDOWS-1257 WINDOWS-1258 IBM852 IBM855 IBM866 KOI8-R MAC-CENTRALEUROPE MAC-CYRILLIC
    TIS-620 VISCII)
multi=(SHIFT_JIS EUC-JP EUC-KR CP949 UHC BIG5 EUC-TW GB18030 GB2312 HZ-GB-2312 ISO-2022-JP
    ISO-2022-KR ISO-2022-CN UTF-16 UTF-32 UTF-16LE UTF-16BE UTF-8)

"$work/agree" files "$work/native" "${files[@]}" >"$work/files-native"
{ "$work/agree" table "${single[@]}" && "$work/agree" pairs "${multi[@]}"; } >"$work/table-native"
tollamy_wine_env "$work/wineprefix"
tollamy_start_wineserver
wine "$work/agree.exe" files "$work/windows" "${files[@]}" </dev/null | tr -d '\r' \
    >"$work/files-windows"
{ wine "$work/agree.exe" table "${single[@]}" </dev/null &&
    wine "$work/agree.exe" pairs "${multi[@]}" </dev/null; } | tr -d '\r' >"$work/table-windows"
tollamy_stop_wineserver

status=0
echo "== files (< glibc, > this iconv)"
diff "$work/files-native" "$work/files-windows" || status=1
for f in "$work"/native/*; do
    [ -f "$work/windows/${f##*/}" ] || continue
    cmp "$f" "$work/windows/${f##*/}" || status=1
done
echo "== $(grep -vc 'read as is' "$work/files-native") of ${#files[@]} files converted," \
    "$(grep -c 'read as is' "$work/files-native") valid UTF-8 read as is"
echo "== tables"
python3 "$here/iconv-compare.py" "$work/table-native" "$work/table-windows"
exit $status
