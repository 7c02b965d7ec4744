#!/bin/bash
# The deck tool against the item's card store, on generated decks:
#   agree.sh TOLLAMY-DECK DECK_PROBE.EXE WORKDIR
# For each deck, `check`'s card count must equal the count in the index that Tollamy.dll's
# card store builds under Wine, and `export`'s first cards must hold the questions and answers
# that LoadCard reads (deck_probe prints them as UTF-16 hex).
set -euo pipefail
tool="$1"
probe="$2"
work="$3"
here="$(cd "$(dirname "$0")" && pwd)"
rm -rf "$work"
mkdir -p "$work"
python3 - "$work" <<'PY'
import random, sys
work = sys.argv[1]
rng = random.Random(13)
def deck(name, text):
    with open(f"{work}/{name}.txt", "wb") as f:
        f.write(b"\xff\xfe" + text.encode("utf-16-le", "surrogatepass"))
deck("crlf", "Capital of France?\tParis\r\nCapital of Japan?\tTokyo\r\n\r\nlast\tline")
deck("bare-lf", "A\t1\n\nhidden\tline\nB\t2\n\n\nC\t3\n")
deck("cr-only", "A\t1\rB\t2\rC\t3\r")
deck("long", "q" * 600 + "\t" + "a" * 600 + "\r\n" + "x" * 511 + "\t\t\ty\r\n" +
     "z" * 1000 + "\n")
# "nul.txt" would be the NUL device under Windows.
deck("nul-units", "be\0fore\tafter\r\n\0\tx\r\nq\ta\0b\n")
deck("lead-lf", "\n\nA\tB\n")
deck("only-mark", "")
deck("astral", "\U0001F600 smile\t\u65e5\u672c\r\n")
pieces = ["a", "b", "\u3042", "\U0001F600", "\t", "\t\t", "\n", "\n", "\r\n", "\r", "\0",
          "x" * 300]
for n in range(4):
    deck(f"random{n}", "".join(rng.choice(pieces) for _ in range(rng.randrange(50, 400))))
PY
status=0
for d in "$work"/*.txt; do
    name="$(basename "$d" .txt)"
    check="$("$tool" check "$d" 2>/dev/null || true)"
    count="${check%% card*}"
    "$tool" export "$d" -o "$work/$name.tsv" --force 2>/dev/null
    "$here/../../scripts/wine-exec" "$probe" "Z:${d//\//\\}" 50 >"$work/$name.probe" 2>/dev/null \
        </dev/null || true
    if ! python3 - "$name" "$count" "$work/$name.tsv" "$work/$name.probe" <<'PY'; then
import sys
name, count, tsv, probe = sys.argv[1:]
lines = open(probe, encoding="ascii").read().split("\n")
item_count = lines[0].split()[1] if lines and lines[0].startswith("count ") else "?"
ok = True
if item_count != count:
    print(f"{name}: check says {count} cards, the card store's index {item_count}")
    ok = False
rows = open(tsv, encoding="utf-8").read().split("\n")[2:]
def hexof(text):
    # The export writes the text the item shows; the probe prints the units LoadCard read.
    if text == "":
        return "-"
    return "".join(f"{u:04x}" for u in memoryview(text.encode("utf-16-le")).cast("H"))
for line in lines[1:]:
    if not line:
        continue
    _, i, q, a = line.split(" ")
    row = rows[int(i)].split("\t")
    if (hexof(row[0]), hexof(row[1])) != (q, a):
        print(f"{name}: card {i}: export {row!r}, LoadCard {q} {a}")
        ok = False
print(f"{name}: {count} cards, {len(lines) - 2} compared: {'same' if ok else 'DIFFERENT'}")
sys.exit(0 if ok else 1)
PY
        status=1
    fi
done
exit $status
