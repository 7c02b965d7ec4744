# The options of the launcher tollamy (and of scripts/run, which shares its set-up) and its
# manual, declared once. tollamy_parse_args parses with this table and --help prints from it;
# run as a program (bash scripts/launcher-options.sh) it prints the whole declaration for
# tollamy-surface (deck/cli/surfacegen.cpp), which makes the man page tollamy(1), docs/tollamy.md
# and the bash completion from it at build time. prepare.sh sources it.
#
#   tollamy_option NAMES VALUE KIND HOW HANDLER SUMMARY
#       NAMES "-h,--help" or "--deck"; VALUE the value's name, "-" for a flag; KIND none, text,
#       file or profile; HOW once, repeat, or alone (given alone, as --help: a synopsis line
#       of its own); HANDLER the function called with the value; SUMMARY the --help line.
#   tollamy_doc KEYWORD [ARGUMENT]      one line of the declaration (see deck/surface/read.cpp);
#       after "description" and "text" the markup of standard input follows.

TOLLAMY_OPTIONS=()
declare -gA TOLLAMY_OPTION_VALUE=() TOLLAMY_OPTION_KIND=() TOLLAMY_OPTION_HOW=()
declare -gA TOLLAMY_OPTION_HANDLER=() TOLLAMY_OPTION_SUMMARY=() TOLLAMY_OPTION_NAMES=()
TOLLAMY_DOC=""

tollamy_doc() {
    local text
    TOLLAMY_DOC+="$1${2:+ $2}"$'\n'
    if [ "$1" = description ] || [ "$1" = text ]; then
        IFS= read -r -d '' text || true
        TOLLAMY_DOC+="$text."$'\n'
    fi
}

tollamy_option() {
    local names="$1" long="${1#*,}"
    TOLLAMY_OPTIONS+=("$long")
    TOLLAMY_OPTION_NAMES[$long]="$names"
    TOLLAMY_OPTION_VALUE[$long]="$2"
    TOLLAMY_OPTION_KIND[$long]="$3"
    TOLLAMY_OPTION_HOW[$long]="$4"
    TOLLAMY_OPTION_HANDLER[$long]="$5"
    TOLLAMY_OPTION_SUMMARY[$long]="$6"
    [ "$long" != "$names" ] && TOLLAMY_OPTION_HANDLER[${names%%,*}]="$5"
    tollamy_doc option "$names $2 $3$([ "$4" = repeat ] && echo " repeat")"
    tollamy_doc summary "$6"
}

# The synopsis, one form per line: the options, then those given alone.
tollamy_synopsis() {
    local o form="" alone=""
    for o in "${TOLLAMY_OPTIONS[@]}"; do
        case "${TOLLAMY_OPTION_HOW[$o]}" in
        alone) alone+="${alone:+ | }$o" ;;
        *)
            form+="${form:+ }[$o"
            [ "${TOLLAMY_OPTION_VALUE[$o]}" != - ] && form+=" ${TOLLAMY_OPTION_VALUE[$o]}"
            form+="]"
            [ "${TOLLAMY_OPTION_HOW[$o]}" = repeat ] && form+="..."
            ;;
        esac
    done
    printf '%s\n%s\n' "$form" "$alone"
}

