#!/bin/bash
# The Windows Mobile zip holds exactly the ARM Tollamy.dll as built, the sample deck under the
# name the DLL reads, and a README whose install steps create every registry value that
# resources/install.cmd creates (the settings of tollamy.reg, the Today item entry of the
# reg add lines), with the same type and value; the DLL's path is the folder the README copies
# it to. Text with CR LF line ends.   zip-check.sh ZIP DLL
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
zip="$1"
dll="$2"
fail() { echo "FAIL: $*" >&2; exit 1; }
[ -f "$zip" ] || fail "no $zip"
version="$(sed -n 's/^project(Tollamy VERSION \([0-9.]*\) .*/\1/p' "$root/CMakeLists.txt")"
top="Tollamy-$version-wm5-arm"
[ "$(basename "$zip")" = "$top.zip" ] || fail "the zip is named $(basename "$zip")"
expected="$(printf '%s\n' README.txt Tollamy.dll Tollamy.txt | sed "s|^|$top/|")"
got="$(unzip -Z1 "$zip" | grep -v '/$' | LC_ALL=C sort)"
[ "$got" = "$expected" ] || fail "the zip holds:"$'\n'"$got"$'\n'"expected:"$'\n'"$expected"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
unzip -q "$zip" -d "$work"
cmp "$work/$top/Tollamy.dll" "$dll" || fail "Tollamy.dll is not the build's"
cmp "$work/$top/Tollamy.txt" "$root/samples/capitals.txt" || fail "Tollamy.txt is not the sample deck"
readme="$work/$top/README.txt"
lf="$(grep -c $'$' "$readme")"
crlf="$(grep -c $'\r$' "$readme")"
[ "$lf" = "$crlf" ] || fail "README.txt: $crlf of $lf lines end in CR LF"
grep -q "Tollamy $version for Windows Mobile 5" "$readme" || fail "README.txt lacks the version"
device_dll='\Windows\Tollamy.dll'
grep -qF 'into the \Windows folder of the device' "$readme" || fail "README.txt names no folder"

# KEY|NAME|TYPE|VALUE lines, sorted. The install step's: tollamy.reg's settings and
# install.cmd's entry, with its defaults for the entry's name and order and the device's path.
cmd="$(tr -d '\r' <"$root/resources/install.cmd")"
default() { sed -n "s/^set \"$1=\(.*\)\"$/\1/p" <<<"$cmd"; }
name="$(default name)"
order="$(default order)"
item_key="$(sed -n 's/^set "key=\(.*\)"$/\1/p' <<<"$cmd" | sed "s/%name%/$name/")"
{
    tr -d '\r' <"$root/resources/tollamy.reg" | awk '
        function hex(s,    n, i) {
            for (i = 1; i <= length(s); i++) n = n * 16 + index("0123456789abcdef", substr(s, i, 1)) - 1
            return n }
        /^\[HKEY_CURRENT_USER\\/ { key = "HKCU\\" substr($0, 20, length($0) - 20) }
        /^"[A-Za-z0-9]+"=dword:/ {
            split($0, p, "=dword:"); gsub(/"/, "", p[1])
            printf "%s|%s|REG_DWORD|%d\n", key, p[1], hex(tolower(p[2])) }'
    sed -n 's/^reg add "%key%" \/v \([A-Za-z]*\) \/t \([A-Z_]*\) \/d \(.*\) \/f .*/\1|\2|\3/p' \
        <<<"$cmd" | while IFS= read -r line; do
        line="${line/\%order\%/$order}"
        printf '%s|%s\n' "$item_key" "${line/\"%dll%\"/$device_dll}"
    done
} | LC_ALL=C sort >"$work/install"
# The README's: the values listed under each key, "NAME  DWORD|String  VALUE".
tr -d '\r' <"$readme" | awk '
    $1 ~ /^HKEY_(CURRENT_USER|LOCAL_MACHINE)\\/ {
        key = $1; sub(/^HKEY_CURRENT_USER/, "HKCU", key); sub(/^HKEY_LOCAL_MACHINE/, "HKLM", key)
        next }
    key != "" && NF == 3 && ($2 == "DWORD" || $2 == "String") {
        printf "%s|%s|%s|%s\n", key, $1, ($2 == "DWORD" ? "REG_DWORD" : "REG_SZ"), $3; next }
    { key = "" }' | LC_ALL=C sort >"$work/readme"
[ "$(wc -l <"$work/install")" -eq 12 ] || fail "install.cmd's values were not all read:"$'\n'"$(cat "$work/install")"
diff "$work/install" "$work/readme" >&2 || fail "README.txt's registry values differ from install.cmd's (< install.cmd, > README.txt)"
echo "zip: $(unzip -Z1 "$zip" | grep -vc '/$') files; README.txt's $(wc -l <"$work/readme") registry values are install.cmd's:"
sed 's/^/  /' "$work/readme"
