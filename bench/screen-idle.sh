#!/bin/bash
# The cost of an open Today screen with an Anki item kept current: scripts/run --anki French on a
# screen of its own (Xvfb), in a fresh prefix and HOME with an Anki profile of its own.
#   bench/screen-idle.sh BUILD_DIR [SECONDS]      (default 600; scripts/bench --screen-idle)
# Idle: once the screen is up and settled, the CPU time of every process of the screen is read
# from /proc (user and system time, with that of the children they waited for) before and after
# SECONDS of waiting with nothing touched. Then reviews: Anki's save of a review (the due cards
# due tomorrow, or due again, in the collection's log) ten times, and the time from the save to
# the new deck file, against its peer, the import itself (tollamy-deck import --due of the same
# profile) timed alone.
# Prints "name value" lines:
#   screen_idle_cpu_s          the launcher, the refresh, the host, Wine's server and services
#   watch_idle_cpu_s           the refresh (tollamy-deck watch) and what it ran, alone
#   watch_idle_share           its share of the screen's
#   idle_seconds, screen_idle_core_percent (the screen's share of one core)
#   review_to_deck_s           the median time from a save to the new deck, of 10
#   review_import_s            the median of 10 imports alone, and
#   review_import_ratio        that over review_to_deck_s (the rest is the wait for quiet)
set -euo pipefail
if [ -z "${TOLLAMY_SCREEN_IDLE_XVFB:-}" ]; then
    export TOLLAMY_SCREEN_IDLE_XVFB=1
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/scripts/common.sh"
build="$1"
seconds="${2:-600}"
work="$(mktemp -d)"
prefix="$work/prefix"
export XENVIRONMENT=/dev/null TMPDIR="$work/tmp"
launcher=""
cleanup() {
    local status=$?
    if [ -n "$launcher" ]; then
        kill "$launcher" 2>/dev/null || true
        wait "$launcher" 2>/dev/null || true
    fi
    # Wine's last programs of the prefix may still be writing into it: they go first.
    WINEPREFIX="$prefix" wineserver -k </dev/null >/dev/null 2>&1 || true
    WINEPREFIX="$prefix" wineserver -w </dev/null >/dev/null 2>&1 || true
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT
mkdir -p "$work/home" "$work/tmp" "$work/anki/User 1/backups"
"$build/deck-native/deck-apkg-seeds" --profile "$work/anki/User 1"

# The tool's clock stands at Wed 2026-03-11 10:00, when the profile has cards due (TOLLAMY_NOW).
clock=(TOLLAMY_NOW=1773223200 TZ=UTC HOME="$work/home" ANKI_BASE="$work/anki")
env -u TOLLAMY_IN_XVFB -u TOLLAMY_DEMO -u WINEPREFIX "${clock[@]}" \
    TOLLAMY_PREFIX="$prefix" TOLLAMY_NO_BUILD=1 BUILD_DIR="$build" \
    "$root/scripts/run" --anki French >"$work/run.log" 2>&1 &
launcher=$!
for _ in $(seq 240); do
    xdotool search --name '^Today$' >/dev/null 2>&1 && break
    kill -0 "$launcher" 2>/dev/null || { cat "$work/run.log" >&2; exit 1; }
    sleep 0.5
done
sleep 30 # the items drawn, Wine's services settled

# The processes of the screen: the launcher and its descendants, and the Wine processes of the
# prefix, which Wine's server started detached.
screen_pids() {
    local pid
    echo "$launcher"
    tollamy_descendants "$launcher"
    for pid in $(pgrep -f 'wineserver|\.exe'); do
        if { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null | grep -qx "WINEPREFIX=$prefix"; then
            echo "$pid"
        fi
    done
}
# The refresh (tollamy-deck watch) and what it runs.
refresh_pids() {
    local pid
    for pid in $(pgrep -P "$launcher"); do
        if { tr '\0' ' ' <"/proc/$pid/cmdline"; } 2>/dev/null | grep -q 'tollamy-deck watch'; then
            echo "$pid"
            tollamy_descendants "$pid"
        fi
    done
}
# Clock ticks of user and system time, with the waited-for children's, of the processes given.
ticks() {
    local pid total=0 fields
    for pid in $(sort -u); do
        fields="$(sed 's/^.*) //' "/proc/$pid/stat" 2>/dev/null)" || continue
        set -- $fields
        total=$((total + ${12} + ${13} + ${14} + ${15}))
    done
    echo "$total"
}
screen_before="$(screen_pids | ticks)"
refresh_before="$(refresh_pids | ticks)"
[ -n "$(refresh_pids)" ] || { cat "$work/run.log" >&2; echo "no refresh runs" >&2; exit 1; }
sleep "$seconds"
screen_after="$(screen_pids | ticks)"
refresh_after="$(refresh_pids | ticks)"
hz="$(getconf CLK_TCK)"
awk -v s=$((screen_after - screen_before)) -v r=$((refresh_after - refresh_before)) -v hz="$hz" \
    -v t="$seconds" 'BEGIN {
        printf "screen_idle_cpu_s %.2f\nwatch_idle_cpu_s %.2f\n", s / hz, r / hz
        printf "watch_idle_share %.3f\nidle_seconds %d\n", (s > 0 ? r / s : 0), t
        printf "screen_idle_core_percent %.3f\n", 100 * s / hz / t }'

# Reviews: each save alternates between the due cards reviewed and due again, so that each
# changes the deck; the time runs from the save's end to the deck's new time stamp.
collection="$work/anki/User 1/collection.anki2"
deck="$work/home/.local/share/tollamy/anki/French.txt"
now() { date +%s.%N; }
stamp() { stat -c %Y.%y "$deck" 2>/dev/null || true; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
save() {
    local due="$1"
    sqlite3 "$collection" "PRAGMA journal_mode=WAL; UPDATE cards SET due = $due,
        odue = CASE WHEN odid != 0 THEN $due ELSE odue END, mod = mod + 1
        WHERE type = 2 AND queue = 2 AND due IN (69, 70)" >/dev/null
}
times=()
for i in $(seq 10); do
    before="$(stamp)"
    save $((i % 2 ? 70 : 69))
    t0="$(now)"
    for _ in $(seq 400); do
        [ "$(stamp)" != "$before" ] && break
        sleep 0.025
    done
    times+=("$(awk -v a="$t0" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }')")
    sleep 1
done
imports=()
for i in $(seq 10); do
    t0="$(now)"
    env "${clock[@]}" "$build/deck-native/tollamy-deck" import \
        --anki-profile "User 1" --deck French --due -o "$work/alone.txt" --force 2>/dev/null
    imports+=("$(awk -v a="$t0" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }')")
done
review="$(printf '%s\n' "${times[@]}" | median)"
alone="$(printf '%s\n' "${imports[@]}" | median)"
echo "review_to_deck_s $review"
echo "review_import_s $alone"
awk -v a="$alone" -v r="$review" 'BEGIN { printf "review_import_ratio %.3f\n", a / r }'
