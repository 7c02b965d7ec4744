#!/bin/bash
# `import` and `check` over the files that people published (shared/real-decks, see its
# MANIFEST.tsv): each run of the manifest with the options it names, and --header where the
# file's first row (or note) is a row of column titles. Prints one line per run: the run, the
# options, the cards, the closing line of import and that of check; fails when an import or a
# check fails or a card count differs from the one a person expects (EXPECTED below).
#   deck/tests/real-decks.sh [--tool TOLLAMY-DECK] [--plain] [FOLDER]
# --plain runs the manifest's options only (no --header, no expected counts), for a tool that
# has no --header yet.
# FOLDER defaults to ../shared/real-decks beside the repository; without it the script says
# so and succeeds, so it is a measuring aid, not a test that needs the files. TOOL defaults to
# build/deck-native/tollamy-deck ($BUILD_DIR/deck-native when BUILD_DIR is set).
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
tool="${BUILD_DIR:-$root/build}/deck-native/tollamy-deck"
folder="$root/../shared/real-decks"
plain=0
while [ $# -gt 0 ]; do
    case "$1" in
    --tool)
        tool="$2"
        shift 2
        ;;
    --plain)
        plain=1
        shift
        ;;
    -*)
        echo "usage: deck/tests/real-decks.sh [--tool TOLLAMY-DECK] [--plain] [FOLDER]" >&2
        exit 2
        ;;
    *)
        folder="$1"
        shift
        ;;
    esac
done
if [ ! -f "$folder/MANIFEST.tsv" ]; then
    echo "real-decks: no $folder/MANIFEST.tsv; nothing to measure"
    exit 0
fi
[ -x "$tool" ] || {
    echo "real-decks: no tool at $tool (build it: scripts/deck --help)" >&2
    exit 1
}
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The runs whose first row is column titles (or, in the package, whose first note is), and the
# card count a person expects of each run: every data row that has a question or an answer,
# comment lines and header rows not counted; of a package, every note whose first card shows
# text on its front in Anki (the German cloze deck has 12 notes without cards, and one French
# cloze note's gap is misspelt "{{c1L::", so its card has no gap to show).
python3 - "$folder" "$tool" "$work" "$plain" <<'PY'
import csv, os, re, shlex, subprocess, sys
folder, tool, work, plain = sys.argv[1:]
HEADER = {
    "csv-semicolon-cp1252.csv", "csv-utf16le-bom-semicolon.csv", "csv-semicolon-bom-crlf.csv",
    "csv-quoted-crlf-header.csv", "csv-stray-quote-header.csv", "tsv-quoted-html-zh.tsv",
    "csv-shift-jis-tiny.csv", "txt-equals-sep-wozzol.txt", "apkg-anki21b-17fields-zh.apkg",
}
EXPECTED = {
    "apkg-anki2-media-mathjax.apkg": 11, "apkg-anki21b-17fields-zh.apkg": 2,
    "apkg-anki21b-ipa-vi.apkg": 570, "apkg-anki21b-sound-media.apkg": 1,
    "colpkg-anki21-stub-zh.colpkg": 196, "colpkg-anki2-subdecks-ja.colpkg": 195,
    "colpkg-anki2-subdecks-ja--deck": 25, "apkg-anki2-cloze-typein-de.apkg": 836,
    "apkg-anki21-cloze-hints-fr.apkg": 1638, "apkg-anki21-lapis-sound-ja.apkg": 355,
    "apkg-anki2-images-en.apkg": 50, "apkg-anki2-latex-entities-de.apkg": 241,
    "anki-export-html-multiline.txt": 18, "anki-export-excel-trailing-tabs.txt": 22,
    "csv-semicolon-cp1252.csv": 642, "csv-utf16le-bom-semicolon.csv": 207,
    "csv-semicolon-bom-crlf.csv": 13, "csv-quoted-crlf-header.csv": 136,
    "csv-multiline-quoted.csv": 3, "csv-tab-html-entities.csv": 23,
    "csv-semicolon-hash-lines.csv": 252, "csv-stray-quote-header.csv": 12,
    "csv-one-column-zh.csv": 62, "tsv-quoted-html-zh.tsv": 2,
    "txt-semicolon-leading-quote.txt": 489, "txt-comma-hebrew.txt": 576,
    "txt-pipe-quizlet.txt": 20, "txt-equals-sep-wozzol.txt": 88, "txt-tab-3col-large-nl.txt": 5194,
    "txt-gbk-space.txt": 9, "csv-shift-jis-tiny.csv": 2, "anki-test-suite/update1.apkg": 1,
    "anki-test-suite/diffmodeltemplates-1.apkg": 1, "anki-test-suite/text-2fields.txt": 9,
}
failed = 0
with open(os.path.join(folder, "MANIFEST.tsv"), encoding="utf-8") as f:
    rows = list(csv.DictReader(f, delimiter="\t", quoting=csv.QUOTE_NONE))
for n, row in enumerate(rows):
    options = shlex.split(row["options"])
    if plain == "0" and row["file"] in HEADER and row["run"] == row["file"]:
        options.append("--header")
    deck = os.path.join(work, f"{n}.txt")
    imp = subprocess.run([tool, "import", os.path.join(folder, row["file"]), "-o", deck] + options,
                         capture_output=True, text=True, errors="replace")
    closing = (imp.stderr.strip().split("\n") or [""])[-1]
    closing = closing.replace(folder.rstrip("/") + "/", "").replace(work + "/", "")
    if imp.returncode != 0:
        print(f"{row['run']}\t{' '.join(options)}\tFAILED ({imp.returncode})\t{closing}")
        failed += 1
        continue
    chk = subprocess.run([tool, "check", deck], capture_output=True, text=True)
    cards = int(re.match(r"imported (\d+) card", closing).group(1))
    expected = EXPECTED.get(row["run"]) if plain == "0" else None
    verdict = "" if expected is None or expected == cards else f"\tEXPECTED {expected}"
    if verdict or chk.returncode != 0:
        failed += 1
    print(f"{row['run']}\t{' '.join(options)}\t{cards}\t{closing}\t{chk.stdout.strip()}{verdict}")
print(f"{len(rows) - failed} passed, {failed} failed")
sys.exit(1 if failed else 0)
PY
