#!/bin/bash
# The bash completions made from the declarations, sourced as bash-completion would: what each
# offers for a few command lines (commands, options, --format's values, files, profiles).
#   completion-test.sh BUILD_DIR
set -euo pipefail
build="$(cd "$1" && pwd)"
fail() { echo "FAIL: $*" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
source "$build/tollamy-deck.completion"
source "$build/tollamy.completion"

# What the completion offers for the words given, the cursor on the last: one per line, sorted.
offers() {
    local function
    function="$(complete -p "$1" | sed 's/.* -F \([^ ]*\) .*/\1/')"
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMPREPLY=()
    "$function" "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    [ ${#COMPREPLY[@]} -eq 0 ] || printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort
}
expect() {
    local want="$1" got
    shift
    got="$(offers "$@" | paste -sd ' ' -)"
    [ "$got" = "$want" ] || fail "'$*': offered '$got', expected '$want'"
}

cd "$work"
touch "deck one.txt" deck2.txt notes.csv
mkdir -p "anki/User 1" anki/Work
touch "anki/User 1/collection.anki2" anki/Work/collection.anki2

expect "--help --version check decks export import profiles watch" tollamy-deck ""
expect "import" tollamy-deck im
expect "--force --format" tollamy-deck import notes.csv --fo
expect "--help --strict" tollamy-deck check --
expect "--anki --anki-profile" tollamy-deck watch data --an
expect "" tollamy-deck watch data --refresh ""
expect "anki apkg auto" tollamy-deck import notes.csv --format a
expect "csv" tollamy-deck import notes.csv --format = c
expect "anki apkg auto csv deck text tsv" tollamy-deck import notes.csv --format ""
expect "deck one.txt deck2.txt" tollamy-deck check de
expect "notes.csv" tollamy-deck import n
expect "deck one.txt deck2.txt" tollamy-deck export deck2.txt -o d
expect "" tollamy-deck profiles ""
expect "" tollamy-deck import notes.csv --question ""
got="$(PATH="$build:$PATH" ANKI_BASE="$work/anki" offers tollamy-deck decks --anki-profile "" |
    paste -sd ' ' -)"
[ "$got" = 'User\ 1 Work' ] || fail "--anki-profile offered '$got'"

expect "--anki --anki-profile" tollamy --vga --an
expect "deck one.txt deck2.txt" tollamy --deck d
expect "--anki --anki-profile --autostart --deck --help --no-autostart --refresh --version --vga" \
    tollamy -
echo "completion: commands, options, --format's values, files and profiles"
