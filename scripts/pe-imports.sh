# The DLLs that a Windows program needs. Source it; do not run it.
#   tollamy_pe_imports FILE                 prints the DLLs that FILE imports, one a line
#   tollamy_system_imports_only FILE...     fails, naming each file and DLL, when a file imports
#                                           a DLL that is not Windows' own
# A program linked -static imports Windows' DLLs only: a libstdc++-6, libgcc_s, libwinpthread,
# zlib1 or libzip DLL among its imports means that it needs files beside it that a Windows
# machine lacks. TOLLAMY_SYSTEM_DLLS lists Windows' own, by name without .dll, in lower case;
# the API sets (api-ms-win-*) count as Windows' own too.
TOLLAMY_SYSTEM_DLLS=(kernel32 ntdll msvcrt ucrtbase advapi32 user32 gdi32 shell32 ole32 oleaut32
    comctl32 comdlg32 shlwapi psapi version winmm imm32 uxtheme dwmapi windowscodecs ws2_32
    bcrypt crypt32 rpcrt4 secur32 userenv dbghelp setupapi mpr netapi32 iphlpapi msimg32)

tollamy_pe_imports() {
    local dump
    dump="$(x86_64-w64-mingw32-objdump -p "$1" 2>/dev/null)" || return 1
    sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump"
}

tollamy_system_imports_only() {
    local file dlls dll name known status=0
    for file in "$@"; do
        if ! dlls="$(tollamy_pe_imports "$file")"; then
            echo "$file: not a Windows program or DLL" >&2
            status=1
            continue
        fi
        while read -r dll; do
            [ -n "$dll" ] || continue
            name="${dll,,}"
            name="${name%.dll}"
            [[ "$name" == api-ms-win-* ]] && continue
            for known in "${TOLLAMY_SYSTEM_DLLS[@]}"; do
                [ "$name" = "$known" ] && continue 2
            done
            echo "$file: imports $dll, which Windows does not provide" >&2
            status=1
        done <<<"$dlls"
    done
    return $status
}
