#!/bin/bash
# scripts/common.sh's install and build helpers on a throwaway C project, with apt-get and
# dpkg-query stood in for: tollamy_install_packages asks dpkg-query once and, only when
# something is missing, runs one apt-get update and one apt-get install of the missing
# packages; tollamy_configure configures a folder once, and again only when a -D value, the
# generator or a -C file changes; tollamy_up_to_date is true only while the build is current.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
source "$root/scripts/common.sh"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Packages: dpkg-query knows "have-a" and "have-b" as installed.
mkdir "$work/bin"
cat >"$work/bin/dpkg-query" <<'STUB'
#!/bin/bash
echo "dpkg-query" >>"$STUB_LOG"
for p in "$@"; do case "$p" in have-*) echo "$p ii " ;; esac; done
STUB
cat >"$work/bin/apt-get" <<'STUB'
#!/bin/bash
echo "apt-get $*" >>"$STUB_LOG"
STUB
printf '#!/bin/bash\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin/"*
export STUB_LOG="$work/calls"
PATH="$work/bin:$PATH" tollamy_install_packages have-a have-b >/dev/null
[ "$(cat "$STUB_LOG")" = dpkg-query ] || fail "with nothing missing: $(cat "$STUB_LOG")"
: >"$STUB_LOG"
PATH="$work/bin:$PATH" tollamy_install_packages have-a miss-c have-b miss-d >/dev/null
printf 'dpkg-query\napt-get update\napt-get install -y --no-install-recommends miss-c miss-d\n' >"$work/expected"
diff "$work/expected" "$STUB_LOG" || fail "one update and one install of what is missing"

# Builds.
mkdir "$work/src"
cat >"$work/src/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.18)
project(Probe C)
set(PROBE_VALUE 1 CACHE STRING "")
add_executable(probe main.c)
CMAKE
echo 'int main(void) { return 0; }' >"$work/src/main.c"
b="$work/build"
cache_time() { stat -c %y "$b/CMakeCache.txt"; }
tollamy_up_to_date "$b" probe && fail "an unconfigured folder counts as up to date"
tollamy_configure "$b" "$work/src" -DPROBE_VALUE=1
tollamy_up_to_date "$b" probe && fail "an unbuilt target counts as up to date"
cmake --build "$b" >/dev/null
tollamy_up_to_date "$b" probe || fail "a built target does not count as up to date"
before="$(cache_time)"
sleep 1.1
tollamy_configure "$b" "$work/src" -DPROBE_VALUE=1
[ "$(cache_time)" = "$before" ] || fail "the same options configured the folder again"
tollamy_configure "$b" "$work/src" -DPROBE_VALUE=2
grep -qx 'PROBE_VALUE:STRING=2' "$b/CMakeCache.txt" || fail "a new -D value was not taken"
before="$(cache_time)"
sleep 1.1
echo 'set(PROBE_FLAG 1 CACHE STRING "" FORCE)' >"$work/initial.cmake"
tollamy_configure "$b" "$work/src" -DPROBE_VALUE=2 -C "$work/initial.cmake"
[ "$(cache_time)" != "$before" ] || fail "a newer -C file did not configure the folder again"
cmake --build "$b" >/dev/null
touch "$work/src/main.c"
tollamy_up_to_date "$b" probe && fail "a changed source counts as up to date"

# A folder that Make was configured in is configured again with Ninja.
m="$work/make"
cmake -G "Unix Makefiles" -S "$work/src" -B "$m" >/dev/null
tollamy_configure "$m" "$work/src"
grep -qx 'CMAKE_GENERATOR:INTERNAL=Ninja' "$m/CMakeCache.txt" || fail "still not Ninja"
cmake --build "$m" >/dev/null
tollamy_up_to_date "$m" probe || fail "the folder made by Make is not usable"
echo "ok"
