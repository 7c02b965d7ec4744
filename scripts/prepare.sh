# Prepares a user's Wine prefix for Tollamy and runs the Today host in it: the one set-up behind
# scripts/run (from a source checkout, after building) and the launcher /usr/bin/tollamy (from
# the installed package). Source it after common.sh; do not run it.
#
#   tollamy_parse_args PROGRAM ARGS...   the options of launcher-options.sh: --deck FILE and
#                                        --anki DECK (repeatable), --anki-profile NAME,
#                                        --refresh MINUTES, --autostart, --no-autostart, --vga,
#                                        --help and --version
#   tollamy_autostart SELF               --autostart, --no-autostart: the autostart entry that
#                                        starts SELF at login, written or removed; then exits
#   tollamy_need_display SCRIPT          without a display: runs SCRIPT again under Xvfb, as the demo
#   tollamy_has_anki_items               true when Anki decks are named or were at earlier starts
#   tollamy_session TOOL BIN_DIR DEMO_OUT
#                                        one screen per user and prefix: with none open, today's
#                                        due cards of each Anki item imported with the deck tool
#                                        TOOL ("": none), the prefix prepared with the binaries
#                                        of BIN_DIR, and the Today host with the refresh of the
#                                        Anki items (screen.sh), or the demo writing its PNGs to
#                                        DEMO_OUT; with one open, the decks named handed to it
#
# TOLLAMY_PREFIX is the prefix (default ~/.local/share/tollamy/wineprefix), TOLLAMY_OUT the
# demo's folder, TOLLAMY_SCRIPT the demo's host script (default samples/demo.script). The data
# files (resources/, samples/) are found under $TOLLAMY_ROOT.

# The entry's place in the Today items list: Tollamy at 10, the decks of --deck after it in the
# order given, leaving room for items installed by other means.
TOLLAMY_ORDER=10
TOLLAMY_DECKS=()
TOLLAMY_DECK_NAMES=()
TOLLAMY_HOST_ARGS=()
TOLLAMY_ARGS=()
# --anki: the Anki decks asked for, the profile, and the items of the imports that worked and
# of those that failed.
TOLLAMY_ANKI_DECKS=()
TOLLAMY_ANKI_PROFILE=""
TOLLAMY_ANKI_SHOWN=()
TOLLAMY_ANKI_HIDDEN=()
# The Anki items, named at this start or an earlier one (NAME.txt in the data folder), and the
# deck tool that imports them and keeps them current.
TOLLAMY_ANKI_ITEMS=()
TOLLAMY_ANKI_FOLDER="$HOME/.local/share/tollamy/anki"
TOLLAMY_DECK_TOOL=""
# --refresh MINUTES (0: off), and --autostart (on) or --no-autostart (off).
TOLLAMY_REFRESH_MINUTES=10
TOLLAMY_AUTOSTART=""
source "$TOLLAMY_ROOT/scripts/launcher-options.sh"
source "$TOLLAMY_ROOT/scripts/screen.sh"

