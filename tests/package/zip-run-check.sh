#!/bin/bash
# The Windows zip as a Windows learner uses it, under Wine in a fresh prefix whose %APPDATA%\Anki2
# holds an Anki profile of the test's own, with the clock at 2026-03-11 (TOLLAMY_NOW, TZ):
#   1. the zip unpacked, install.cmd run once;
#   2. tollamy --anki French;
#   3. the deck holds today's due cards, and the screen shows;
#   4. a review saved as Anki saves it reaches the deck within 20 s;
#   5. once the screen closes (F2), nothing of the zip's programs runs.
#   zip-run-check.sh BUILD_DIR PACKAGE_DIR
set -euo pipefail
if [ -z "${TOLLAMY_ZIP_CHECK_XVFB:-}" ]; then
    export TOLLAMY_ZIP_CHECK_XVFB=1
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
source "$(dirname "$0")/fresh-prefix.sh" "$1"
export XENVIRONMENT=/dev/null
version="$(sed -n 's/^project(Tollamy VERSION \([0-9.]*\) .*/\1/p' "$root/CMakeLists.txt")"
zip="$2/Tollamy-$version-win64.zip"
[ -f "$zip" ] || fail "no $zip"
tool="$build/deck-native/tollamy-deck"
launcher=""
cleanup() {
    [ -n "$launcher" ] && { kill "$launcher" 2>/dev/null || true; }
    WINEPREFIX="$prefix" wineserver -k </dev/null >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
tollamy_wine_env "$prefix"
tollamy_session_wineserver

# 1. Unpacked where it is to stay; install.cmd once; a profile where Anki keeps it on Windows.
unzip -q "$zip" -d "$prefix/drive_c"
top="C:\\Tollamy-$version-win64"
folder() { winepath -u "$(wine cmd /c echo "%$1%" </dev/null 2>/dev/null | tr -d '\r')"; }
appdata="$(folder APPDATA)"
local="$(folder LOCALAPPDATA)"
profile="$appdata/Anki2/User 1"
mkdir -p "$profile/backups"
"$build/deck-native/deck-apkg-seeds" --profile "$profile"
collection="$profile/collection.anki2"
wine cmd /c "$top\\install.cmd" </dev/null >/dev/null 2>&1 || fail "install.cmd failed"

# 2. The launcher, as a learner starts it.
TOLLAMY_NOW=1773223200 TZ=UTC wine "$top\\tollamy.exe" --anki French </dev/null >"$work/run.log" 2>&1 &
launcher=$!
wait_for_window

# 3. Today's due cards, in the data folder of the launcher.
deck="$local/Tollamy/anki/French.txt"
"$tool" check "$deck" 2>/dev/null | grep -qx '4 cards, 0 warnings, 0 errors' ||
    { cat "$work/run.log"; fail "the deck does not hold the 4 due cards"; }
[ -f "$local/Tollamy/anki/French.dll" ] || fail "no module copy beside the deck"

# 4. Reviewed in Anki: the due cards come due tomorrow, in the collection's log.
sqlite3 "$collection" "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;
    UPDATE cards SET type = 2, queue = 2, due = 70,
        odue = CASE WHEN odid != 0 THEN 70 ELSE odue END, mod = mod + 1
    WHERE queue IN (1, 2, 3, 4)" >/dev/null
reviewed=""
for _ in $(seq 40); do
    if "$tool" check "$deck" 2>/dev/null | grep -qx '1 card, 0 warnings, 0 errors'; then
        reviewed=1
        break
    fi
    sleep 0.5
done
[ -n "$reviewed" ] || { cat "$work/run.log"; fail "the review is not in the deck after 20 s"; }

# 5. F2 closes the screen; then nothing of the zip runs.
xdotool windowfocus --sync "$window" key F2
status=0
wait "$launcher" || status=$?
launcher=""
[ "$status" = 0 ] || { cat "$work/run.log"; fail "the launcher's status is $status"; }
for _ in $(seq 20); do
    pgrep -f "Tollamy-$version-win64" >/dev/null || break
    sleep 0.5
done
left="$(pgrep -af "Tollamy-$version-win64" || true)"
[ -z "$left" ] || fail "left running: $left"
echo "zip run: unpacked, installed, today's cards shown and kept current, nothing left"
