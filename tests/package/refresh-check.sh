#!/bin/bash
# scripts/run --anki French --refresh 1 on a screen of its own (Xvfb), in a fresh prefix and HOME,
# with an Anki profile of its own (ANKI_BASE) and the clock at 2026-03-11 (TOLLAMY_NOW): the
# screen keeps the Anki item current while it is open.
#   1. the deck file is written at start, and the item shows a card at once (not the title), in
#      place of the Tollamy item, whose deck is the untouched sample;
#   2. the due cards are marked reviewed as Anki would (due tomorrow, mod changed);
#   3. within 15 s the deck holds the "Nothing due" card,
#   4. which the screen shows without a key press;
#   5. with the collection held as Anki holds it, a newer backup with due cards comes;
#   6. within 15 s the deck holds them again.
# Then each way of closing the screen (Exit, F2, the window's close button, SIGTERM to the
# launcher) leaves no process, watch or temporary file behind; a start that does not name the
# deck keeps it current too; a second start while the screen is open leaves it open and current,
# and hands it a deck it names; the refresh killed is started again; SIGKILL to the launcher
# leaves nothing running after 100 s, nor a lock that refuses the next start; a refresh that
# cannot be started closes the screen; a failed refresh keeps the deck until the rollover, and
# then switches the item off.
#   refresh-check.sh BUILD_DIR
set -euo pipefail
# A display of its own: the test clicks, types and reads the screen.
if [ -z "${TOLLAMY_REFRESH_CHECK_XVFB:-}" ]; then
    export TOLLAMY_REFRESH_CHECK_XVFB=1
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
source "$(dirname "$0")/fresh-prefix.sh" "$1"
export XENVIRONMENT=/dev/null
# A TMPDIR of its own, for the launcher and the test's own Wine commands alike (Wine keeps its
# server's folder there), to see that the launcher leaves nothing else in it.
export TMPDIR="$work/tmp"
# A launcher still running when the test fails goes first, so that nothing of it outlives the
# test: its refresh could start Wine's server again after fresh-prefix.sh stopped it.
launcher=""
cleanup() {
    if [ -n "$launcher" ]; then
        kill "$launcher" 2>/dev/null || true
        wait "$launcher" 2>/dev/null || true
    fi
    WINEPREFIX="$prefix" wineserver -k </dev/null >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

profile="$work/anki/User 1"
collection="$profile/collection.anki2"
mkdir -p "$work/home" "$work/tmp" "$profile/backups"
"$build/deck-native/deck-apkg-seeds" --profile "$profile"
cp "$collection" "$work/due-today.anki2"
data="$work/home/.local/share/tollamy/anki"
deck="$data/French.txt"
tool="$build/deck-native/tollamy-deck"

# The launcher on the screen with the options given, in the background: its process id in
# launcher. The clock stands at $clock, by default Wed 2026-03-11 10:00.
start() {
    env -u TOLLAMY_IN_XVFB -u TOLLAMY_DEMO -u WINEPREFIX -u XDG_DATA_HOME -u XDG_CONFIG_HOME \
        HOME="$work/home" ANKI_BASE="$work/anki" TOLLAMY_NOW="${clock:-1773223200}" TZ=UTC \
        TOLLAMY_PREFIX="$prefix" TOLLAMY_NO_BUILD=1 BUILD_DIR="$build" \
        "$root/scripts/run" "$@" >"$work/run.log" 2>&1 &
    launcher=$!
    wait_for_window
}

# Waits up to 15 s for the deck to hold $1 (cards, as tollamy-deck check counts them).
wait_for_cards() {
    local _
    for _ in $(seq 30); do
        "$tool" check "$deck" 2>/dev/null | grep -qx "$1 cards\?, 0 warnings, 0 errors" && return 0
        sleep 0.5
    done
    cat "$work/run.log"
    fail "the deck does not hold $1 card(s) within 15 s"
}

# The item's look for a deck of one card, as the host draws it: the first item's rectangle,
# not selected, from a scripted run of the same module on that deck.
#   reference NAME CARD: NAME.png in $work/ref for the card CARD ("question<TAB>answer").
reference() {
    mkdir -p "$work/ref"
    cp "$build/Tollamy.dll" "$work/ref/$1.dll"
    printf '%s\r\n' "$2" | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$work/ref/$1.txt"
    printf '%s\n' "select 1" "leave 1" "capture-item $1 1" "quit" >"$work/ref/script"
    wine "$prefix/drive_c/Tollamy/today-host.exe" --module "$(tollamy_winpath "$work/ref/$1.dll")" \
        --script "$(tollamy_winpath "$work/ref/script")" \
        --capture-dir "$(tollamy_winpath "$work/ref")" </dev/null >/dev/null 2>&1 ||
        fail "the reference capture of $2"
}
# The cards of the deck, one a line, in UTF-8.
cards() { iconv -f UTF-16LE -t UTF-8 "$deck" | sed $'1s/^\xef\xbb\xbf//; s/\r$//'; }
# Waits up to $2 seconds for the launcher to say $1.
wait_for_message() {
    local _
    for _ in $(seq $(($2 * 2))); do
        grep -q "$1" "$work/run.log" && return 0
        sleep 0.5
    done
    cat "$work/run.log"
    fail "the launcher did not say '$1' within $2 s"
}

# True when within 10 s the screen shows one of the looks $2... (PNG captures); the last dump
# is $1.xwd, and $1.png to look at.
shows() {
    local dump="$1" _
    shift
    for _ in $(seq 10); do
        xwd -id "$window" -silent >"$dump.xwd"
        python3 "$here/screen-shows.py" "$dump.xwd" "$dump.png" "$@" && return 0
        sleep 1
    done
    return 1
}

# The references of the deck's cards: card1.png, card2.png, ...
card_references() {
    local card n=0
    while IFS= read -r card; do
        n=$((n + 1))
        reference "card$n" "$card"
    done < <(cards)
}

# What is left of the launcher and every process it started ($tree): nothing but an empty line
# when no process of them runs, no Wine server of the prefix, nothing that names the work folder
# on its command line (the refresh, the host), nothing in TMPDIR but Wine's own folder (its
# server's socket and lock).
left() {
    local pid
    for pid in $tree; do
        # A zombie has ended: it waits only for a parent to collect its status.
        [[ "$(ps -o stat= -p "$pid" || true)" == *[!Z\ ]* ]] &&
            echo "process $pid ($(ps -o args= -p "$pid"))"
    done
    # Wine's server works in its folder under TMPDIR.
    for pid in $(pgrep wineserver); do
        [[ "$(readlink "/proc/$pid/cwd")" != "$work/"* ]] || echo "Wine's server"
    done
    pgrep -af "$work" || true
    ls -A "$work/tmp" | grep -v '^wine-' || true
}
# The launcher ended with status $2, leaving nothing ($1: how it was closed), and the data
# folder as it was (with the items $3, by default French).
expect_nothing_left() {
    local how="$1" status="$2" what names="" name
    wait "$launcher" && got=0 || got=$?
    [ "$got" = "$status" ] || { cat "$work/run.log"; fail "$how: status $got, not $status"; }
    what="$(left)"
    [ -z "$what" ] || fail "$how: left: $what"
    for name in ${3:-French}; do names+="$name.next $name.source $name.txt "; done
    [ "$(ls "$data" | tr '\n' ' ')" = "$names" ] || fail "$how: the data folder holds $(ls "$data")"
}
# Anki saves: the due cards reviewed (due tomorrow), or today's collection back.
review() {
    sqlite3 "$collection" "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;
        UPDATE cards SET type = 2, queue = 2, due = 70,
            odue = CASE WHEN odid != 0 THEN 70 ELSE odue END, mod = mod + 1
        WHERE queue IN (1, 2, 3, 4)" >/dev/null
}
unreview() {
    rm -f "$collection-wal" "$collection-shm"
    cp "$work/due-today.anki2" "$collection.new"
    mv "$collection.new" "$collection"
}
# The process id of the launcher's refresh (tollamy-deck watch).
refresh_pid() {
    local pid
    for pid in $(tollamy_descendants "$launcher"); do
        [[ "$(ps -o args= -p "$pid")" != *"tollamy-deck watch"* ]] || echo "$pid"
    done
}
export WINEPREFIX="$prefix" WINEDEBUG=-all
items='HKLM\Software\Microsoft\Today\Items'

# 1. The deck is written at start; the screen shows its card at once, and not the Tollamy item.
start --anki French --refresh 1
"$tool" check "$deck" | grep -qx '4 cards, 0 warnings, 0 errors' || fail "no 4 due cards"
[ "$(tollamy_reg_value "$items\\Tollamy" Enabled)" = 0x0 ] ||
    { cat "$work/run.log"; fail "the sample item shows: $(tollamy_reg_value "$items\\Tollamy" Enabled)"; }
card_references
shows "$work/start" "$work/ref"/card*.png ||
    fail "the screen does not show a card of the deck at start (see $work/start.png)"

# 2. Reviewed in Anki: the due cards come due tomorrow (day 70), and the collection is saved
# with its log, as Anki saves it.
review

# 3. Within 15 s the deck holds the "Nothing due" card.
wait_for_cards 1
iconv -f UTF-16LE -t UTF-8 "$deck" | grep -q $'^\xef\xbb\xbfNothing due in French\tNext: 4 cards tomorrow' ||
    fail "not the Nothing due card: $(iconv -f UTF-16LE -t UTF-8 "$deck")"

# 4. The screen shows it within a few seconds, without a key press.
reference nothing "$(cards)"
shows "$work/nothing" "$work/ref/nothing.png" ||
    fail "the screen does not show the Nothing due card (see $work/nothing.png)"

# 5. Anki runs: it holds the collection (exclusive locking mode, a read done), and makes a
# backup, which still has today's cards due.
coproc ANKI {
    exec python3 -c 'import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
db.execute("PRAGMA locking_mode=EXCLUSIVE")
db.execute("SELECT count(*) FROM col").fetchall()
print("held", flush=True)
sys.stdin.read()' "$collection"
}
read -r -t 10 held <&"${ANKI[0]}" && [ "$held" = held ] || fail "the collection is not held"
python3 -c 'import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w") as z:
    z.write(sys.argv[2], "collection.anki21")' "$work/backup.colpkg" "$work/due-today.anki2"
mv "$work/backup.colpkg" "$profile/backups/backup-2026-03-11-11.00.00.colpkg"

# 6. Within 15 s the deck holds them again.
wait_for_cards 4
eval "exec ${ANKI[1]}>&-"
wait "$ANKI_PID" || true
grep -q 'reading its newest backup instead' "$work/run.log" || fail "the backup was not read"

# Each way of closing leaves nothing behind.
tree="$(tollamy_descendants "$launcher")"
xdotool mousemove --window "$window" 190 330 click 1 # the right soft key, Exit
expect_nothing_left "Exit" 0

# A later start that does not name the deck keeps it current too (the collection is free
# again, with its reviews): the launcher knows it from the items list and its data folder.
start
wait_for_cards 1
first="$launcher" first_window="$window"

# A second start while the screen is open leaves it alone, and hands it the deck it names.
status=0
env -u TOLLAMY_IN_XVFB -u TOLLAMY_DEMO -u WINEPREFIX -u XDG_DATA_HOME -u XDG_CONFIG_HOME \
    HOME="$work/home" ANKI_BASE="$work/anki" TOLLAMY_NOW=1773223200 TZ=UTC \
    TOLLAMY_PREFIX="$prefix" TOLLAMY_NO_BUILD=1 BUILD_DIR="$build" \
    timeout 120 "$root/scripts/run" --anki Geography::Capitals >"$work/second.log" 2>&1 ||
    status=$?
[ "$status" = 0 ] || { cat "$work/second.log"; fail "the second start: status $status"; }
grep -qx 'scripts/run: Tollamy is already running; its screen shows Geography-Capitals too' \
    "$work/second.log" || { cat "$work/second.log"; fail "the second start did not say so"; }
kill -0 "$first" || fail "the second start ended the first screen"
xdotool search --onlyvisible --name '^Today$' | grep -qx "$first_window" ||
    fail "the first screen's window is gone"
[ "$(tollamy_reg_value "$items\\Geography-Capitals" Enabled)" = 0x1 ] ||
    fail "the handed deck has no entry"
"$tool" check "$data/Geography-Capitals.txt" >/dev/null || fail "the handed deck is not written"
# ... and the screen stays current: today's collection comes back, and the deck with it.
unreview
wait_for_cards 4

# The refresh killed is started again, and the deck is kept current still.
killed="$(refresh_pid)"
[ -n "$killed" ] || fail "no refresh runs"
kill -KILL "$killed"
wait_for_message 'the refresh of the Anki items ended (status 137); it starts again' 10
review
wait_for_cards 1
tree="$(tollamy_descendants "$launcher")"
xdotool windowfocus --sync "$window" key F2
expect_nothing_left "F2" 0 "French Geography-Capitals"
rm -f "$data"/Geography-Capitals.*
wine reg delete "$items\\Geography-Capitals" /f </dev/null >/dev/null 2>&1

# SIGKILL to the launcher: within 100 s nothing of it runs, and its lock refuses no later start.
start --anki French
tree="$(tollamy_descendants "$launcher")"
kill -KILL "$launcher"
wait "$launcher" 2>/dev/null || true
killed_at="$(date +%s)"
for _ in $(seq 100); do
    [ -z "$(left)" ] && break
    sleep 1
done
what="$(left)"
[ -z "$what" ] || fail "SIGKILL to the launcher: after 100 s left: $what"
echo "SIGKILL to the launcher: nothing of it runs after $(($(date +%s) - killed_at)) s"

start --anki French
tree="$(tollamy_descendants "$launcher")"
xdotool mousemove --window "$window" 235 10 click 1 # the close button of the window's caption
expect_nothing_left "the window closed" 0

# A refresh that cannot be started (another one holds the data folder) closes the screen, and
# says why.
(flock 9 && exec sleep 600) 9>"$data/.watch.lock" &
holder=$!
status=0
env -u TOLLAMY_IN_XVFB -u TOLLAMY_DEMO -u WINEPREFIX -u XDG_DATA_HOME -u XDG_CONFIG_HOME \
    HOME="$work/home" ANKI_BASE="$work/anki" TOLLAMY_NOW=1773223200 TZ=UTC \
    TOLLAMY_PREFIX="$prefix" TOLLAMY_NO_BUILD=1 BUILD_DIR="$build" \
    timeout 120 "$root/scripts/run" >"$work/run.log" 2>&1 || status=$?
kill "$holder"
wait "$holder" 2>/dev/null || true
[ "$status" = 1 ] || { cat "$work/run.log"; fail "a refresh that cannot start: status $status"; }
grep -q 'the refresh of the Anki items cannot be started .*; the screen closes' "$work/run.log" ||
    { cat "$work/run.log"; fail "no message for a refresh that cannot start"; }
tree=""
what="$(left)"
[ -z "$what" ] || fail "a refresh that cannot start: left: $what"

# A refresh that fails keeps the last deck and says why; once the deck is an earlier day's
# (the clock stands 20 s before the rollover, Thu 05:00), the item is switched off.
clock=$((1773291600 - 20)) start --anki French
rm -f "$collection-wal" "$collection-shm"
echo "not a collection" >"$collection"
wait_for_message 'could not be imported again; its last cards stay: .*not an Anki collection' 15
[ "$(tollamy_reg_value "$items\\French" Enabled)" = 0x1 ] || fail "switched off on the same day"
wait_for_message 'is switched off: its cards are an earlier day' 40
[ "$(tollamy_reg_value "$items\\French" Enabled)" = 0x0 ] || fail "not switched off"
tree="$(tollamy_descendants "$launcher")"
kill -TERM "$launcher"
expect_nothing_left "SIGTERM" 143
echo "refresh: the Anki item stays current while the screen is open, and nothing is left behind"
