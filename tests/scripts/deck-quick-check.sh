#!/bin/bash
# scripts/deck on a built tree: the tool answers without a package check or a CMake run (each
# stood in for by a stub that fails and leaves a note). Skipped (77) when build/deck-native is
# not current.   deck-quick-check.sh BUILD_DIR
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
if ! ninja -C "$build/deck-native" -n tollamy-deck 2>/dev/null | grep -q '^ninja: no work to do'; then
    echo "skipped: $build/deck-native is not built or not current"
    exit 77
fi
mkdir "$work/bin"
for name in dpkg-query apt-get cmake; do
    printf '#!/bin/bash\necho "%s $*" >>"%s"\nexit 1\n' "$name" "$work/calls" >"$work/bin/$name"
done
chmod +x "$work/bin/"*
out="$(PATH="$work/bin:$PATH" BUILD_DIR="$build" "$root/scripts/deck" check \
    "$root/samples/capitals.txt")"
echo "$out"
[ ! -e "$work/calls" ] || { echo "FAIL: called: $(cat "$work/calls")" >&2; exit 1; }
[[ "$out" == *" cards, 0 warnings, 0 errors" ]] || { echo "FAIL: $out" >&2; exit 1; }
