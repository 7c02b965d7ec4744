# Shared by scripts/test, scripts/run and scripts/bench. Source it; do not run it.

TOLLAMY_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
TOLLAMY_PACKAGES=(mingw-w64 g++-mingw-w64-x86-64 cmake make wine wine64 xvfb xauth fonts-wine
    fonts-wqy-microhei googletest python3
    # the packages and their tests: dpkg-shlibdeps and file for CPack's .deb, lintian, unzip
    dpkg-dev file lintian unzip)

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

# Configures and builds into $1 (default build/).
tollamy_build() {
    local dir="${1:-$TOLLAMY_ROOT/build}"
    cmake -S "$TOLLAMY_ROOT" -B "$dir" \
        -DCMAKE_TOOLCHAIN_FILE="$TOLLAMY_ROOT/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$dir" -j"$(nproc)"
}

# Starts a persistent wineserver for $WINEPREFIX with every stream redirected, so that
# it never holds the caller's terminal or pipe, and stops it (and every Wine process of
# the prefix) when the calling script exits.
tollamy_start_wineserver() {
    wineserver -k </dev/null >/dev/null 2>&1 || true
    wineserver -p </dev/null >/dev/null 2>&1 || true
    wine wineboot </dev/null >/dev/null 2>&1 || true
    trap 'wineserver -k </dev/null >/dev/null 2>&1 || true' EXIT
}
