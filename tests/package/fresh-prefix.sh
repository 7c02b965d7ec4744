# The set-up that the checks of scripts/run share, sourced with the build folder:
#   source "$(dirname "$0")/fresh-prefix.sh" BUILD_DIR
# root and build; work, a folder removed at exit; prefix, a Wine prefix in it whose server is
# stopped at exit; fail; and the scripts' set-up (common.sh, prepare.sh).
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$1"
work="$(mktemp -d)"
prefix="$work/prefix"
trap 'WINEPREFIX="$prefix" wineserver -k </dev/null >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
source "$root/scripts/common.sh"
source "$root/scripts/prepare.sh"
