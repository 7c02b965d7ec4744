#!/bin/bash
# The install step (scripts/prepare.sh with resources/install.cmd) in a fresh Wine prefix:
# it creates the settings key and the Today item entry with the documented values, then
# leaves a user's own entry, settings and deck exactly as they were on a second run; a deck
# gets its own module copy and entry, and a deck named like a user's entry for another
# module is refused without touching that entry.   install-step-check.sh BUILD_DIR
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$1"
work="$(mktemp -d)"
export TOLLAMY_PREFIX="$work/prefix" WINEPREFIX="$work/prefix"
trap 'wineserver -k </dev/null >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
unset TOLLAMY_DEMO DISPLAY
source "$root/scripts/common.sh"
source "$root/scripts/prepare.sh"

fail() { echo "FAIL: $*" >&2; exit 1; }
items='HKLM\Software\Microsoft\Today\Items'
settings='HKCU\Software\Vessick\Tollamy'
c="$WINEPREFIX/drive_c/Tollamy"

# One install step, as scripts/run and the launcher run it (in a subshell: it stops its
# wineserver when it ends).
install_step() { (tollamy_parse_args install-step "$@" && tollamy_prepare "$build"); }
# KEY NAME -> "TYPE VALUE", from the registry of the prefix.
value() {
    wine reg query "$1" /v "$2" </dev/null 2>/dev/null | tr -d '\r' |
        sed -n "s/^ *$2 \{4\}\(REG_[A-Z_]*\) \{4\}/\1 /p"
}
expect() {
    local got
    got="$(value "$1" "$2")"
    [ "$got" = "$3" ] || fail "$1 $2: '$got', expected '$3'"
}
export_key() { wine reg export "$1" "$(tollamy_winpath "$2")" /y </dev/null >/dev/null 2>&1; }

# 1. A fresh prefix gets the entry and the settings with their documented values.
install_step >"$work/log1" 2>&1 || { cat "$work/log1"; fail "first install step"; }
expect "$items\\Tollamy" Type "REG_DWORD 0x4"
expect "$items\\Tollamy" DLL 'REG_SZ C:\Tollamy\Tollamy.dll'
expect "$items\\Tollamy" Enabled "REG_DWORD 0x1"
expect "$items\\Tollamy" Order "REG_DWORD 0xa"
expect "$items\\Tollamy" Options "REG_DWORD 0x1"
expect "$items\\Tollamy" Selectability "REG_DWORD 0x2"
expect "$items\\Tollamy" Flags "REG_DWORD 0x0"
expect "$settings" Height "REG_DWORD 0x20"
expect "$settings" TimeOut1st "REG_DWORD 0x1388"
expect "$settings" TimeOutLong "REG_DWORD 0x7d0"
expect "$settings" TimeOutShort "REG_DWORD 0x64"
expect "$settings" ExchangeQA "REG_DWORD 0x0"
cmp -s "$c/Tollamy.dll" "$build/Tollamy.dll" || fail "Tollamy.dll not installed"
cmp -s "$c/Tollamy.txt" "$root/samples/capitals.txt" || fail "sample deck not installed"

# 2. The user's own entry, settings and deck.
wine reg add "$items\\Tollamy" /v DLL /d 'D:\Mine\Tollamy.dll' /f </dev/null >/dev/null 2>&1
wine reg add "$items\\Tollamy" /v Enabled /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
wine reg add "$items\\Tollamy" /v Order /t REG_DWORD /d 3 /f </dev/null >/dev/null 2>&1
wine reg delete "$items\\Tollamy" /v Options /f </dev/null >/dev/null 2>&1
wine reg add "$settings" /v Height /t REG_DWORD /d 77 /f </dev/null >/dev/null 2>&1
wine reg add "$settings" /v TimeOut1st /t REG_DWORD /d 1234 /f </dev/null >/dev/null 2>&1
wine reg delete "$settings" /v ExchangeQA /f </dev/null >/dev/null 2>&1
printf '\xff\xfeM\0y\0\t\0d\0e\0c\0k\0' >"$c/Tollamy.txt"
cp "$c/Tollamy.txt" "$work/user-deck"
export_key "$items\\Tollamy" "$work/entry-before.reg"
export_key "$settings" "$work/settings-before.reg"
# A user's entry for another module, named like a deck given later.
wine reg add "$items\\French" /v DLL /d 'C:\Elsewhere\French.dll' /f </dev/null >/dev/null 2>&1
export_key "$items\\French" "$work/french-before.reg"

# 3. Again, with a deck: everything the user had stays as it was.
mkdir "$work/decks"
printf '\xff\xfeQ\0\t\0A\0' >"$work/decks/Spanish.txt"
install_step --deck "$work/decks/Spanish.txt" >"$work/log2" 2>&1 ||
    { cat "$work/log2"; fail "second install step"; }
export_key "$items\\Tollamy" "$work/entry-after.reg"
export_key "$settings" "$work/settings-after.reg"
cmp "$work/entry-before.reg" "$work/entry-after.reg" || fail "the user's entry changed"
cmp "$work/settings-before.reg" "$work/settings-after.reg" || fail "the user's settings changed"
cmp "$work/user-deck" "$c/Tollamy.txt" || fail "the user's deck changed"
iconv -f UTF-16 -t UTF-8 "$work/entry-after.reg" | grep -q '"DLL"="D:\\\\Mine' || fail "export does not hold the user's DLL value"

# The deck: its own module copy beside a link to the deck, and its own entry after Tollamy's.
expect "$items\\Spanish" DLL 'REG_SZ C:\Tollamy\decks\Spanish.dll'
expect "$items\\Spanish" Type "REG_DWORD 0x4"
expect "$items\\Spanish" Enabled "REG_DWORD 0x1"
expect "$items\\Spanish" Order "REG_DWORD 0xb"
cmp -s "$c/decks/Spanish.dll" "$build/Tollamy.dll" || fail "no module copy for the deck"
[ "$(readlink "$c/decks/Spanish.txt")" = "$work/decks/Spanish.txt" ] || fail "no link to the deck"

# 4. A deck named like the user's entry for another module is refused; that entry stays.
printf '\xff\xfeQ\0\t\0R\0' >"$work/decks/French.txt"
if install_step --deck "$work/decks/French.txt" >"$work/log3" 2>&1; then
    fail "a deck named like another module's entry was accepted"
fi
grep -q 'has an item French for C:\\Elsewhere\\French.dll' "$work/log3" ||
    { cat "$work/log3"; fail "no clear message for the refused deck"; }
export_key "$items\\French" "$work/french-after.reg"
cmp "$work/french-before.reg" "$work/french-after.reg" || fail "the user's French entry changed"
[ ! -e "$c/decks/French.dll" ] || fail "a module copy was installed for the refused deck"

# 5. Bad arguments: two decks of one name, a missing deck. Status 2, nothing installed.
for args in "--deck $work/decks/Spanish.txt --deck $work/decks/Spanish.txt" "--deck $work/none.txt"; do
    status=0
    # shellcheck disable=SC2086
    install_step $args >"$work/log4" 2>&1 || status=$?
    [ "$status" = 2 ] || { cat "$work/log4"; fail "$args: status $status, expected 2"; }
done
echo "install step: all checks passed"
