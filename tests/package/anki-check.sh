#!/bin/bash
# scripts/run --anki DECK in a fresh prefix and HOME, with an Anki profile of its own (ANKI_BASE)
# and the clock at 2026-03-11 (TOLLAMY_NOW): today's due cards of the deck are imported into
# ~/.local/share/tollamy/anki and show as one more Today item; a deck that cannot be imported is
# reported while the other items show, and its item is switched off; several profiles without
# --anki-profile are an error that lists them.
#   anki-check.sh BUILD_DIR
set -euo pipefail
source "$(dirname "$0")/fresh-prefix.sh" "$1"

mkdir -p "$work/home" "$work/anki/User 1"
"$build/deck-native/deck-apkg-seeds" --profile "$work/anki/User 1"

# scripts/run without a display, on the built binaries, with a host script of our own.
script=("select 2" "leave 2" "capture-item item1 1" "capture-item item2 2" "quit")
run() {
    local status=0
    printf '%s\n' "${script[@]}" >"$work/script"
    env -u DISPLAY -u TOLLAMY_IN_XVFB -u TOLLAMY_DEMO -u WINEPREFIX -u XDG_DATA_HOME \
        HOME="$work/home" ANKI_BASE="$work/anki" TOLLAMY_NOW=1773223200 TZ=UTC \
        TOLLAMY_PREFIX="$prefix" TOLLAMY_OUT="$work/out" TOLLAMY_NO_BUILD=1 BUILD_DIR="$build" \
        TOLLAMY_SCRIPT="$work/script" "$root/scripts/run" "$@" >"$work/run.log" 2>&1 || status=$?
    return $status
}
export WINEPREFIX="$prefix" WINEDEBUG=-all
items='HKLM\Software\Microsoft\Today\Items'

# 1. The only profile is taken; French is imported and shows as item 2; Missing is reported.
run --anki French --anki Missing || { cat "$work/run.log"; fail "scripts/run --anki"; }
deck="$work/home/.local/share/tollamy/anki/French.txt"
[ -f "$deck" ] || { cat "$work/run.log"; fail "no $deck"; }
"$build/deck-native/tollamy-deck" check "$deck" | grep -qx '4 cards, 0 warnings, 0 errors' ||
    fail "French.txt does not hold the 4 due cards"
iconv -f UTF-16LE -t UTF-8 "$deck" | head -1 | grep -q $'chien\tdog & puppy' ||
    fail "the learning card does not come first"
grep -q 'the Anki deck Missing is left out: .*has no deck "Missing"' "$work/run.log" ||
    { cat "$work/run.log"; fail "the failed import is not reported"; }
grep -q 'capture-item .*item2.png' "$work/run.log" || { cat "$work/run.log"; fail "no item 2"; }
cmp -s "$work/out/item1.png" "$work/out/item2.png" && fail "item 2 looks like item 1"
tollamy_reg_value "$items\\French" DLL | grep -qx 'C:\\Tollamy\\decks\\French.dll' ||
    fail "no French entry"
tollamy_reg_value "$items\\Missing" DLL && fail "an entry for Missing"

# 2. Its import failing (a profile whose collection is damaged), the French item is switched
# off; it comes back with the next import that works.
mkdir -p "$work/anki/Work"
echo "not a collection" >"$work/anki/Work/collection.anki2"
script=("capture-item item1 1" "quit")
run --anki French --anki-profile Work || { cat "$work/run.log"; fail "scripts/run, failed import"; }
grep -q 'the Anki deck French is left out: .*is not an Anki collection' "$work/run.log" ||
    { cat "$work/run.log"; fail "no message"; }
tollamy_reg_value "$items\\French" Enabled | grep -qx '0x0' || fail "French still shown"
run --anki French --anki-profile "User 1" || fail "scripts/run --anki-profile 'User 1'"
tollamy_reg_value "$items\\French" Enabled | grep -qx '0x1' || fail "French not shown again"

# 3. Two profiles and no --anki-profile: an error that names them.
status=0
run --anki French || status=$?
[ "$status" = 2 ] || fail "several profiles gave status $status"
grep -q 'Anki has several profiles ("User 1", "Work"); name one with --anki-profile NAME' \
    "$work/run.log" || { cat "$work/run.log"; fail "the profiles are not listed"; }
echo "anki: today's due cards show as an item; failures are reported and switched off"
