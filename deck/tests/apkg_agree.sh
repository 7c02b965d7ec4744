#!/bin/bash
# Anki packages to the item: packages in the three collection formats, built through SQLite,
# zstd and libzip, are imported by the deck tool, and Tollamy.dll's card store under Wine must
# read exactly the expected cards from the decks written.
#   apkg_agree.sh TOLLAMY-DECK DECK-APKG-SEEDS DECK_PROBE.EXE WORKDIR
set -euo pipefail
tool="$1"
seeds="$2"
probe="$3"
work="$4"
here="$(cd "$(dirname "$0")" && pwd)"
rm -rf "$work"
mkdir -p "$work"
"$seeds" --packages "$work"
status=0
for format in anki2 anki21 anki21b; do
    "$tool" import "$work/$format.apkg" -o "$work/$format.txt" 2>"$work/$format.log"
    "$here/../../scripts/wine-exec" "$probe" "Z:${work//\//\\}\\$format.txt" 50 \
        >"$work/$format.probe" 2>/dev/null </dev/null || true
    if ! python3 - "$format" "$work/$format.probe" <<'PY'; then
import sys
name, probe = sys.argv[1:]
# The cards of the sample package (deck/tests/apkg_builder.cpp), as the item must show them.
cards = [
    ("chat", "cat"),
    ("chien", "dog & puppy"),
    ("[city] is the capital of France", "Paris is the capital of France \u00b7 Europe"),
    ("Eiffel Tower", "Paris"),
]
def hexof(text):
    return "".join(f"{u:04x}" for u in memoryview(text.encode("utf-16-le")).cast("H")) or "-"
want = [f"count {len(cards)}"] + [f"card {i} {hexof(q)} {hexof(a)}" for i, (q, a) in enumerate(cards)]
got = open(probe, encoding="ascii").read().split("\n")
got = [line.rstrip("\r") for line in got if line.strip()]
if got != want:
    print(f"{name}: the card store read\n  " + "\n  ".join(got) + "\nnot\n  " + "\n  ".join(want))
    sys.exit(1)
print(f"{name}: the card store reads the {len(cards)} cards of the package")
PY
        status=1
    fi
done
exit $status
