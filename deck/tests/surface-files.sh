#!/bin/bash
# The files made from the declared surfaces (deck-native's surface-files): both man pages are
# clean for man --warnings and tell what a user looks for; docs/ holds exactly the references
# that the declarations give now; the launcher's parser takes each option its man page shows,
# refuses others, and prints its version and a help that fits a screen.
#   surface-files.sh ROOT BUILD_DIR
set -euo pipefail
root="$1"
build="$2"
fail() { echo "FAIL: $*" >&2; exit 1; }
version="$(sed -n 's/^project(Tollamy VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# man(1) as a user runs it, and groff's warnings on its standard error.
for page in tollamy-deck tollamy; do
    LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 \
        "$build/$page.1" >/dev/null 2>"$work/$page.warnings" || fail "man fails on $page.1"
    [ ! -s "$work/$page.warnings" ] || { cat "$work/$page.warnings"; fail "$page.1 has warnings"; }
    LC_ALL=C.UTF-8 MANWIDTH=100 man -l "$build/$page.1" >"$work/$page.txt" 2>/dev/null
    grep -q "^Tollamy $version .*(1)$" <(tail -n 1 "$work/$page.txt") ||
        fail "$page.1 does not end with the version $version"
done
for text in 'Anki package' '^ *--deck NAME (import)' '^ *apkg  *An Anki package' \
    '^ *-o, --output OUTPUT (import, export)' 'ANKI_BASE' '^EXIT STATUS' 'tollamy(1)'; do
    grep -q -- "$text" "$work/tollamy-deck.txt" || fail "man tollamy-deck lacks: $text"
done

# docs/ as the declarations give it now.
for page in tollamy-deck tollamy; do
    cmp -s "$build/$page.md" "$root/docs/$page.md" || {
        diff -u "$root/docs/$page.md" "$build/$page.md" | head -40 || true
        fail "docs/$page.md differs from its declaration; write it again with:" \
            "cmake -S deck -B build/deck-native && cmake --build build/deck-native" \
            "--target update-docs"
    }
done

# The launcher's parser (scripts/launcher-options.sh), as scripts/run and tollamy use it.
launcher() {
    (
        TOLLAMY_ROOT="$root"
        TOLLAMY_ANKI_PROFILE="" TOLLAMY_ANKI_DECKS=()
        tollamy_set_vga() { echo "vga"; }
        tollamy_add_deck() { echo "deck $1"; }
        tollamy_add_anki_deck() { echo "anki $1"; TOLLAMY_ANKI_DECKS+=("$1"); }
        tollamy_set_anki_profile() { echo "profile $1"; TOLLAMY_ANKI_PROFILE="$1"; }
        tollamy_set_refresh() { echo "refresh $1"; }
        tollamy_set_autostart() { echo "autostart"; }
        tollamy_set_no_autostart() { echo "no autostart"; }
        source "$root/scripts/launcher-options.sh"
        tollamy_parse_args tollamy "$@"
    )
}
# Each option that man tollamy lists under OPTIONS is taken.
options="$(sed -n '/^OPTIONS/,/^[A-Z]/s/^       \(-[-a-z]*\)\(, \(--[-a-z]*\)\)\{0,1\}.*/\1 \3/p' \
    "$work/tollamy.txt")"
[ "$(wc -w <<<"$options")" = 10 ] || fail "man tollamy lists these options: $options"
[ "$(launcher --deck a.txt --anki French --anki-profile 'User 1' --refresh 5 --autostart --vga)" = \
    "$(printf 'deck a.txt\nanki French\nprofile User 1\nrefresh 5\nautostart\nvga')" ] ||
    fail "the options' values"
for name in $options; do
    case "$name" in
    --deck | --anki | --anki-profile | --refresh) args=(--anki X "$name" value) ;;
    *) args=("$name") ;;
    esac
    launcher "${args[@]}" >/dev/null || fail "the launcher refuses $name"
done
[ "$(launcher --refresh=5 --anki=A --anki B --vga --)" = "$(printf 'refresh 5\nanki A\nanki B\nvga')" ] ||
    fail "values after '=', a repeated option, and '--'"
# Bad arguments, each with its message and status 2: "ARGUMENTS|MESSAGE".
while IFS='|' read -r line message; do
    read -ra args <<<"$line"
    status=0
    launcher "${args[@]}" >/dev/null 2>"$work/err" || status=$?
    [ "$status" = 2 ] && grep -qxF "tollamy: error: $message" "$work/err" ||
        fail "tollamy $line: status $status, $(cat "$work/err")"
done <<'CASES'
--bogus|unknown option '--bogus'
--deck|option --deck needs a value
--deck=|option --deck needs a value
--refresh 5 --refresh=6|option --refresh is given twice; give it once
--vga --vga|option --vga is given twice; give it once
--vga=yes|option --vga takes no value
-- --vga|unknown argument '--vga'
CASES
[ "$(launcher --version)" = "tollamy $version" ] || fail "tollamy --version: $(launcher --version)"
launcher --help >"$work/help"
[ "$(wc -l <"$work/help")" -le 24 ] && [ "$(wc -L <"$work/help")" -le 100 ] ||
    fail "tollamy --help does not fit 24 lines of 100 columns"
head -n 1 "$work/help" | grep -q '^usage: tollamy \[--deck FILE\]\.\.\. ' || fail "the usage line"
echo "surface files: man pages clean, docs/ current, the launcher's options as documented"
