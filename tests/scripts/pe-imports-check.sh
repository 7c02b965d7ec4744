#!/bin/bash
# scripts/pe-imports.sh on programs built here with the MinGW-w64 posix-thread compiler: a C++
# program linked -static passes; linked without it, it needs libstdc++'s DLL and fails, naming
# it; so does a program that links a DLL of its own, and a file that is no Windows program.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
source "$root/scripts/pe-imports.sh"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

cxx=x86_64-w64-mingw32-g++-posix
printf '#include <iostream>\nint main() { std::cout << "x\\n"; }\n' >"$work/main.cpp"
printf '__declspec(dllexport) int f(void) { return 1; }\n' >"$work/own.c"
printf 'int f(void);\nint main(void) { return f(); }\n' >"$work/uses.c"
x86_64-w64-mingw32-gcc-posix -shared "$work/own.c" -o "$work/own.dll"
echo "not a program" >"$work/text.exe"

# name | how it is built | expected status | DLLs the failure names
while IFS='|' read -r name build status named; do
    if [ -n "$build" ]; then
        eval "$build"
    fi
    got=0
    tollamy_system_imports_only "$work/$name" 2>"$work/err" || got=$?
    [ "$got" = "$status" ] || fail "$name: status $got, expected $status: $(cat "$work/err")"
    for dll in $named; do
        grep -q "imports $dll," "$work/err" || fail "$name: $dll not named: $(cat "$work/err")"
    done
    [ -n "$named" ] || [ "$status" = 0 ] || grep -q "not a Windows program" "$work/err" ||
        fail "$name: $(cat "$work/err")"
done <<EOF
static.exe|$cxx -static "$work/main.cpp" -o "$work/static.exe"|0|
shared.exe|$cxx "$work/main.cpp" -o "$work/shared.exe"|1|libstdc++-6.dll
uses.exe|x86_64-w64-mingw32-gcc-posix -static "$work/uses.c" "$work/own.dll" -o "$work/uses.exe"|1|own.dll
text.exe||1|
EOF
tollamy_pe_imports "$work/static.exe" | grep -qx KERNEL32.dll || fail "static.exe: KERNEL32.dll not listed"
echo "ok"