# Adds the deck at $1 as one more item, named after its file (French.txt: French); two decks
# with one name, or a deck named like the installed item, are refused.
tollamy_add_deck() {
    local path name other
    [ -f "$1" ] || tollamy_usage "no deck at $1"
    path="$(realpath "$1")"
    name="$(basename "$path")"
    name="${name%.*}"
    case "$name" in
    "" | *[%\"]* | *[[:cntrl:]]*)
        tollamy_usage "$1: a deck's name (its file name without the extension) must not be empty or hold % or \""
        ;;
    esac
    # Windows names and registry keys ignore case.
    for other in Tollamy ${TOLLAMY_DECK_NAMES[@]+"${TOLLAMY_DECK_NAMES[@]}"}; do
        if [ "${name,,}" = "${other,,}" ]; then
            tollamy_usage "$1: there is already an item named $other; rename the deck"
        fi
    done
    TOLLAMY_DECKS+=("$path")
    TOLLAMY_DECK_NAMES+=("$name")
}

# The handlers of the options (launcher-options.sh).
tollamy_add_anki_deck() { TOLLAMY_ANKI_DECKS+=("$1"); }
tollamy_set_anki_profile() { TOLLAMY_ANKI_PROFILE="$1"; }
tollamy_set_vga() { TOLLAMY_HOST_ARGS+=(--vga); }
tollamy_set_refresh() {
    [[ "$1" =~ ^[0-9]{1,4}$ ]] && [ "$((10#$1))" -le 1440 ] ||
        tollamy_usage "--refresh takes minutes from 0 to 1440, not '$1'"
    TOLLAMY_REFRESH_MINUTES=$((10#$1))
}
tollamy_set_autostart() {
    [ "$TOLLAMY_AUTOSTART" = off ] && tollamy_usage "give --autostart or --no-autostart, not both"
    TOLLAMY_AUTOSTART=on
}
tollamy_set_no_autostart() {
    [ "$TOLLAMY_AUTOSTART" = on ] && tollamy_usage "give --autostart or --no-autostart, not both"
    TOLLAMY_AUTOSTART=off
}

# An argument of a desktop entry's Exec line: quoted when it holds a reserved character, with
# `"`, `` ` ``, `$` and `\` escaped inside the quotes, `%` doubled, and then every `\` doubled
# as the entry's strings want.
tollamy_desktop_arg() {
    local a="${1//%/%%}"
    if [[ "$a" =~ [[:space:]\"\'\\\<\>~\|\&\;\$\*\?\#\(\)\`] ]]; then
        a="${a//\\/\\\\}"
        a="${a//\"/\\\"}"
        a="${a//\`/\\\`}"
        a="${a//\$/\\\$}"
        a="\"$a\""
    fi
    printf '%s' "${a//\\/\\\\}"
}

# --autostart writes the desktop's autostart entry, which starts the launcher at $1 at login
# with this start's --deck, --anki, --anki-profile, --refresh and --vga; --no-autostart removes
# it. Either exits. Without them it does nothing.
tollamy_autostart() {
    local self="$1" config="${XDG_CONFIG_HOME:-}" entry args=() arg line temp
    [ -n "$TOLLAMY_AUTOSTART" ] || return 0
    # The XDG rule: an unset or relative XDG_CONFIG_HOME is ignored.
    [[ "$config" == /* ]] || config="$HOME/.config"
    entry="$config/autostart/tollamy.desktop"
    if [ "$TOLLAMY_AUTOSTART" = off ]; then
        if [ -e "$entry" ]; then
            rm -f "$entry"
            echo "$TOLLAMY_PROGRAM: removed the autostart entry $entry"
        else
            echo "$TOLLAMY_PROGRAM: there is no autostart entry ($entry)"
        fi
        exit 0
    fi
    for arg in ${TOLLAMY_DECKS[@]+"${TOLLAMY_DECKS[@]}"}; do args+=(--deck "$arg"); done
    for arg in ${TOLLAMY_ANKI_DECKS[@]+"${TOLLAMY_ANKI_DECKS[@]}"}; do args+=(--anki "$arg"); done
    [ -n "$TOLLAMY_ANKI_PROFILE" ] && args+=(--anki-profile "$TOLLAMY_ANKI_PROFILE")
    [ "$TOLLAMY_REFRESH_MINUTES" != 10 ] && args+=(--refresh "$TOLLAMY_REFRESH_MINUTES")
    args+=(${TOLLAMY_HOST_ARGS[@]+"${TOLLAMY_HOST_ARGS[@]}"})
    line="$(tollamy_desktop_arg "$self")"
    for arg in ${args[@]+"${args[@]}"}; do
        [[ "$arg" == *$'\n'* ]] && tollamy_usage "an autostart entry cannot hold a line break"
        line+=" $(tollamy_desktop_arg "$arg")"
    done
    mkdir -p "$(dirname "$entry")"
    temp="$(mktemp "$entry.XXXXXX")"
    cat >"$temp" <<ENTRY
[Desktop Entry]
Type=Application
Name=Tollamy
Comment=Flash cards on the Today screen, started at login
Exec=$line
Icon=tollamy
Terminal=false
X-GNOME-Autostart-enabled=true
ENTRY
    chmod 644 "$temp"
    mv -f "$temp" "$entry"
    echo "$TOLLAMY_PROGRAM: starts at login with $entry"
    exit 0
}

# Imports today's due cards of each --anki DECK, and of the Anki items of earlier starts, with
# the deck tool at $1 (tollamy-deck watch --once) into ~/.local/share/tollamy/anki/NAME.txt,
# with NAME.source beside it naming the deck and the profile. The profile is --anki-profile,
# else the only one there is; several without --anki-profile are an error that lists them, and
# so are two decks that would make one item, or a deck that would take the name of a --deck
# item: the tool refuses them before anything is written. A named deck that was imported is
# added as a --deck would be; a failed import is reported and its item left out (switched off by
# tollamy_item_entries); the others show.
tollamy_import_anki() {
    local tool="$1" args=() name line link said status=0
    TOLLAMY_DECK_TOOL="$tool"
    tollamy_has_anki_items || return 0
    for name in ${TOLLAMY_ANKI_DECKS[@]+"${TOLLAMY_ANKI_DECKS[@]}"}; do args+=(--anki "$name"); done
    [ -n "$TOLLAMY_ANKI_PROFILE" ] && args+=(--anki-profile "$TOLLAMY_ANKI_PROFILE")
    for name in ${TOLLAMY_DECK_NAMES[@]+"${TOLLAMY_DECK_NAMES[@]}"}; do
        args+=(--other-item "$name")
    done
    # The --deck items of earlier starts: their links lead elsewhere than to the data folder.
    for link in "$(tollamy_prefix)/drive_c/Tollamy/decks"/*.txt; do
        name="$(basename "$link" .txt)"
        [ -L "$link" ] && [ "$(readlink "$link")" != "$TOLLAMY_ANKI_FOLDER/$name.txt" ] &&
            args+=(--other-item "$name")
    done
    said="$("$tool" watch "$TOLLAMY_ANKI_FOLDER" --once ${args[@]+"${args[@]}"})" || status=$?
    [ "$status" = 0 ] || exit "$status"
    while IFS= read -r line; do
        name="${line#* }"
        case "${line%% *}" in
        added)
            tollamy_add_deck "$TOLLAMY_ANKI_FOLDER/$name.txt"
            TOLLAMY_ANKI_SHOWN+=("$name")
            ;;
        shown) TOLLAMY_ANKI_SHOWN+=("$name") ;;
        hidden) TOLLAMY_ANKI_HIDDEN+=("$name") ;;
        *) continue ;;
        esac
        TOLLAMY_ANKI_ITEMS+=("$name")
    done <<<"$said"
}

tollamy_has_anki_items() {
    [ ${#TOLLAMY_ANKI_DECKS[@]} -gt 0 ] || compgen -G "$TOLLAMY_ANKI_FOLDER/*.source" >/dev/null
}

# Without a display the demo runs under Xvfb: the script given starts again there.
tollamy_need_display() {
    if [ -z "${DISPLAY:-}" ] && [ -z "${TOLLAMY_IN_XVFB:-}" ]; then
        export TOLLAMY_DEMO=1
        tollamy_use_xvfb "$1" ${TOLLAMY_ARGS[@]+"${TOLLAMY_ARGS[@]}"}
    fi
}

# Z: is the Linux root in every Wine prefix.
tollamy_winpath() {
    local p
    p="$(realpath -m "$1")"
    echo "Z:${p//\//\\}"
}

tollamy_quiet() { "$@" </dev/null >/dev/null 2>&1; }
# The same, but what the command said is shown when it fails, so that a failure says why. Wine's
# reg has failed now and then on a fresh prefix under heavy load (in the test suite, about one
# run in seven), so a failed command is run once more, two seconds later, before it counts.
tollamy_quiet_unless_failed() {
    local out
    out="$("$@" </dev/null 2>&1)" && return 0
    sleep 2
    out="$("$@" </dev/null 2>&1)" && return 0
    local status=$?
    [ -n "$out" ] && printf '%s\n' "$out" | tr -d '\r' >&2
    return "$status"
}

# The value of NAME in registry KEY, or nothing (status 1) when there is none.
tollamy_reg_value() {
    wine reg query "$1" /v "$2" </dev/null 2>/dev/null |
        sed -n "s/^ *$2 *REG_[A-Z_]* *//p" | tr -d '\r' | grep .
}

tollamy_prefix() { echo "${TOLLAMY_PREFIX:-$HOME/.local/share/tollamy/wineprefix}"; }

# One screen per user and prefix: the first start holds a lock beside the prefix (flock, which
# the system drops when the launcher ends, however it ends, so a stale lock never blocks a later
# start) and runs the session; a start while that screen is open leaves it alone and hands it
# the decks it names (tollamy_hand_over). The lock is not passed on to the programs the session
# starts: Wine's server and services could hold it beyond the launcher. A signal ends the
# session at any point, from the import on.
tollamy_session() {
    local tool="$1" bin="$2" out="$3" lock
    lock="$(tollamy_prefix).screen.lock"
    mkdir -p "$(dirname "$lock")"
    exec {TOLLAMY_LOCK_FD}>>"$lock"
    if ! flock -n "$TOLLAMY_LOCK_FD"; then
        tollamy_hand_over "$tool" "$bin" {TOLLAMY_LOCK_FD}>&-
        exit
    fi
    trap 'tollamy_session_end 143' TERM
    trap 'tollamy_session_end 130' INT
    trap 'tollamy_session_end 129' HUP
    tollamy_session_run "$tool" "$bin" "$out" {TOLLAMY_LOCK_FD}>&-
}

tollamy_session_run() {
    [ -n "$1" ] && tollamy_import_anki "$1"
    tollamy_prepare "$2"
    tollamy_show "$3"
}

# A signal ends the launcher: the screen and its refresh first; the EXIT trap then stops Wine's
# server and every program of the prefix.
tollamy_session_end() {
    tollamy_screen_stop
    exit "$1"
}

# A screen is open for this prefix already. It is left alone, and the decks named now join it:
# each --anki deck is imported (its refresh keeps it current from then on, as it follows the
# data folder), and each deck that has no item yet is installed beside the running programs,
# whose files stay untouched; the screen's host follows the items list.
tollamy_hand_over() {
    local tool="$1" bin="$2" name added=""
    if [ ${#TOLLAMY_ANKI_DECKS[@]} -gt 0 ]; then
        # A refresh holds the data folder's lock while it runs.
        if [ -z "$tool" ] || { mkdir -p "$TOLLAMY_ANKI_FOLDER" &&
            flock -n "$TOLLAMY_ANKI_FOLDER/.watch.lock" true; }; then
            echo "$TOLLAMY_PROGRAM: Tollamy is already running, without a refresh of Anki" \
                "decks; close it, then start it again with --anki" >&2
            exit 1
        fi
        tollamy_import_anki "$tool"
    fi
    if [ ${#TOLLAMY_DECKS[@]} -eq 0 ]; then
        echo "$TOLLAMY_PROGRAM: Tollamy is already running"
        return 0
    fi
    tollamy_wine_env "$(tollamy_prefix)"
    TOLLAMY_RUNNING=1
    tollamy_install_decks "$bin" || exit 1
    for name in "${TOLLAMY_DECK_NAMES[@]}"; do added+="${added:+, }$name"; done
    echo "$TOLLAMY_PROGRAM: Tollamy is already running; its screen shows $added too"
}

tollamy_prepare() {
    local bin="$1" prefix
    prefix="$(tollamy_prefix)"
    mkdir -p "$(dirname "$prefix")"
    # The Wine environment and a new prefix, with Wine managing no windows itself (common.sh),
    # and a server that ends by itself when the session is gone.
    tollamy_wine_env "$prefix"
    tollamy_session_wineserver
    tollamy_prepare_fonts
    tollamy_prepare_registry
    tollamy_install "$bin" || return
    tollamy_item_entries
}

# Switches an entry of the Today items list on or off: tollamy_switch_item NAME DLL 0|1. Only an
# entry for the module DLL is touched, and only when it needs to change. Status 0 when it was
# switched, 1 when it was so already, 2 when there is no such entry, 3 when it could not be
# written.
tollamy_switch_item() {
    local key="HKLM\\Software\\Microsoft\\Today\\Items\\$1"
    [ "$(tollamy_reg_value "$key" DLL || true)" = "$2" ] || return 2
    [ "$(tollamy_reg_value "$key" Enabled || true)" != "0x$3" ] || return 1
    tollamy_quiet wine reg add "$key" /v Enabled /t REG_DWORD /d "$3" /f || return 3
}

# The entries that this start decides on:
# - the item of an Anki deck whose import failed is switched off (Enabled 0), so that
#   yesterday's cards do not show as today's; it is switched on again when an import works.
#   Only the Anki items that have an entry of this launcher's module copies are kept current;
# - an Anki item of a launcher that did not yet note its deck and profile (no NAME.source) is
#   switched off: its deck cannot be imported again;
# - on the screen (not in the demo), when decks are named, the Tollamy item is switched off
#   while its deck is still the sample that the install step copied, and on otherwise.
tollamy_item_entries() {
    local name want status kept=() link decks="$WINEPREFIX/drive_c/Tollamy/decks"
    for name in ${TOLLAMY_ANKI_ITEMS[@]+"${TOLLAMY_ANKI_ITEMS[@]}"}; do
        want=0
        printf '%s\n' ${TOLLAMY_ANKI_SHOWN[@]+"${TOLLAMY_ANKI_SHOWN[@]}"} | grep -qxF "$name" && want=1
        status=0
        tollamy_switch_item "$name" "C:\\Tollamy\\decks\\$name.dll" "$want" || status=$?
        [ "$status" -le 1 ] && kept+=("$name")
    done
    TOLLAMY_ANKI_ITEMS=(${kept[@]+"${kept[@]}"})
    for link in "$decks"/*.txt; do
        name="$(basename "$link" .txt)"
        if [ -L "$link" ] && [ "$(readlink "$link")" = "$TOLLAMY_ANKI_FOLDER/$name.txt" ] &&
            [ ! -f "$TOLLAMY_ANKI_FOLDER/$name.source" ] &&
            tollamy_switch_item "$name" "C:\\Tollamy\\decks\\$name.dll" 0; then
            echo "$TOLLAMY_PROGRAM: the Anki item $name is switched off: it was named at an" \
                "earlier start, before the launcher kept its decks current; name it with --anki" \
                "once more" >&2
        fi
    done
    if [ -z "${TOLLAMY_DEMO:-}" ]; then
        want=1
        if [ $((${#TOLLAMY_DECKS[@]} + ${#TOLLAMY_ANKI_DECKS[@]})) -gt 0 ] &&
            cmp -s "$WINEPREFIX/drive_c/Tollamy/Tollamy.txt" "$TOLLAMY_ROOT/samples/capitals.txt"; then
            want=0
        fi
        tollamy_switch_item Tollamy 'C:\Tollamy\Tollamy.dll' "$want" || true
    fi
}

# Fonts: Tahoma as the stock system font, like the handheld's, and Marlett for the caption
# buttons, both from fonts-wine; WenQuanYi Micro Hei for CJK text.
tollamy_prepare_fonts() {
    local fonts="$WINEPREFIX/drive_c/windows/Fonts" f
    mkdir -p "$fonts"
    for f in tahoma.ttf tahomabd.ttf marlett.ttf; do
        [ -f "$fonts/$f" ] || cp "/usr/share/wine/fonts/$f" "$fonts/$f"
    done
    [ -f "$fonts/wqy-microhei.ttc" ] ||
        cp /usr/share/fonts/truetype/wqy/wqy-microhei.ttc "$fonts/wqy-microhei.ttc"
}

# One-time set-up of the prefix's registry: .txt files open in Wine's notepad (which saves
# UTF-16 with the byte-order mark), the stock "System" font is Tahoma, and bold Tahoma links to
# WenQuanYi Micro Hei for the characters it lacks, so a Japanese deck shows its glyphs also
# under an English language. (Wine rewrites the link list of plain "Tahoma" whenever the
# language changes, but leaves "Tahoma Bold" alone; a Japanese language picks the CJK font
# for the item's text directly.)
tollamy_prepare_registry() {
    local stamp="$WINEPREFIX/.tollamy-prefix-1" setup face
    [ -f "$stamp" ] && return 0
    setup="$(mktemp --suffix=.reg)"
    cat >"$setup" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_CLASSES_ROOT\.txt]
@="txtfile"
"Content Type"="text/plain"

[HKEY_CLASSES_ROOT\txtfile]
@="Text Document"

[HKEY_CLASSES_ROOT\txtfile\shell\open\command]
@="\"C:\\windows\\notepad.exe\" \"%1\""

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]
"System"="Tahoma"
REG
    tollamy_quiet wine regedit /S "$(tollamy_winpath "$setup")"
    rm -f "$setup"
    for face in 'Tahoma Bold' Tahoma; do
        tollamy_quiet wine reg add \
            'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
            /v "$face" /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f
    done
    touch "$stamp"
}

# Installs the module, the host and the install step into C:\Tollamy and runs the install step
# (install.cmd, the same one the Windows zip holds): the settings key, the sample deck and the
# Tollamy entry in the Today items list, each only when it is missing. Then one copy of the
# module per --deck in C:\Tollamy\decks, named after its deck, beside a link to the deck, so
# the item reads and its action edits the user's file; each copy gets its own entry.
tollamy_install() {
    local bin="$1" install="$WINEPREFIX/drive_c/Tollamy"
    mkdir -p "$install"
    cp "$bin/Tollamy.dll" "$bin/today-host.exe" "$install/"
    cp "$TOLLAMY_ROOT/resources/install.cmd" "$TOLLAMY_ROOT/resources/tollamy.reg" \
        "$TOLLAMY_ROOT/samples/capitals.txt" "$install/"
    tollamy_quiet_unless_failed wine cmd /c 'C:\Tollamy\install.cmd' ||
        { echo "$TOLLAMY_PROGRAM: the install step failed" >&2; return 1; }
    tollamy_install_decks "$bin"
}

# The copies of the module for the decks, each with its link and its entry. While a screen runs
# (TOLLAMY_RUNNING) a copy that is there already stays as it is: the host has it loaded.
tollamy_install_decks() {
    local bin="$1" install="$WINEPREFIX/drive_c/Tollamy" i name link dll key have
    [ ${#TOLLAMY_DECKS[@]} -eq 0 ] && return 0
    mkdir -p "$install/decks"
    for i in "${!TOLLAMY_DECKS[@]}"; do
        name="${TOLLAMY_DECK_NAMES[$i]}"
        dll="C:\\Tollamy\\decks\\$name.dll"
        key="HKLM\\Software\\Microsoft\\Today\\Items\\$name"
        # An entry of that name for another module is the user's: it stays, and the deck is
        # refused.
        if have="$(tollamy_reg_value "$key" DLL)" && [ "${have,,}" != "${dll,,}" ]; then
            echo "$TOLLAMY_PROGRAM: the Today items list has an item $name for $have;" \
                "rename the deck" >&2
            return 1
        fi
        link="$install/decks/$name.txt"
        if [ -e "$link" ] && [ ! -L "$link" ]; then
            echo "$TOLLAMY_PROGRAM: $link is not a link to a deck; move it away" >&2
            return 1
        fi
        [ -n "${TOLLAMY_RUNNING:-}" ] && [ -f "$install/decks/$name.dll" ] ||
            cp "$bin/Tollamy.dll" "$install/decks/$name.dll"
        if [ "$(readlink "$link" || true)" != "${TOLLAMY_DECKS[$i]}" ]; then
            rm -f "$link" "$install/decks/$name.idx"
            ln -s "${TOLLAMY_DECKS[$i]}" "$link"
        fi
        tollamy_quiet_unless_failed wine cmd /c 'C:\Tollamy\install.cmd' "$name" "$dll" \
            "$((TOLLAMY_ORDER + i + 1))" ||
            { echo "$TOLLAMY_PROGRAM: the install step failed for $name" >&2; return 1; }
    done
}

# Runs the Today host on the Today items list: the screen, with its Anki items kept current
# (screen.sh). In the demo (no display) it runs
# $TOLLAMY_SCRIPT (default samples/demo.script) and prints the paths of the PNG files it wrote
# to $TOLLAMY_OUT (default DEMO_OUT); the demo changes the height through the options dialog, so
# the user's settings are kept aside and put back afterwards.
tollamy_show() {
    local host="$WINEPREFIX/drive_c/Tollamy/today-host.exe"
    if [ -z "${TOLLAMY_DEMO:-}" ]; then
        tollamy_screen "$host"
        return $?
    fi
    local out="${TOLLAMY_OUT:-$1}" saved have_settings=0 status=0 png
    mkdir -p "$out"
    rm -f "$out"/*.png
    saved="$(mktemp --suffix=.reg)"
    if tollamy_quiet wine reg export 'HKCU\Software\Vessick\Tollamy' "$(tollamy_winpath "$saved")" /y; then
        have_settings=1
    fi
    wine "$host" ${TOLLAMY_HOST_ARGS[@]+"${TOLLAMY_HOST_ARGS[@]}"} \
        --script "$(tollamy_winpath "${TOLLAMY_SCRIPT:-$TOLLAMY_ROOT/samples/demo.script}")" \
        --capture-dir "$(tollamy_winpath "$out")" || status=$?
    if [ "$have_settings" = 1 ]; then
        tollamy_quiet wine reg import "$(tollamy_winpath "$saved")" || true
    fi
    rm -f "$saved"
    for png in "$out"/*.png; do
        [ -f "$png" ] && echo "$png"
    done
    return "$status"
}
