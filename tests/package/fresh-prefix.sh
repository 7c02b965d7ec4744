# The set-up that the checks of scripts/run share, sourced with the build folder:
#   source "$(dirname "$0")/fresh-prefix.sh" BUILD_DIR
# root and build; work, a folder removed at exit; prefix, a Wine prefix in it whose server is
# stopped at exit; fail; wait_for_window; and the scripts' set-up (common.sh, prepare.sh).
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$1"
work="$(mktemp -d)"
prefix="$work/prefix"
trap 'WINEPREFIX="$prefix" wineserver -k </dev/null >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
source "$root/scripts/common.sh"
source "$root/scripts/prepare.sh"

# Waits up to 60 s for the Today window of the launcher $launcher (its log $work/run.log) and
# puts its id in window; fails when the launcher ends first.
wait_for_window() {
    window=""
    for _ in $(seq 120); do
        window="$(xdotool search --onlyvisible --name '^Today$' 2>/dev/null | head -1)" &&
            [ -n "$window" ] && return 0
        kill -0 "$launcher" 2>/dev/null || { cat "$work/run.log"; fail "the launcher ended"; }
        sleep 0.5
    done
    cat "$work/run.log"
    fail "no Today window"
}
