# Shared by scripts/test, scripts/run, scripts/bench and scripts/wine-exec. Source it; do not run
# it.

TOLLAMY_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# The cross build of the module, the host and the tests: the 64-bit MinGW-w64 compiler alone
# (the metapackage mingw-w64 would add the 32-bit one too).
TOLLAMY_BUILD_PACKAGES=(g++-mingw-w64-x86-64 cmake ninja-build googletest python3 git clang-tidy)
# All that the scripts need to build, run and test it.
TOLLAMY_PACKAGES=("${TOLLAMY_BUILD_PACKAGES[@]}" wine wine64 xvfb xauth fonts-wine
    fonts-wqy-microhei clang-format
    # the packages and their tests: dpkg-shlibdeps and file for CPack's .deb, lintian, unzip
    dpkg-dev file lintian unzip
    # the launcher's test on a screen: keys and clicks (xdotool), the window's pixels (xwd),
    # Anki's saves (sqlite3)
    xdotool x11-apps sqlite3)
# The native deck tool (scripts/deck) and its tests, sanitizer build and fuzzer.
TOLLAMY_DECK_PACKAGES=(g++ cmake ninja-build pkg-config libuchardet-dev
    libgtest-dev clang libclang-rt-14-dev libfuzzer-14-dev time
    libzip-dev libsqlite3-dev libzstd-dev nlohmann-json3-dev
    # the command line (CLI11, header-only) and the man-page checks (groff through man)
    libcli11-dev man-db groff-base
    # the peer of the due-import benchmark (bench/deck-bench.sh)
    sqlite3
    # deck/charset's tables: glibc's charmaps, read by a Python script
    locales python3)

# The Windows build of the deck tool: the libraries that scripts/windows-libs cross-builds from
# Debian's sources, named by the -dev packages whose versions it builds, and what builds them.
TOLLAMY_WINDOWS_LIBS_DEV=(libsqlite3-dev libzstd-dev libzip-dev libuchardet-dev)
TOLLAMY_WINDOWS_LIBS_PACKAGES=("${TOLLAMY_WINDOWS_LIBS_DEV[@]}" libcli11-dev nlohmann-json3-dev
    # Debian's sources: apt-get source, dpkg-source and its unpackers
    dpkg-dev xz-utils
    # SQLite's amalgamation is generated on the build machine: a C compiler, make, tclsh
    gcc make tcl
    # the cross build
    g++-mingw-w64-x86-64 cmake ninja-build pkg-config libz-mingw-w64-dev)

# Installs whatever of the given Debian packages is missing: one dpkg-query for the check, and
# when something is missing one apt-get update and one apt-get install for all of it. Does
# nothing when all are present.
tollamy_install_packages() {
    local -A installed=()
    local name status missing=() p
    while read -r name status; do
        [ "$status" = ii ] && installed[$name]=1
    done < <(dpkg-query -W -f='${Package} ${db:Status-Abbrev}\n' "$@" 2>/dev/null)
    for p in "$@"; do
        [ -n "${installed[$p]:-}" ] || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    echo "installing: ${missing[*]}"
    $sudo apt-get update
    # What the tools need is listed; the packages' recommendations (codecs, GStreamer, Vulkan
    # and VA drivers for Wine, Perl modules for lintian) are not, and would double the install.
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
}

