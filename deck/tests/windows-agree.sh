#!/bin/bash
# The Windows tool against the Linux tool: the same runs through both, which must give
# byte-identical decks (and --next-change files), the same exit statuses and the same messages
# up to the path separator. The runs: every input of deck/tests/corpus, every run of
# ../shared/real-decks/MANIFEST.tsv (with its options, and `decks` of its packages), and every
# profile of ../shared/real-collections (copies of their folders, under ANKI_BASE): `decks`,
# `import` of all notes, and `import --due` in three zones, the clock pinned at noon UTC of the
# day after the profile's last review. Without ../shared it runs the corpus only, and says so.
#   deck/tests/windows-agree.sh LINUX-TOOL WINDOWS-TOOL WORK [SHARED]
# The Windows tool runs through scripts/wine-exec. Prints one line per run; fails when a run
# differs.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
linux="$(realpath "$1")" windows="$(realpath "$2")" work="$3"
shared="${4:-$root/../shared}"
[ -x "$linux" ] && [ -f "$windows" ] || {
    echo "windows-agree: no tool at $linux or $windows" >&2
    exit 1
}
rm -rf "$work"
mkdir -p "$work/linux" "$work/windows"

# The runs, one a line: NAME, then the environment (NAME=VALUE words), then the arguments,
# separated by the unit separator; the arguments are shell words (the manifest's options are).
runs="$work/runs"
: >"$runs"
n=0
add() { printf '%s\037%s\037%s\n' "$1" "$2" "$3" >>"$runs"; }
q() { printf '%q' "$1"; }
for file in "$root"/deck/tests/corpus/*; do
    name="corpus/$(basename "$file")"
    n=$((n + 1))
    add "$name" "" "import $(q "$file") -o out/$n.txt"
    add "$name check" "" "check out/$n.txt"
    add "$name export" "" "export out/$n.txt -o out/$n.tsv"
done
decks="$shared/real-decks" collections="$shared/real-collections"
if [ -f "$decks/MANIFEST.tsv" ]; then
    # (A TAB is white space to read, which would merge empty fields: the unit separator is not.)
    while IFS=$'\x1f' read -r file run kind options _; do
        [ "$file" = file ] && continue
        n=$((n + 1))
        add "real-decks/$run" "" "import $(q "$decks/$file") -o out/$n.txt $options"
        case "$kind" in apkg* | colpkg*) [ "$run" = "$file" ] &&
            add "real-decks/$run decks" "" "decks $(q "$decks/$file")" ;;
        esac
    done < <(tr '\t' '\037' <"$decks/MANIFEST.tsv")
else
    echo "windows-agree: no $decks/MANIFEST.tsv: the corpus only"
fi
if [ -f "$collections/MANIFEST.tsv" ]; then
    # Each tool reads copies of the profiles' folders: SQLite folds a -wal into the main file
    # when it closes one, and the originals stay as they are.
    for side in linux windows; do
        mkdir -p "$work/$side/base"
        while IFS=$'\x1f' read -r name _; do
            [ "$name" = name ] || cp -r "$collections/$name" "$work/$side/base/$name"
        done < <(tr '\t' '\037' <"$collections/MANIFEST.tsv")
    done
    while IFS=$'\x1f' read -r name _ _ _ _ _ _ _ _ _ reviews _; do
        [ "$name" = name ] && continue
        last="${reviews##*/ }"
        now=$(($(date -u -d "$last 12:00" +%s) + 86400))
        base="ANKI_BASE=base TOLLAMY_NOW=$now"
        n=$((n + 1))
        add "real-collections/$name decks" "$base TZ=UTC" "decks --anki-profile $name"
        add "real-collections/$name all notes" "$base TZ=UTC" \
            "import --anki-profile $name -o out/$n.txt"
        for tz in UTC TST-2 LOC+5:30; do
            n=$((n + 1))
            add "real-collections/$name --due TZ=$tz" "$base TZ=$tz" \
                "import --anki-profile $name --due -o out/$n.txt --next-change out/$n.next"
        done
    done < <(tr '\t' '\037' <"$collections/MANIFEST.tsv")
else
    echo "windows-agree: no $collections/MANIFEST.tsv: no profiles"
fi

# Each run in each tool's own folder, with the same relative paths, so that the messages
# differ at most in the separators.
differ=0 total=0
while IFS=$'\x1f' read -r name env args; do
    total=$((total + 1))
    eval "words=($args)"
    for side in linux windows; do
        (
            cd "$work/$side"
            mkdir -p out
            [ "$side" = linux ] && tool=("$linux") || tool=("$root/scripts/wine-exec" "$windows")
            set +e
            env $env "${tool[@]}" "${words[@]}" >stdout 2>stderr </dev/null
            echo $? >status
        )
    done
    why=""
    [ "$(cat "$work/linux/status")" = "$(cat "$work/windows/status")" ] ||
        why+=" status $(cat "$work/linux/status") against $(cat "$work/windows/status");"
    for stream in stdout stderr; do
        cmp -s "$work/linux/$stream" <(tr '\\' / <"$work/windows/$stream") ||
            why+=" $stream: $(diff <(cat "$work/linux/$stream") \
                <(tr '\\' / <"$work/windows/$stream") | grep '^[<>]' | head -2 | tr '\n' ' ' || true)"
    done
    # The files the run writes, its out/ arguments: the decks byte for byte, the
    # --next-change line (which names the input) up to the path separator.
    for file in "${words[@]}"; do
        [[ "$file" == out/* ]] || continue
        [ -e "$work/linux/$file" ] || [ -e "$work/windows/$file" ] || continue
        if [[ "$file" == *.next ]]; then
            cmp -s "$work/linux/$file" <(tr '\\' / <"$work/windows/$file")
        else
            cmp -s "$work/linux/$file" "$work/windows/$file"
        fi || why+=" $file differs;"
    done
    if [ -n "$why" ]; then
        differ=$((differ + 1))
        echo "DIFFERS $name:$why"
    else
        echo "identical $name (status $(cat "$work/linux/status"))"
    fi
done <"$runs"
echo "windows-agree: $((total - differ)) of $total runs identical"
[ "$differ" = 0 ]
