#!/bin/bash
# The .deb: dpkg-deb reads it and its control fields are the documented ones, it holds the
# files the launcher and the desktop need, and lintian reports no errors (nor warnings).
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
contents="$(dpkg-deb -c "$deb")"
for path in ./usr/bin/tollamy ./usr/bin/tollamy-deck ./usr/share/man/man1/tollamy-deck.1.gz \
    ./usr/lib/tollamy/Tollamy.dll \
    ./usr/lib/tollamy/today-host.exe ./usr/share/applications/tollamy.desktop \
    ./usr/share/icons/hicolor/32x32/apps/tollamy.png ./usr/share/man/man1/tollamy.1.gz \
    ./usr/share/doc/tollamy/copyright \
    ./usr/share/doc/tollamy/changelog.Debian.gz ./usr/share/lintian/overrides/tollamy; do
    grep -q " $path\$" <<<"$contents" || fail "the package lacks $path"
done
grep -q '^-rwxr-xr-x root/root .* ./usr/bin/tollamy$' <<<"$contents" || fail "launcher not 755 root"
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/tollamy/copyright |
    grep -q '^License: Expat$' || fail "copyright does not name the Expat licence"
# Lintian: errors and warnings both fail (informational tags do not).
report="$(lintian --fail-on error,warning "$deb" 2>&1)" || { echo "$report"; fail "lintian"; }
echo "$report" | grep -v 'root privileges' || true
echo "deb: dpkg-deb and lintian accept $deb"