tollamy_help() {
    local o term first=1 form start line part
    while IFS= read -r form; do
        start="       $TOLLAMY_PROGRAM"
        [ "$first" = 1 ] && start="usage: $TOLLAMY_PROGRAM"
        first=0
        # A form longer than the screen goes on in lines of its own, between its options.
        line="$start"
        while IFS= read -r part; do
            if [ $((${#line} + 1 + ${#part})) -gt 100 ]; then
                echo "$line"
                line="${start//?/ }"
            fi
            line+=" $part"
        done < <(sed 's/\] \[/]\n[/g' <<<"$form")
        echo "$line"
    done < <(tollamy_synopsis)
    echo
    for o in "${TOLLAMY_OPTIONS[@]}"; do
        term="${TOLLAMY_OPTION_NAMES[$o]/,/, }"
        [ "${TOLLAMY_OPTION_VALUE[$o]}" != - ] && term+=" ${TOLLAMY_OPTION_VALUE[$o]}"
        printf '  %-20s %s\n' "$term" "${TOLLAMY_OPTION_SUMMARY[$o]//\`/}"
    done
    printf '\n%s\n' "$TOLLAMY_HELP_FOOTER"
    exit 0
}

tollamy_version() {
    local version="${TOLLAMY_VERSION:-}"
    [ -n "$version" ] || version="$(sed -n 's/^project(Tollamy VERSION \([0-9.]*\).*/\1/p' \
        "$TOLLAMY_ROOT/CMakeLists.txt")"
    echo "tollamy $version"
    exit 0
}

tollamy_usage() {
    echo "$TOLLAMY_PROGRAM: error: $1" >&2
    echo "Try '$TOLLAMY_PROGRAM --help'." >&2
    exit 2
}

# tollamy_parse_args PROGRAM ARGS...: calls each option's handler with its value; PROGRAM
# names the program in the messages. A value follows its option as the next word or after "=";
# "--" ends the options (the launcher takes no other words). An option declared "once" may be
# given once.
tollamy_parse_args() {
    local name word value given=" "
    TOLLAMY_PROGRAM="$1"
    shift
    TOLLAMY_ARGS=("$@")
    while [ $# -gt 0 ]; do
        word="$1"
        shift
        if [ "$word" = -- ]; then
            [ $# -eq 0 ] || tollamy_usage "unknown argument '$1'"
            break
        fi
        name="${word%%=*}"
        [ -n "$name" ] && [ -n "${TOLLAMY_OPTION_HANDLER[$name]+set}" ] ||
            tollamy_usage "unknown option '$name'"
        name="$(tollamy_long_name "$name")"
        if [ "${TOLLAMY_OPTION_HOW[$name]}" != repeat ]; then
            [[ "$given" != *" $name "* ]] || tollamy_usage "option $name is given twice; give it once"
            given+="$name "
        fi
        if [ "${TOLLAMY_OPTION_VALUE[$name]}" = - ]; then
            [ "$word" = "${word#*=}" ] || tollamy_usage "option $name takes no value"
            "${TOLLAMY_OPTION_HANDLER[$name]}"
            continue
        fi
        if [ "$word" != "${word#*=}" ]; then
            value="${word#*=}"
        else
            [ $# -gt 0 ] || tollamy_usage "option $name needs a value"
            value="$1"
            shift
        fi
        [ -n "$value" ] || tollamy_usage "option $name needs a value"
        "${TOLLAMY_OPTION_HANDLER[$name]}" "$value"
    done
    if [ -n "$TOLLAMY_ANKI_PROFILE" ] && [ ${#TOLLAMY_ANKI_DECKS[@]} -eq 0 ]; then
        tollamy_usage "--anki-profile names the profile of the --anki decks; give --anki DECK too"
    fi
}

tollamy_long_name() {
    local o
    for o in "${TOLLAMY_OPTIONS[@]}"; do
        [ "${TOLLAMY_OPTION_NAMES[$o]%%,*}" = "$1" ] && { echo "$o"; return; }
    done
    echo "$1"
}

# --- The declaration -----------------------------------------------------------------------
tollamy_doc program tollamy
tollamy_doc purpose "flash cards on a Windows Mobile Today screen, run under Wine"
tollamy_doc source scripts/launcher-options.sh
TOLLAMY_HELP_FOOTER="More: man tollamy"
tollamy_doc footer "$TOLLAMY_HELP_FOOTER"
tollamy_doc description <<'TEXT'
`tollamy` starts the Today host, a window that plays the Today screen of a Windows Mobile
handheld, with the Tollamy item: one question/answer card at a time, drawn at random from a
deck. While the item is selected it turns the card over; when the selection leaves it, it
draws a new card.

On first use it prepares the user's own Wine prefix: it creates the prefix, copies the Tahoma,
Marlett and WenQuanYi Micro Hei fonts into it, makes `.txt` files open in Wine's notepad,
installs the module and the host into `C:\Tollamy`, copies a sample deck there as
`Tollamy.txt` unless a deck is there already, creates the settings key
`HKEY_CURRENT_USER\Software\Vessick\Tollamy` and registers the item in the Today items list,
`HKEY_LOCAL_MACHINE\Software\Microsoft\Today\Items\Tollamy`. The settings key and the entry
are only ever created when they are missing, so the user's settings and entries stay as they
are. Later starts only refresh the installed binaries.

To see your Anki reviews, name the Anki deck:

    $ tollamy --anki French

The cards that Anki has due today in that deck are imported and shown as one more item, also
while Anki itself is running (then its newest automatic backup is read), and kept current while
the screen stays open: cards reviewed in Anki leave it once Anki saves or backs up, learning
cards come back when they are due, and the next day's reviews arrive after the rollover.
`tollamy --autostart --anki French` starts it so at every login.

Without a display (`DISPLAY` unset) it runs a scripted demo under Xvfb: the three looks, a
turn of the card, a new card, the options dialog raising the height to 48 pixels, and the
action. It writes the screen captures as PNG files and prints their paths.

A value follows its option as the next word or after `=` (`--refresh=5`), and `--` ends the
options; an option that is not marked as repeatable may be given once.

`scripts/run` in a source tree takes the same options: it builds Tollamy first and runs what
it built.
TEXT

tollamy_option --deck FILE file repeat tollamy_add_deck "shows the deck FILE as one more item"
tollamy_doc text <<'TEXT'
Installs a copy of the module named after the deck (*French.txt* gives
`C:\Tollamy\decks\French.dll`) beside a link to *FILE*, and registers it in the Today items list
as one more item (`French`). The option can be given several times; all items show at once,
each item's action opens its own deck, and all share the one settings key. The items stay in
the list for later starts. Two decks of one name, or a deck named like an item of another
module, are refused.
TEXT
tollamy_option --anki DECK text repeat tollamy_add_anki_deck "shows today's due cards of the Anki deck DECK"
tollamy_doc text <<'TEXT'
Imports today's due cards of the Anki deck *DECK* (with its subdecks; write nested decks as
*Parent::Child*) with `tollamy-deck import --due` into `~/.local/share/tollamy/anki/DECK.txt`,
and shows them as `--deck` does. Each card shows as Anki shows it; with nothing due the item
says so and names the next day with due cards. The option can be given several times.

While the screen is open the deck is kept current: it is imported again when the due cards
next change (at the rollover, or when a learning card comes within the learn-ahead limit),
within 10 seconds of Anki saving its collection or closing, within 10 seconds of a new backup
(while Anki runs, its backups are the only way to see its reviews), and at least every
`--refresh` minutes. An item whose deck changes draws a card of the new deck within a few
seconds. The item stays in the Today items list, and later starts keep it current too, with
the profile it was imported from, whether or not they name it.

When an import fails, the launcher says why and keeps the last deck; it switches the item off
only when that deck is an earlier day's (so that yesterday's cards never pass for today's), and
a failed import at start switches it off too. The next import that works switches it on again.
An item is removed as a `--deck` item is, with its files in `~/.local/share/tollamy/anki`.

The item is named after the deck, with `::` as `-` and `_` for each character that Windows does
not allow in a file name: `French::Verbs` shows as `French-Verbs`. Two decks that would make
one name (`A/B` and `A_B`), or a deck that would take the name of a `--deck` item, are refused
before any file is written, with a message that names both.
TEXT
tollamy_option --anki-profile NAME profile once tollamy_set_anki_profile "the Anki profile that --anki reads"
tollamy_doc text <<'TEXT'
The Anki profile to read. Without it the only profile there is; with several, the launcher
stops and lists them.
TEXT
tollamy_option --refresh MINUTES text once tollamy_set_refresh "imports the --anki decks again at least every MINUTES (default 10)"
tollamy_doc text <<'TEXT'
Imports every Anki deck on the screen again at least every *MINUTES* minutes (default 10,
at most 1440), as a safety net beside the watch on Anki's files; `0` turns it off.
TEXT
tollamy_option --autostart - none once tollamy_set_autostart "starts tollamy with these options at login"
tollamy_doc text <<'TEXT'
Writes the desktop's autostart entry `~/.config/autostart/tollamy.desktop` (under
`XDG_CONFIG_HOME` when that is set), which starts `tollamy` at login with the `--anki`,
`--deck`, `--anki-profile`, `--refresh` and `--vga` options given with it, and exits. Given
again, it replaces the entry.
TEXT
tollamy_option --no-autostart - none once tollamy_set_no_autostart "removes the autostart entry"
tollamy_doc text <<'TEXT'
Removes the autostart entry that `--autostart` wrote, and exits.
TEXT
tollamy_option --vga - none once tollamy_set_vga "a VGA screen: 480 × 640 pixels at 192 dpi"
tollamy_doc text <<'TEXT'
A VGA screen: 480 × 640 pixels at 192 dpi instead of 240 × 320 at 96 dpi.
TEXT
tollamy_option -h,--help - none alone tollamy_help "prints this help"
tollamy_doc text <<'TEXT'
Prints the options on one screen, and exits.
TEXT
tollamy_option --version - none alone tollamy_version "prints the version"
tollamy_doc text <<'TEXT'
Prints `tollamy` and its version, and exits.
TEXT

tollamy_doc section Keys
tollamy_doc text <<'TEXT'
Up and Down move the selection; Enter on an item opens its deck in notepad; F1 opens the
options dialog (item height, time-outs, side swapping); F2 or Esc closes the screen.
TEXT
tollamy_doc section "The screen"
tollamy_doc text <<'TEXT'
Every item shows a card from the start, and an item whose deck changes while it is not
selected shows a card of the new deck within a few seconds (`today-host --live`). When decks
are named with `--anki` or `--deck`, the Tollamy item is left out while its deck is still the
sample that the first start copied; once you change that deck, it shows.

The screen and the refresh of its Anki items (`tollamy-deck watch`) live exactly as long as
each other. Closing the screen (Exit, F2, the window's close button), `SIGTERM`, `SIGINT` or
`SIGHUP` to the launcher, and even `SIGKILL` to it, end both; a refresh that ends while the
screen is open is started again, and the launcher says so; one that cannot be started closes
the screen with a message. Wine's server ends a minute after the last program of the prefix
at the latest.

There is one screen per user and prefix. A second start while it is open leaves it alone: it
says "Tollamy is already running", and the decks it names (`--deck`, `--anki`) join the open
screen. The lock behind this is dropped by the system when the launcher ends, however it ends,
so a later start is never refused by a screen that has gone; `--autostart` and a start by hand
therefore never fight.
TEXT
tollamy_doc section Environment
tollamy_doc entry '`TOLLAMY_PREFIX`'
tollamy_doc text <<'TEXT'
The Wine prefix (default `~/.local/share/tollamy/wineprefix`).
TEXT
tollamy_doc entry '`TOLLAMY_OUT`'
tollamy_doc text <<'TEXT'
The demo's folder for its PNG files (default `~/.local/share/tollamy/demo`; `out/` for
`scripts/run`).
TEXT
tollamy_doc entry '`TOLLAMY_SCRIPT`'
tollamy_doc text <<'TEXT'
The host script that the demo runs (default `samples/demo.script`).
TEXT
tollamy_doc entry '`ANKI_BASE`'
tollamy_doc text <<'TEXT'
Anki's folder (default `~/.local/share/Anki2`, or the Flatpak's
`~/.var/app/net.ankiweb.Anki/data/Anki2`).
TEXT
tollamy_doc entry '`TOLLAMY_NOW`'
tollamy_doc text <<'TEXT'
A time in Unix seconds that replaces the clock for `--anki`. The clock stands still then: the
next change of the due cards comes as long after the start as it lies after that time.
TEXT
tollamy_doc entry '`TOLLAMY_WATCH`'
tollamy_doc text <<'TEXT'
How Anki's files are watched: `inotify` (the default) or `poll`, which looks at their time
stamps every 5 seconds. Where inotify cannot be had, or its limit of watches is reached, the
refresh says so once and looks at the time stamps instead.
TEXT
tollamy_doc section Files
tollamy_doc entry '*PREFIX*`/drive_c/Tollamy/Tollamy.txt`'
tollamy_doc text <<'TEXT'
The deck: UTF-16 little-endian with the byte-order mark, one card per line, the question, a
TAB, the answer. `tollamy-deck import` makes one from other formats.
TEXT
tollamy_doc entry '`~/.local/share/tollamy/anki/`*DECK*`.txt`'
tollamy_doc text <<'TEXT'
The due cards of `--anki` *DECK*, written again at each start and refresh (left as they are
when nothing changed). Beside it *DECK*`.source` names the Anki deck and profile, and
*DECK*`.next` holds what `tollamy-deck import --next-change` wrote at the last import.
TEXT
tollamy_doc entry '`~/.config/autostart/tollamy.desktop`'
tollamy_doc text <<'TEXT'
The autostart entry of `--autostart`.
TEXT
tollamy_doc section "Exit status"
tollamy_doc text <<'TEXT'
The host's status: 0 on success, also when a screen is open already; 1 when the screen could
not be kept current; 2 for bad arguments; 143, 130 or 129 when `SIGTERM`, `SIGINT` or `SIGHUP`
ended the launcher.
TEXT
tollamy_doc section "See also"
tollamy_doc text <<'TEXT'
[`tollamy-deck`(1)](tollamy-deck.md), `wine`(1)
TEXT

# The declaration as C++ for the Windows launcher (launcher/options.cpp): each option's names,
# value, kind, how it is given and its handler's name, and --help as it prints here.
tollamy_cpp() {
    local o
    c_string() {
        local t="${1//\\/\\\\}"
        t="${t//\"/\\\"}"
        t="${t//$'\n'/\\n}"
        printf 'L"%s"' "$t"
    }
    echo "// Made from scripts/launcher-options.sh by the build; do not edit."
    echo "const LauncherOption kLauncherOptions[] = {"
    for o in "${TOLLAMY_OPTIONS[@]}"; do
        printf '    {%s, %s, %s, %s, %s},\n' "$(c_string "${TOLLAMY_OPTION_NAMES[$o]}")" \
            "$(c_string "${TOLLAMY_OPTION_VALUE[$o]}")" "$(c_string "${TOLLAMY_OPTION_KIND[$o]}")" \
            "$(c_string "${TOLLAMY_OPTION_HOW[$o]}")" "$(c_string "${TOLLAMY_OPTION_HANDLER[$o]}")"
    done
    echo "};"
    printf 'const wchar_t kLauncherHelp[] = %s;\n' "$(c_string "$(TOLLAMY_PROGRAM=tollamy \
        TOLLAMY_HELP_FOOTER="More: README.txt, beside tollamy.exe" tollamy_help)")"
}

# Run as a program: the declaration for tollamy-surface, with the synopsis this table gives, or
# (--cpp) the C++ table of the Windows launcher.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -euo pipefail
    if [ "${1:-}" = --cpp ]; then
        tollamy_cpp
        exit 0
    fi
    while IFS= read -r form; do
        echo "synopsis $form"
    done < <(tollamy_synopsis)
    printf '%s' "$TOLLAMY_DOC"
fi
