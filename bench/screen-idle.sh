#!/bin/bash
# The idle cost of an open Today screen with an Anki item kept current: scripts/run --anki French
# on a screen of its own (Xvfb), in a fresh prefix and HOME with an Anki profile of its own; once
# the screen is up and settled, the CPU time of every process of the screen is read from /proc
# (user and system time, with that of the children they waited for) before and after SECONDS
# of waiting with nothing touched.
#   bench/screen-idle.sh BUILD_DIR [SECONDS]      (default 600; scripts/bench --screen-idle)
# Prints "name value" lines: screen_idle_cpu_s (the launcher, the refresh, the watch, the host,
# Wine's server and services of the prefix), refresh_idle_cpu_s (the refresh and its watch
# alone), the seconds waited and the share of one core.
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

env -u TOLLAMY_IN_XVFB -u TOLLAMY_DEMO -u WINEPREFIX HOME="$work/home" ANKI_BASE="$work/anki" \
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
# The refresh: the launcher's children other than the host (a Wine program), and theirs.
refresh_pids() {
    local pid
    for pid in $(pgrep -P "$launcher"); do
        if ! { tr '\0' ' ' <"/proc/$pid/cmdline"; } 2>/dev/null | grep -q '\.exe'; then
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
sleep "$seconds"
screen_after="$(screen_pids | ticks)"
refresh_after="$(refresh_pids | ticks)"
hz="$(getconf CLK_TCK)"
awk -v s=$((screen_after - screen_before)) -v r=$((refresh_after - refresh_before)) -v hz="$hz" \
    -v t="$seconds" 'BEGIN {
        printf "screen_idle_cpu_s %.2f\nrefresh_idle_cpu_s %.2f\nidle_seconds %d\n", s / hz, r / hz, t
        printf "screen_idle_core_percent %.3f\n", 100 * s / hz / t }'
