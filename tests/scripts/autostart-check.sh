#!/bin/bash
# scripts/run --autostart writes the desktop's autostart entry, whose Exec line, read back by
# the entry's quoting rules, starts the same launcher with the same options (a deck named
# relative to the current folder, with a space, a "$" and a "%" in its path, comes back as its
# full path); --no-autostart removes it; both at once are refused. No Wine is needed: the
# launcher exits before it builds or prepares anything.
#   autostart-check.sh
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
mkdir -p "$work/home" "$work/my 100% decks"
printf '\xff\xfeQ\0\t\0A\0' >"$work/my 100% decks/Capitals \$1.txt"
run() { (cd "$work/my 100% decks" && env -u XDG_CONFIG_HOME HOME="$work/home" "$root/scripts/run" "$@"); }
entry="$work/home/.config/autostart/tollamy.desktop"

run --autostart --anki 'French::Verbs' --deck "Capitals \$1.txt" --anki-profile 'User 1' \
    --refresh 5 >"$work/out" || fail "--autostart: status $?"
[ -f "$entry" ] || fail "no $entry"
grep -qx 'Type=Application' "$entry" && grep -qx 'Name=Tollamy' "$entry" || fail "$(cat "$entry")"
python3 - "$entry" "$root/scripts/run" "$work/my 100% decks/Capitals \$1.txt" <<'PY' ||
import sys
entry, launcher, deck = sys.argv[1:]
line = next(l for l in open(entry, encoding="utf-8").read().splitlines() if l.startswith("Exec="))
value = line[len("Exec="):]
# The string's escapes first (\\ is one backslash), then the quoting, then %% is a %.
text, i = "", 0
while i < len(value):
    if value[i] == "\\" and i + 1 < len(value):
        text += {"\\": "\\", "s": " ", "n": "\n", "t": "\t", "r": "\r"}.get(value[i + 1], "\\" + value[i + 1])
        i += 2
    else:
        text += value[i]
        i += 1
# Arguments part at spaces outside double quotes; inside them a backslash makes the next
# character (one of " ` $ \\) plain.
args, arg, quoted, started, i = [], "", False, False, 0
while i < len(text):
    c = text[i]
    if quoted and c == "\\" and i + 1 < len(text) and text[i + 1] in '"`$\\':
        arg += text[i + 1]
        i += 1
    elif c == '"':
        quoted, started = not quoted, True
    elif c == " " and not quoted:
        if started or arg:
            args.append(arg)
        arg, started = "", False
    else:
        arg += c
    i += 1
if started or arg:
    args.append(arg)
args = [a.replace("%%", "%") for a in args]
want = [launcher, "--deck", deck, "--anki", "French::Verbs", "--anki-profile", "User 1",
        "--refresh", "5"]
if args != want:
    sys.exit("Exec gives %r, not %r" % (args, want))
PY
    fail "the Exec line: $(grep '^Exec=' "$entry")"

run --no-autostart >"$work/out" || fail "--no-autostart: status $?"
[ ! -e "$entry" ] || fail "the entry is still there"
status=0
run --autostart --no-autostart 2>"$work/err" || status=$?
[ "$status" = 2 ] && grep -q 'give --autostart or --no-autostart, not both' "$work/err" ||
    fail "both at once: status $status, $(cat "$work/err")"
echo "autostart: the entry starts the launcher with its options, and goes again"
