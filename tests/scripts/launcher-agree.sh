#!/bin/bash
# The Windows launcher (tollamy.exe, under Wine) and the Linux launcher's parser
# (scripts/launcher-options.sh) read one declaration: for each command line of the table they
# give the same status and the same message, and the same --help but for its last line (where
# the Linux launcher names its man page and the Windows one its README.txt); --version is the
# project's; --autostart writes the user's Run key, --no-autostart removes it.
#   launcher-agree.sh BUILD_DIR
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "$1" && pwd)"
fail() { echo "FAIL: $*" >&2; exit 1; }
source "$root/scripts/common.sh"
work="$(mktemp -d)"
tollamy_wine_env "$build/wineprefix"
trap 'rm -rf "$work"' EXIT
# The Linux launcher's parser, as scripts/run runs it, stopped before it would act.
linux() {
    (
        cd "$work"
        source "$root/scripts/prepare.sh"
        tollamy_parse_args tollamy "$@"
    ) >"$work/out" 2>"$work/err"
}
windows() {
    (cd "$work" && "$root/scripts/wine-exec" "$build/tollamy.exe" "$@") </dev/null >"$work/out" \
        2>"$work/err"
}
while IFS= read -r line; do
    read -ra args <<<"$line"
    linux_status=0 windows_status=0
    linux "${args[@]}" || linux_status=$?
    linux_err="$(cat "$work/err")"
    windows "${args[@]}" || windows_status=$?
    windows_err="$(tr -d '\r' <"$work/err")"
    [ "$linux_status" = 2 ] || fail "tollamy $line: the Linux launcher gave status $linux_status"
    [ "$windows_status" = "$linux_status" ] && [ "$windows_err" = "$linux_err" ] ||
        fail "tollamy $line: Linux said ($linux_status) '$linux_err', Windows ($windows_status) '$windows_err'"
done <<'CASES'
--bogus
--deck
--deck=
--deck nothere.txt
--refresh 5 --refresh=6
--refresh 2000
--vga --vga
--vga=yes
-- --vga
--autostart --no-autostart
--anki-profile User
CASES
linux --help || true
linux_help="$(head -n -1 "$work/out")"
windows --help
[ "$(tr -d '\r' <"$work/out" | head -n -1)" = "$linux_help" ] || fail "--help differs: $(cat "$work/out")"
version="$(sed -n 's/^project(Tollamy VERSION \([0-9.]*\) .*/\1/p' "$root/CMakeLists.txt")"
windows --version
[ "$(tr -d '\r' <"$work/out")" = "tollamy $version" ] || fail "--version: $(cat "$work/out")"
# --autostart: the user's Run key starts the launcher with the options given, a deck by its full
# path, quoted as Windows programs read a command line; --no-autostart removes it.
mkdir -p "$work/my decks"
printf '\xff\xfeQ\0\t\0A\0' >"$work/my decks/Capitals.txt"
run='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
windows --autostart --anki French::Verbs --deck "my decks/Capitals.txt" --refresh 5
value="$(wine reg query "$run" /v Tollamy </dev/null 2>/dev/null | tr -d '\r' |
    sed -n 's/^ *Tollamy *REG_SZ *//p')"
[ "$value" = "$(winepath -w "$build/tollamy.exe") --deck \"$(winepath -w "$work/my decks/Capitals.txt")\" --anki French::Verbs --refresh 5" ] ||
    fail "the autostart entry: $value"
windows --no-autostart
wine reg query "$run" /v Tollamy </dev/null >/dev/null 2>&1 && fail "--no-autostart left the entry"
echo "launcher agree: the Windows launcher parses as the Linux one, with the same messages"
