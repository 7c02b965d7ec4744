#!/bin/bash
# Whether each Anki card that people published shows what Anki shows: every card of each
# package of ../shared/real-decks (its note's first card, as `import` writes it) and every due
# card of each collection of ../shared/real-collections (as `import --due` writes it, with
# TOLLAMY_NOW at noon of the day after the collection's last review, in the zone of its
# localOffset). Prints one line per source: the cards, how many are right, and how many the
# tool left out as pictures or sounds; with --before TOOL, the same for that tool beside.
#   deck/tests/real-cards.sh [--tool TOLLAMY-DECK] [--before TOLLAMY-DECK] [--show N]
#                            [DECKS [COLLECTIONS]]
# A side is right when it holds the text of every field that its template shows on it, and of
# no field that the template does not show there; a cloze question must not show its hidden
# gap. The script finds what a template shows by its own reading of the template and of the
# HTML (Python's html.parser), independent of the tool's. --show N prints N wrong cards of each
# source. A measuring aid, not part of scripts/test: without the folders it says so and
# succeeds. Collections are only ever opened through a copy of their folder.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
tool="${BUILD_DIR:-$root/build}/deck-native/tollamy-deck"
before=""
show=0
decks="$root/../shared/real-decks"
collections="$root/../shared/real-collections"
positional=()
while [ $# -gt 0 ]; do
    case "$1" in
    --tool) tool="$2"; shift 2 ;;
    --before) before="$2"; shift 2 ;;
    --show) show="$2"; shift 2 ;;
    -*)
        echo "usage: deck/tests/real-cards.sh [--tool T] [--before T] [--show N] [DECKS [COLLECTIONS]]" >&2
        exit 2
        ;;
    *) positional+=("$1"); shift ;;
    esac
done
[ ${#positional[@]} -ge 1 ] && decks="${positional[0]}"
[ ${#positional[@]} -ge 2 ] && collections="${positional[1]}"
if [ ! -f "$decks/MANIFEST.tsv" ] && [ ! -f "$collections/MANIFEST.tsv" ]; then
    echo "real-cards: no $decks or $collections; nothing to measure"
    exit 0
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
exec python3 "$root/deck/tests/real_cards.py" "$tool" "$before" "$show" "$decks" "$collections" \
    "$work"
