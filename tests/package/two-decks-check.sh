#!/bin/bash
# scripts/run --deck A.txt --deck B.txt in a fresh prefix: both decks become items of the Today
# list beside Tollamy (items 1 Tollamy, 2 Alpha, 3 Beta, by Order) and show at once; each item
# draws from its own deck, and each one's action opens its own deck.
#   two-decks-check.sh BUILD_DIR
set -euo pipefail
source "$(dirname "$0")/fresh-prefix.sh" "$1"

# One card each, as UTF-16LE with the byte-order mark.
deck() { printf '%s\t%s\r\n' "$2" "$3" | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$1"; }
mkdir "$work/decks"
deck "$work/decks/Alpha.txt" "Alpha question" "Alpha answer"
deck "$work/decks/Beta.txt" "Beta question" "Beta answer"

# scripts/run without a display, on the built binaries, with a host script of our own.
run() {
    printf '%s\n' "$@" >"$work/script"
    env -u DISPLAY -u TOLLAMY_IN_XVFB -u TOLLAMY_DEMO -u WINEPREFIX \
        TOLLAMY_PREFIX="$prefix" TOLLAMY_OUT="$work/out" TOLLAMY_NO_BUILD=1 BUILD_DIR="$build" \
        TOLLAMY_SCRIPT="$work/script" \
        "$root/scripts/run" --deck "$work/decks/Alpha.txt" --deck "$work/decks/Beta.txt" \
        >"$work/run.log" 2>&1 || { cat "$work/run.log"; fail "scripts/run $*"; }
}
# Each item draws its card on leaving it; then each item's rectangle is captured.
show_all=("select 2" "leave 2" "select 3" "leave 3" "capture-item item1 1" "capture-item item2 2"
    "capture-item item3 3" "quit")

# 1. Both decks installed and registered after Tollamy, and all three items on the screen.
run "${show_all[@]}"
grep -q 'capture-item .*item3.png' "$work/run.log" || { cat "$work/run.log"; fail "no third item"; }
for n in 1 2 3; do cp "$work/out/item$n.png" "$work/first$n.png"; done
export WINEPREFIX="$prefix" WINEDEBUG=-all
items='HKLM\Software\Microsoft\Today\Items'
tollamy_reg_value "$items\\Alpha" DLL | grep -qx 'C:\\Tollamy\\decks\\Alpha.dll' || fail "Alpha entry"
tollamy_reg_value "$items\\Beta" Order | grep -qx '0xc' || fail "Beta's Order"

# 2. Each item draws from its own deck: with Alpha's deck changed, item 2 looks different, and
# items 1 and 3 (reading other decks) look exactly as before.
deck "$work/decks/Alpha.txt" "Another question" "Another answer"
run "${show_all[@]}"
cmp -s "$work/out/item2.png" "$work/first2.png" && fail "item 2 does not show Alpha.txt's card"
cmp -s "$work/out/item1.png" "$work/first1.png" || fail "item 1 changed with Alpha.txt"
cmp -s "$work/out/item3.png" "$work/first3.png" || fail "item 3 changed with Alpha.txt"

# 3. Each action opens its own deck: .txt files open in the test recorder, which writes the
# path it was given.
wine reg add 'HKCR\txtfile\shell\open\command' /ve /f \
    /d "\"$(tollamy_winpath "$build/recorder.exe")\" \"$(tollamy_winpath "$work/opened")\" \"%1\"" \
    </dev/null >/dev/null 2>&1
for n in 2 3; do
    rm -f "$work/opened"
    run "select $n" "action $n" "wait 3000" "quit"
    name=$([ $n = 2 ] && echo Alpha || echo Beta)
    [ -f "$work/opened" ] || fail "action $n opened nothing"
    opened="$(iconv -f UTF-16LE -t UTF-8 "$work/opened" | tr -d '\r')"
    [ "$opened" = "C:\\Tollamy\\decks\\$name.txt" ] || fail "action $n opened '$opened'"
done
echo "two decks: both items show their own decks and open them"
