#!/bin/bash
# scripts/run without a display, in a fresh prefix: the demo must write its PNG files, none
# of them blank.   run-demo-check.sh BUILD_DIR
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
env -u DISPLAY -u TOLLAMY_IN_XVFB -u TOLLAMY_DEMO -u WINEPREFIX \
    TOLLAMY_PREFIX="$work/prefix" TOLLAMY_OUT="$work/out" TOLLAMY_NO_BUILD=1 BUILD_DIR="$1" \
    "$root/scripts/run" >"$work/run.log" 2>&1 || { cat "$work/run.log"; exit 1; }
cat "$work/run.log"
expected=(01-start 02-question 03-answer 03-answer-item 04-turned 05-new-card 06-options 07-taller)
files=()
for name in "${expected[@]}"; do
    files+=("$work/out/$name.png")
    # scripts/run prints the path of every PNG it wrote.
    grep -qx "$work/out/$name.png" "$work/run.log" || { echo "not reported: $name.png"; exit 1; }
done
python3 "$here/check-png.py" "${files[@]}"
