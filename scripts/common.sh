# Shared by scripts/test, scripts/run, scripts/bench and scripts/wine-exec. Source it; do not run
# it.

TOLLAMY_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
TOLLAMY_PACKAGES=(mingw-w64 g++-mingw-w64-x86-64 cmake make wine wine64 xvfb xauth fonts-wine
    fonts-wqy-microhei googletest python3 git clang-format clang-tidy
    # the packages and their tests: dpkg-shlibdeps and file for CPack's .deb, lintian, unzip
    dpkg-dev file lintian unzip)
# The native deck tool (scripts/deck) and its tests, sanitizer build and fuzzer.
TOLLAMY_DECK_PACKAGES=(g++ cmake make pkg-config libgumbo-dev libuchardet-dev
    libgtest-dev clang libclang-rt-14-dev libfuzzer-14-dev time
    libzip-dev libsqlite3-dev libzstd-dev nlohmann-json3-dev
    # the command line (CLI11, header-only) and the man-page checks (groff through man)
    libcli11-dev man-db groff-base
    # the peer of the due-import benchmark (bench/deck-bench.sh)
    sqlite3)

# Installs whatever of the given Debian packages is missing. Does nothing when all are present.
tollamy_install_packages() {
    local missing=()
    local p
    for p in "$@"; do
        dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    echo "installing: ${missing[*]}"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${missing[@]}"
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

# Configures and builds into $1 (default build/).
tollamy_build() {
    local dir="${1:-$TOLLAMY_ROOT/build}"
    cmake -S "$TOLLAMY_ROOT" -B "$dir" \
        -DCMAKE_TOOLCHAIN_FILE="$TOLLAMY_ROOT/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$dir" -j"$(nproc)"
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

# Pinning: every file open, message and timer under Wine is a round trip to the wineserver,
# and on a small virtual machine a wake-up on the other CPU costs about three times the round
# trip itself. tollamy_pin fills TOLLAMY_PIN_CMD with "taskset -c 0", so that the server and
# what runs under it share one CPU, unless TOLLAMY_PIN=0 or taskset is missing; prefix a command
# with "${TOLLAMY_PIN_CMD[@]}" to pin it. Without tollamy_pin nothing is pinned.
TOLLAMY_PIN_CMD=()
tollamy_pin() {
    TOLLAMY_PIN_CMD=()
    if [ "${TOLLAMY_PIN:-1}" != 0 ] && command -v taskset >/dev/null; then
        TOLLAMY_PIN_CMD=(taskset -c 0)
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

# Configures and builds the native deck tool into $1 ($2...: more cmake options). Quiet
# unless it fails.
tollamy_deck_build() {
    local dir="$1"
    shift
    local log
    if ! log="$(cmake -S "$TOLLAMY_ROOT/deck" -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@" 2>&1 &&
        cmake --build "$dir" -j"$(nproc)" 2>&1)"; then
        echo "$log" >&2
        return 1
    fi
}

# The three native builds that scripts/test runs: the tool and its tests, the same tests with
# AddressSanitizer and UndefinedBehaviorSanitizer, and the libFuzzer targets (clang).
tollamy_deck_build_all() {
    local build="$1"
    tollamy_deck_build "$build/deck-native"
    tollamy_deck_build "$build/deck-asan" -DTOLLAMY_DECK_SANITIZE=ON \
        -DTOLLAMY_DECK_TEST_PREFIX=deck-asan.
    tollamy_deck_build "$build/deck-fuzz" -DTOLLAMY_DECK_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ \
        -DCMAKE_C_COMPILER=clang
}
