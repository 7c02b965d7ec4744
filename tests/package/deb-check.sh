#!/bin/bash
# The .deb: dpkg-deb reads it and its control fields are the documented ones, it holds the
# files the launcher and the desktop need, and lintian reports no errors (nor warnings). Its
# two programs, unpacked, print their version and name themselves in their messages.
#   deb-check.sh PACKAGE_DIR
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
version="$(sed -n 's/^project(Tollamy VERSION \([0-9.]*\) .*/\1/p' "$root/CMakeLists.txt")"
deb="$1/tollamy_$version-1_amd64.deb"
fail() { echo "FAIL: $*" >&2; exit 1; }
[ -f "$deb" ] || fail "no $deb"
dpkg-deb --info "$deb" >/dev/null || fail "dpkg-deb --info fails"
field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = tollamy ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version-1" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = amd64 ] || fail "Architecture: $(field Architecture)"
depends="$(field Depends)"
for dep in wine wine64 fonts-wine fonts-wqy-microhei xvfb; do
    [[ ", $depends," == *", $dep"[\ ,\(]* ]] || fail "Depends lacks $dep: $depends"
done
# The watch on Anki's files is the deck tool's own (inotify through the kernel).
[[ "$depends" != *inotify-tools* ]] || fail "Depends names inotify-tools: $depends"
contents="$(dpkg-deb -c "$deb")"
for path in ./usr/bin/tollamy ./usr/bin/tollamy-deck ./usr/share/man/man1/tollamy-deck.1.gz \
    ./usr/lib/tollamy/Tollamy.dll \
    ./usr/lib/tollamy/today-host.exe ./usr/share/applications/tollamy.desktop \
    ./usr/share/icons/hicolor/32x32/apps/tollamy.png ./usr/share/man/man1/tollamy.1.gz \
    ./usr/share/doc/tollamy/copyright \
    ./usr/share/doc/tollamy/changelog.Debian.gz ./usr/share/lintian/overrides/tollamy \
    ./usr/share/bash-completion/completions/tollamy \
    ./usr/share/bash-completion/completions/tollamy-deck \
    ./usr/share/tollamy/scripts/launcher-options.sh ./usr/share/tollamy/scripts/screen.sh \
    ./usr/share/tollamy/scripts/switch-item; do
    grep -q " $path\$" <<<"$contents" || fail "the package lacks $path"
done
grep -q '^-rwxr-xr-x root/root .* ./usr/bin/tollamy$' <<<"$contents" || fail "launcher not 755 root"
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/tollamy/copyright |
    grep -q '^License: Expat$' || fail "copyright does not name the Expat licence"
# The programs as installed: their version from project(), their own name in their messages
# whatever started them, and each completion registered for its program.
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work"
for program in tollamy-deck tollamy; do
    got="$(env -i PATH=/usr/bin:/bin HOME="$work" "$work/usr/bin/$program" --version)" ||
        fail "$program --version fails"
    [ "$got" = "$program $version" ] || fail "$program --version: $got"
    # Started under another name, through a link.
    ln -sf "$work/usr/bin/$program" "$work/started-as-$program"
    status=0
    env -i PATH=/usr/bin:/bin HOME="$work" "$work/started-as-$program" --bogus >/dev/null \
        2>"$work/err" || status=$?
    [ "$status" = 2 ] || fail "$program --bogus: status $status"
    [ "$(cat "$work/err")" = "$program: error: unknown option '--bogus'
Try '$program --help'." ] || fail "$program --bogus says: $(cat "$work/err")"
    env -i PATH=/usr/bin:/bin HOME="$work" "$work/usr/bin/$program" --help >"$work/help"
    head -n 1 "$work/help" | grep -q "^usage: $program " ||
        fail "$program --help does not begin with its usage"
    bash -c 'source "$1" && complete -p "$2"' _ \
        "$work/usr/share/bash-completion/completions/$program" "$program" >/dev/null ||
        fail "no completion for $program"
done
# Lintian: errors and warnings both fail (informational tags do not).
report="$(lintian --fail-on error,warning "$deb" 2>&1)" || { echo "$report"; fail "lintian"; }
echo "$report" | grep -v 'root privileges' || true
echo "deb: dpkg-deb and lintian accept $deb"