# Fails, naming the files, when a tracked C++ file differs from what clang-format makes of it
# with the repository's .clang-format.
tollamy_check_format() {
    local files=() f
    while IFS= read -r f; do
        [ -f "$TOLLAMY_ROOT/$f" ] && files+=("$f")
    done < <(git -C "$TOLLAMY_ROOT" ls-files '*.cpp' '*.h')
    [ ${#files[@]} -eq 0 ] && return 0
    if ! (cd "$TOLLAMY_ROOT" && clang-format --dry-run --Werror "${files[@]}"); then
        echo "formatting differs from .clang-format: run clang-format -i on the files named above" >&2
        return 1
    fi
}

# Configures build folder $1 from source folder $2 with Ninja and the options that follow,
# unless it is configured so already: from then on Ninja runs CMake again by itself when a
# CMakeLists.txt changes, and finds out in a few milliseconds that nothing else did. A folder
# made by another generator, one whose cache holds another value for a -DNAME=VALUE given
# here, and one older than a -C file given here are configured again. Quiet unless it fails.
tollamy_configure() {
    local dir="$1" src="$2" cache="$1/CMakeCache.txt" fresh=1 prev="" opt name log
    shift 2
    if [ -f "$dir/build.ninja" ] && grep -qx 'CMAKE_GENERATOR:INTERNAL=Ninja' "$cache" 2>/dev/null; then
        fresh=0
        for opt in "$@"; do
            if [ "$prev" = -C ]; then
                [ "$opt" -nt "$cache" ] && fresh=1
            elif [[ "$opt" == -D*=* ]]; then
                name="${opt#-D}"
                name="${name%%=*}"
                name="${name%%:*}"
                awk -v n="$name" -v v="${opt#*=}" 'BEGIN { f = 1 }
                    { i = index($0, "="); k = substr($0, 1, i - 1); sub(/:.*/, "", k)
                      if (k == n) f = substr($0, i + 1) != v } END { exit f }' "$cache" ||
                    fresh=1
            fi
            prev="$opt"
        done
        [ "$fresh" = 0 ] && return 0
    elif [ -f "$cache" ]; then
        rm -rf "$cache" "$dir/CMakeFiles"
    fi
    if ! log="$(cmake -G Ninja -S "$src" -B "$dir" "$@" 2>&1)"; then
        echo "$log" >&2
        return 1
    fi
}

# True when build folder $1 is configured with Ninja and its targets $2... are up to date:
# the quick check of scripts/run and scripts/deck, a few milliseconds, after which nothing
# needs installing or building.
tollamy_up_to_date() {
    local dir="$1"
    shift
    [ -f "$dir/build.ninja" ] && command -v ninja >/dev/null &&
        ninja -C "$dir" -n "$@" 2>/dev/null | grep -q '^ninja: no work to do'
}

# Configures and builds Tollamy into $1 (default build/): the targets $2... (default all).
# TOLLAMY_BUILD_OPTIONS (an array) adds CMake options.
tollamy_build() {
    local dir="${1:-$TOLLAMY_ROOT/build}"
    shift || true
    tollamy_configure "$dir" "$TOLLAMY_ROOT" \
        -DCMAKE_TOOLCHAIN_FILE="$TOLLAMY_ROOT/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=Release ${TOLLAMY_BUILD_OPTIONS[@]+"${TOLLAMY_BUILD_OPTIONS[@]}"} ||
        return 1
    cmake --build "$dir" -j"$(nproc)" ${1+--target "$@"}
}

# The ARM build of the item for Windows Mobile 5 (cmake/wince-arm.cmake) needs CeGCC's
# arm-mingw32ce toolchain: the one whose folder TOLLAMY_CE_TOOLCHAIN names, or else the archive
# that the project's shared toolchains hold beside the checkout.
TOLLAMY_CE_ARCHIVE="$TOLLAMY_ROOT/../shared/toolchains/arm-mingw32ce.tar.xz"

# Prints, in one line, why the ARM build cannot run here and where its toolchain comes from;
# prints nothing when it can.
tollamy_ce_skip_reason() {
    if [ -n "${TOLLAMY_CE_TOOLCHAIN:-}" ]; then
        [ -x "$TOLLAMY_CE_TOOLCHAIN/bin/arm-mingw32ce-g++" ] ||
            echo "ARM build skipped: TOLLAMY_CE_TOOLCHAIN=$TOLLAMY_CE_TOOLCHAIN holds no bin/arm-mingw32ce-g++"
    elif [ ! -f "$TOLLAMY_CE_ARCHIVE" ]; then
        echo "ARM build skipped: no CeGCC toolchain; put arm-mingw32ce.tar.xz into ../shared/toolchains/" \
            "or name an installed one with TOLLAMY_CE_TOOLCHAIN=DIR (the folder of bin/arm-mingw32ce-g++)"
    fi
}

# Sets TOLLAMY_CE_TOOLCHAIN: the one it names already, or the archive unpacked into build folder
# $1 (as $1/arm-mingw32ce, once, and again when the archive is newer). Fails, saying why, when
# there is neither.
tollamy_ce_toolchain() {
    local reason dir="$1/arm-mingw32ce"
    reason="$(tollamy_ce_skip_reason)"
    if [ -n "$reason" ]; then
        echo "$reason" >&2
        return 1
    fi
    [ -n "${TOLLAMY_CE_TOOLCHAIN:-}" ] && return 0
    if [ ! -f "$dir/.unpacked" ] || [ "$TOLLAMY_CE_ARCHIVE" -nt "$dir/.unpacked" ]; then
        rm -rf "$dir"
        mkdir -p "$1"
        tar -xJf "$TOLLAMY_CE_ARCHIVE" -C "$1" && touch "$dir/.unpacked" || return 1
    fi
    TOLLAMY_CE_TOOLCHAIN="$dir"
}

# Configures and builds Tollamy.dll for Windows Mobile 5 on ARM, and its zip, into $1/wince-arm
# ($1: the build folder, default build/), with the toolchain of tollamy_ce_toolchain.
tollamy_build_wince_arm() {
    local build="${1:-$TOLLAMY_ROOT/build}"
    tollamy_ce_toolchain "$build" || return 1
    tollamy_configure "$build/wince-arm" "$TOLLAMY_ROOT" \
        -DCMAKE_TOOLCHAIN_FILE="$TOLLAMY_ROOT/cmake/wince-arm.cmake" \
        -DTOLLAMY_CE_TOOLCHAIN="$TOLLAMY_CE_TOOLCHAIN" -DCMAKE_BUILD_TYPE=Release || return 1
    cmake --build "$build/wince-arm" -j"$(nproc)"
}

# The Wine environment, set up here only: tollamy_wine_env PREFIX exports WINEPREFIX,
# WINEDEBUG (quiet unless the caller set it) and WINEDLLOVERRIDES (no Mono or Gecko install
# prompts), and creates and configures the prefix on first use.
tollamy_wine_env() {
    export WINEPREFIX="$1"
    export WINEDEBUG="${WINEDEBUG:--all}"
    export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
    tollamy_prefix_init "$WINEPREFIX"
}

# Creates and configures the prefix $1 once; safe to call from many processes at once.
tollamy_prefix_init() {
    local prefix="$1"
    [ -f "$prefix/.tollamy-ready" ] && return 0
    mkdir -p "$prefix"
    (
        flock 9
        [ -f "$prefix/.tollamy-ready" ] && exit 0
        wineboot -i </dev/null >/dev/null 2>&1
        # Without a window manager, hiding or destroying a window takes about 2 s unless
        # Wine manages no windows itself.
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
        touch "$prefix/.tollamy-ready"
    ) 9>"$prefix.lock"
}

# Pinning. Every file open, message and timer under Wine is a round trip to the wineserver. On
# some machines a wake-up on another CPU costs more than the round trip itself, and the server
# and its programs run faster on one CPU; on others pinning gains nothing, or loses, and it
# always leaves the other CPUs to the rest. So the scripts choose it by measurement
# (tollamy_choose_pin), and TOLLAMY_PIN holds the choice: 1 pins, 0 does not.
#
# tollamy_pin fills TOLLAMY_PIN_CMD with "taskset -c 0" when TOLLAMY_PIN is 1 (or, when it is
# unset, when the last measurement for $WINEPREFIX chose pinning) and taskset is there; prefix
# a command with "${TOLLAMY_PIN_CMD[@]}" to pin it. Without tollamy_pin nothing is pinned.
TOLLAMY_PIN_CMD=()
tollamy_pin() {
    TOLLAMY_PIN_CMD=()
    local pin="${TOLLAMY_PIN:-}"
    if [ -z "$pin" ] && [ -n "${WINEPREFIX:-}" ] && [ -f "$WINEPREFIX/.tollamy-pin" ]; then
        pin="$(cat "$WINEPREFIX/.tollamy-pin")"
    fi
    if [ "$pin" = 1 ] && command -v taskset >/dev/null; then
        TOLLAMY_PIN_CMD=(taskset -c 0)
    fi
}

# Chooses the pinning on the machine at hand and leaves a wineserver running for $WINEPREFIX
# as chosen: tollamy_choose_pin PROBE [CLIENTS]. PROBE is tollamy-roundtrip.exe (bench/), which
# times requests to the server from CLIENTS threads at once (default 1: as many as will make
# requests at once); it runs with all on CPU 0, then with nothing pinned. Pinning wins when its
# median request is at least 10% cheaper. The choice goes to TOLLAMY_PIN (exported, for the
# programs started later, scripts/wine-exec among them) and to $WINEPREFIX/.tollamy-pin (for
# later runs of scripts/wine-exec by hand); TOLLAMY_PIN_REPORT tells what was measured. A
# TOLLAMY_PIN of 0 or 1 set beforehand is kept without measuring.
tollamy_choose_pin() {
    local probe="$1" clients="${2:-1}" mode us free="" pinned=""
    if [ "${TOLLAMY_PIN:-}" = 0 ] || [ "${TOLLAMY_PIN:-}" = 1 ]; then
        tollamy_pin
        tollamy_start_wineserver
        TOLLAMY_PIN_REPORT="pinning: TOLLAMY_PIN=$TOLLAMY_PIN set, not measured"
        return 0
    fi
    trap tollamy_stop_wineserver EXIT
    for mode in 1 0; do
        TOLLAMY_PIN="$mode"
        tollamy_pin
        [ "$mode" = 1 ] && [ ${#TOLLAMY_PIN_CMD[@]} -eq 0 ] && continue # no taskset
        tollamy_stop_wineserver
        "${TOLLAMY_PIN_CMD[@]}" wineserver -p </dev/null >/dev/null 2>&1 || true
        # To a file: a pipe could be held open by the services that a first program starts.
        "${TOLLAMY_PIN_CMD[@]}" wine "$probe" 3000 "$clients" </dev/null >"$WINEPREFIX/.tollamy-probe" \
            2>/dev/null || true
        us="$(awk '$1 > 0 { print $1; exit }' "$WINEPREFIX/.tollamy-probe")"
        if [ "$mode" = 0 ]; then free="$us"; else pinned="$us"; fi
    done
    rm -f "$WINEPREFIX/.tollamy-probe"
    TOLLAMY_PIN=0
    if [ -n "$pinned" ] && [ -n "$free" ] &&
        awk -v p="$pinned" -v f="$free" 'BEGIN { exit !(p <= 0.9 * f) }'; then
        TOLLAMY_PIN=1
    fi
    export TOLLAMY_PIN
    TOLLAMY_PIN_FREE_US="$free" TOLLAMY_PIN_PINNED_US="$pinned"
    echo "$TOLLAMY_PIN" >"$WINEPREFIX/.tollamy-pin"
    tollamy_pin
    if [ "$TOLLAMY_PIN" = 1 ]; then
        tollamy_start_wineserver
    else
        # The unpinned server of the last measurement stays; Wine's services start detached.
        wine wineboot </dev/null >/dev/null 2>&1 || true
    fi
    TOLLAMY_PIN_REPORT="pinning: a server request takes ${free:-?} us unpinned, ${pinned:-?} us"
    TOLLAMY_PIN_REPORT+=" with the server and $clients thread(s) on CPU 0: $( ((TOLLAMY_PIN)) &&
        echo pinned || echo not pinned)"
}

# Runs SCRIPT ARGS... again under a new Xvfb screen when there is no display:
# tollamy_use_xvfb SCRIPT ARGS... Xlib reads its resource files again at every XGetDefault while
# neither exists nor the server holds resources, as on a fresh Xvfb, and Wine asks for two Xft
# defaults whenever it selects a font into a window's DC: an empty XENVIRONMENT file makes
# Xlib keep its (empty) database instead, which saves the host four failed opens per font.
tollamy_use_xvfb() {
    if [ -z "${DISPLAY:-}" ] && [ -z "${TOLLAMY_IN_XVFB:-}" ]; then
        export TOLLAMY_IN_XVFB=1 TOLLAMY_XVFB_STARTED=1
        export XENVIRONMENT="${XENVIRONMENT:-/dev/null}"
        exec xvfb-run -a -s "-screen 0 1280x1024x24" "$@"
    fi
}

# Starts a persistent wineserver for $WINEPREFIX (pinned like TOLLAMY_PIN_CMD) with every
# stream redirected, so that it never holds the caller's terminal or pipe, and stops it (and
# every Wine process of the prefix) when the calling script exits. A server left over from an
# earlier run of the same prefix is stopped first.
tollamy_start_wineserver() {
    tollamy_stop_wineserver
    "${TOLLAMY_PIN_CMD[@]}" wineserver -p </dev/null >/dev/null 2>&1 || true
    trap tollamy_stop_wineserver EXIT
    "${TOLLAMY_PIN_CMD[@]}" wine wineboot </dev/null >/dev/null 2>&1 || true
}

# For a session of the launcher (the screen, the demo), which holds the prefix alone: a server
# for $WINEPREFIX that ends by itself 60 s after its last program, so that nothing of the session
# outlives it by more, even when the launcher is killed and cannot stop it. What is left of an
# earlier session (a server still waiting out its minute, and its desktop on a display that may
# be gone) is stopped first. The calling script's exit stops the server and every Wine process
# of the prefix.
tollamy_session_wineserver() {
    tollamy_stop_wineserver
    wineserver -w </dev/null >/dev/null 2>&1 || true
    "${TOLLAMY_PIN_CMD[@]}" wineserver -p60 </dev/null >/dev/null 2>&1 || true
    trap tollamy_stop_wineserver EXIT
    "${TOLLAMY_PIN_CMD[@]}" wine wineboot </dev/null >/dev/null 2>&1 || true
}

# Starts tests/tools' desktop_holder.exe from build folder $1 under the running server, with
# its streams redirected, and waits until it holds its window. Wine's desktop process then runs
# for the whole session, started by it: a test program that started the desktop itself would
# pass its output pipe on to it, and CTest would wait for that pipe until the test timed out.
# The holder ends with the server.
tollamy_hold_desktop() {
    local ready="$1/desktop-holder.ready"
    rm -f "$ready"
    "${TOLLAMY_PIN_CMD[@]}" wine "$1/desktop_holder.exe" "$(winepath -w "$ready")" \
        </dev/null >/dev/null 2>&1 &
    local i
    for i in $(seq 300); do
        [ -e "$ready" ] && return 0
        sleep 0.1
    done
    echo "warning: desktop_holder.exe did not start; a test may hold its output pipe" >&2
}

# Stops the wineserver of $WINEPREFIX and every Wine process of the prefix. A script that sets
# its own EXIT trap after tollamy_start_wineserver calls this in it.
tollamy_stop_wineserver() {
    wineserver -k </dev/null >/dev/null 2>&1 || true
}

# For a single program run (scripts/wine-exec, as CTest starts each test): starts a server
# that stays 60 s after its last client unless one already runs for the prefix. Wine's
# background services are then started here too, detached from our output: started by the
# program itself, they would inherit its standard output and hold the caller's pipe open.
tollamy_ensure_wineserver() {
    if "${TOLLAMY_PIN_CMD[@]}" wineserver -p60 </dev/null >/dev/null 2>&1; then
        wine wineboot </dev/null >/dev/null 2>&1 || true
    fi
}

# Configures and builds the native deck tool into $1 ($2...: more cmake options). Quiet unless
# it fails.
tollamy_deck_build() {
    local dir="$1" log
    shift
    tollamy_configure "$dir" "$TOLLAMY_ROOT/deck" -DCMAKE_BUILD_TYPE=Release "$@" || return 1
    if ! log="$(cmake --build "$dir" -j"$(nproc)" 2>&1)"; then
        echo "$log" >&2
        return 1
    fi
}

# The tool and its tests in $1 (build/deck-native), built with Debian's hardening flags, so that
# the .deb takes this very build (packaging/deck-hardening.cmake).
tollamy_deck_build_native() {
    tollamy_deck_build "$1" -C "$TOLLAMY_ROOT/packaging/deck-hardening.cmake"
}

# Makes sure that the native tollamy-deck in $1 (build/deck-native) is built and current: at
# once when Ninja says so; otherwise its packages are installed and it is built.
tollamy_deck_tool() {
    tollamy_up_to_date "$1" tollamy-deck && return 0
    tollamy_install_packages "${TOLLAMY_DECK_PACKAGES[@]}"
    tollamy_deck_build_native "$1"
}

# The deck tool's builds that scripts/test runs, each a function of the build folder $1: the
# tool and its tests; the same tests with AddressSanitizer and UndefinedBehaviorSanitizer, and
# the libFuzzer targets, which share that build's instrumented library; and the Windows tool
# with its tests, run under Wine. The sanitized build uses clang, which compiles it about three
# times faster than g++ does.
TOLLAMY_DECK_BUILDS=(deck-native deck-asan deck-windows)
tollamy_deck_build_deck-native() { tollamy_deck_build_native "$1/deck-native"; }
tollamy_deck_build_deck-asan() {
    tollamy_deck_build "$1/deck-asan" -DTOLLAMY_DECK_SANITIZE=ON -DTOLLAMY_DECK_FUZZ=ON \
        -DTOLLAMY_DECK_TEST_PREFIX=deck-asan. $(tollamy_clang_options)
}
# The Windows tool (tollamy-deck.exe) and its tests in $1/deck-windows, against the libraries
# that scripts/windows-libs builds into $1/windows-libs (once for the installed versions: about
# two minutes on two cores; a fraction of a second afterwards). Its packages are installed
# beforehand (TOLLAMY_WINDOWS_LIBS_PACKAGES), since the builds run beside the installs.
tollamy_deck_build_deck-windows() {
    BUILD_DIR="$1" "$TOLLAMY_ROOT/scripts/windows-libs" || return 1
    tollamy_deck_build "$1/deck-windows" \
        -DCMAKE_TOOLCHAIN_FILE="$TOLLAMY_ROOT/cmake/windows-libs.cmake" \
        -DTOLLAMY_WINDOWS_LIBS="$1/windows-libs" -DTOLLAMY_DECK_TEST_PREFIX=deck-windows.
}
# clang as the compilers, by their full paths as CMake keeps them in its cache.
tollamy_clang_options() {
    echo "-DCMAKE_CXX_COMPILER=$(command -v clang++ || echo clang++)" \
        "-DCMAKE_C_COMPILER=$(command -v clang || echo clang)"
}

# Prints the process ids of every descendant of process $1, children before their own.
tollamy_descendants() {
    local pid
    for pid in $(pgrep -P "$1"); do
        echo "$pid"
        tollamy_descendants "$pid"
    done
}
