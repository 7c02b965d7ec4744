# The Today screen of the launcher, and the refresh that keeps its Anki items current while it
# is open. prepare.sh sources it; do not run it.
#
#   tollamy_screen HOST     runs the Today host HOST with --live (a card in every item at once,
#                           a new card when a deck changes) and, beside it, the refresh of the
#                           Anki items; returns the host's status when the screen closes
#
# The refresh is one background process. It imports each Anki item again (tollamy_anki_import_one)
# - at the moment `tollamy-deck import --next-change` named: the rollover, or a learning card
#   coming within the learn-ahead limit;
# - within 10 seconds of a change to a profile's collection.anki2 or its -wal, or of a new file in
#   its backups/ folder: a change starts a wait of 2 quiet seconds, 8 at most, so that a burst of
#   writes gives one import;
# - at least every --refresh minutes (TOLLAMY_REFRESH_MINUTES, 0: never);
# - after a failure, 1 minute later, then 2, 4 and 8, then every 10 minutes, and at the rollover.
# It watches the folders with inotifywait where that is installed (TOLLAMY_WATCH=poll makes it
# look at the files' time stamps every 5 seconds instead), and sleeps in between: it wakes at the
# next of those moments, and at least once a minute, so that the time after a suspend is seen.
# A failed import keeps the last deck and says why; the item is switched off only when its deck
# is from an earlier day, and switched on again by the next import that works. The host reads
# a changed deck by itself, and a changed Today items list too (today-host --live).
#
# Nothing is left behind: the refresh ends with the screen (its watcher with it), however the
# screen closes, and SIGTERM, SIGINT or SIGHUP to the launcher close the screen first.

TOLLAMY_HOST_PID=""
TOLLAMY_REFRESH_PID=""

tollamy_screen() {
    local host="$1" status=0
    wine "$host" --live ${TOLLAMY_HOST_ARGS[@]+"${TOLLAMY_HOST_ARGS[@]}"} &
    TOLLAMY_HOST_PID=$!
    trap 'tollamy_screen_end 143' TERM
    trap 'tollamy_screen_end 130' INT
    trap 'tollamy_screen_end 129' HUP
    tollamy_refresh_start
    wait "$TOLLAMY_HOST_PID" || status=$?
    trap - TERM INT HUP
    tollamy_refresh_stop
    return "$status"
}

# A signal ends the launcher: the refresh first, then the host; the EXIT trap stops Wine's
# server and every program of the prefix.
tollamy_screen_end() {
    tollamy_refresh_stop
    kill "$TOLLAMY_HOST_PID" 2>/dev/null || true
    wait "$TOLLAMY_HOST_PID" 2>/dev/null || true
    exit "$1"
}

tollamy_refresh_start() {
    [ ${#TOLLAMY_ANKI_ITEMS[@]} -gt 0 ] || return 0
    tollamy_refresh_loop </dev/null &
    TOLLAMY_REFRESH_PID=$!
}

tollamy_refresh_stop() {
    [ -n "$TOLLAMY_REFRESH_PID" ] || return 0
    kill "$TOLLAMY_REFRESH_PID" 2>/dev/null || true
    wait "$TOLLAMY_REFRESH_PID" 2>/dev/null || true
    TOLLAMY_REFRESH_PID=""
}

# The refresh itself, in a process of its own. Its state, per item index i: due[i] the moment
# of the next change, day[i] the moment its deck becomes an earlier day's, last[i] its last
# import, retry[i] and delay[i] the next try after a failure, folder[i] its profile's folder;
# per profile folder, pending (when a change is to be imported) and first (the change that
# started the wait). Times are Unix seconds of the system's clock.
tollamy_refresh_loop() {
    local -a names=("${TOLLAMY_ANKI_ITEMS[@]}") due=() day=() last=() retry=() delay=() folder=()
    local -a off=()
    local -A pending=() first=() stamps=()
    local interval=$((TOLLAMY_REFRESH_MINUTES * 60)) mode="${TOLLAMY_WATCH:-inotify}"
    local now i watching="" wanted line wake timer=""
    # A failed step is handled where it happens; the loop itself goes on.
    set +eu
    trap 'tollamy_refresh_quit' TERM INT HUP
    [ "$mode" = inotify ] && ! command -v inotifywait >/dev/null && mode=poll
    printf -v now '%(%s)T' -1
    for i in "${!names[@]}"; do
        last[i]=$now
        delay[i]=60
        if printf '%s\n' ${TOLLAMY_ANKI_SHOWN[@]+"${TOLLAMY_ANKI_SHOWN[@]}"} |
            grep -qxF "${names[i]}"; then
            tollamy_refresh_read "$i"
        else
            retry[i]=$((now + delay[i]))
            off[i]=1 # tollamy_item_entries switched it off
        fi
    done
    while :; do
        printf -v now '%(%s)T' -1
        for i in "${!names[@]}"; do
            if tollamy_refresh_wanted "$i"; then
                tollamy_refresh_item "$i"
            fi
        done
        for i in "${!pending[@]}"; do
            if [ "${pending[$i]}" -le "$now" ]; then
                unset 'pending[$i]' 'first[$i]'
            fi
        done
        wanted="$(tollamy_refresh_folders)"
        if [ "$mode" = inotify ] && [ "$wanted" != "$watching" ]; then
            tollamy_refresh_watch "$wanted" || mode=poll
            watching="$wanted"
        fi
        [ "$mode" = poll ] && tollamy_refresh_poll
        wake=$(tollamy_refresh_wake)
        printf -v now '%(%s)T' -1
        [ "$wake" -gt "$now" ] || continue
        if [ "$mode" = inotify ] && [ -n "${TOLLAMY_WATCH_PID:-}" ]; then
            if read -r -t "$((wake - now))" -u "${TOLLAMY_WATCH[0]:-}" line; then
                tollamy_refresh_event "$line"
            elif [ $? -le 128 ]; then
                # The watcher ended (a folder went away): the time stamps instead.
                echo "$TOLLAMY_PROGRAM: Anki's files are no longer watched; looking at them" \
                    "every 5 seconds instead" >&2
                tollamy_refresh_unwatch
                mode=poll
            fi
        else
            sleep "$((wake - now))" &
            timer=$!
            wait "$timer" || true
            timer=""
        fi
    done
}

tollamy_refresh_quit() {
    if [ -n "$timer" ]; then
        kill "$timer" 2>/dev/null
        wait "$timer" 2>/dev/null
    fi
    tollamy_refresh_unwatch
    exit 0
}

# True when item $1 is to be imported now.
tollamy_refresh_wanted() {
    local f="${folder[$1]:-}"
    { [ -n "$f" ] && [ -n "${pending[$f]:-}" ] && [ "${pending[$f]}" -le "$now" ]; } ||
        { [ -n "${due[$1]:-}" ] && [ "${due[$1]}" -le "$now" ]; } ||
        { [ -n "${retry[$1]:-}" ] && [ "${retry[$1]}" -le "$now" ]; } ||
        { [ "$interval" -gt 0 ] && [ $((last[$1] + interval)) -le "$now" ]; }
}

# The next moment at which something is due, at most a minute away (5 seconds when polling).
tollamy_refresh_wake() {
    local wake=$((now + 60)) i t
    [ "$mode" = poll ] && wake=$((now + 5))
    for i in "${!names[@]}"; do
        for t in "${due[i]:-}" "${retry[i]:-}"; do
            [ -n "$t" ] && [ "$t" -lt "$wake" ] && wake=$t
        done
        [ "$interval" -gt 0 ] && [ $((last[i] + interval)) -lt "$wake" ] &&
            wake=$((last[i] + interval))
    done
    for t in "${pending[@]}"; do
        [ "$t" -lt "$wake" ] && wake=$t
    done
    echo "$wake"
}

# After a good import of item $1: when its cards change next, when its day ends, and its
# profile's folder, from NAME.next. TOLLAMY_NOW stands for the tool's clock: the moments lie as
# far ahead as they lie after it.
tollamy_refresh_read() {
    local change rollover path clock="${TOLLAMY_NOW:-$now}"
    unset 'retry[$1]'
    delay[$1]=60
    if read -r change rollover path <"$TOLLAMY_ANKI_FOLDER/${names[$1]}.next" &&
        [[ "$change" =~ ^[0-9]+$ ]] && [[ "$rollover" =~ ^[0-9]+$ ]]; then
        due[$1]=$((now + change - clock))
        day[$1]=$((now + rollover - clock))
        folder[$1]="$(dirname "$path")"
    else
        unset 'due[$1]'
    fi
}

# Imports item $1 again and tells what came of it.
tollamy_refresh_item() {
    local name="${names[$1]}" deck dll
    deck="${TOLLAMY_ANKI_DECK_OF[$name]}"
    dll="C:\\Tollamy\\decks\\$name.dll"
    last[$1]=$now
    if tollamy_anki_import_one "$name"; then
        case "$TOLLAMY_ANKI_LOG" in
        *"(unchanged)"*) ;;
        *) printf '%s\n' "$TOLLAMY_ANKI_LOG" >&2 ;;
        esac
        if [ -n "${off[$1]:-}" ]; then
            tollamy_switch_item "$name" "$dll" 1
            unset 'off[$1]'
            echo "$TOLLAMY_PROGRAM: the Anki deck $deck is switched on again" >&2
        fi
        tollamy_refresh_read "$1"
        return
    fi
    # Tried again later, and at the latest when the deck becomes an earlier day's.
    unset 'due[$1]'
    [ -n "${day[$1]:-}" ] && [ "${day[$1]}" -gt "$now" ] && due[$1]=${day[$1]}
    retry[$1]=$((now + delay[$1]))
    delay[$1]=$((delay[$1] * 2 > 600 ? 600 : delay[$1] * 2))
    if [ -n "${day[$1]:-}" ] && [ "${day[$1]}" -le "$now" ]; then
        if [ -z "${off[$1]:-}" ]; then
            tollamy_switch_item "$name" "$dll" 0
            off[$1]=1
            echo "$TOLLAMY_PROGRAM: the Anki deck $deck is switched off: its cards are an" \
                "earlier day's, and they could not be imported again: $(tollamy_anki_why)" >&2
        fi
    else
        echo "$TOLLAMY_PROGRAM: the Anki deck $deck could not be imported again; its last" \
            "cards stay: $(tollamy_anki_why)" >&2
    fi
}

# The profile folders to watch, one a line: each folder, and its backups/ when there is one.
tollamy_refresh_folders() {
    local f
    printf '%s\n' ${folder[@]+"${folder[@]}"} | sort -u | while IFS= read -r f; do
        [ -d "$f" ] || continue
        echo "$f"
        [ -d "$f/backups" ] && echo "$f/backups"
    done
}

# (Re)starts the watcher on the folders $1 (one a line); false when none can be watched.
tollamy_refresh_watch() {
    local -a dirs=()
    tollamy_refresh_unwatch
    mapfile -t dirs <<<"$1"
    [ -n "${dirs[0]:-}" ] || return 0
    coproc TOLLAMY_WATCH {
        exec inotifywait -m -q -e modify,close_write,moved_to,create,delete --format '%w%f' \
            -- "${dirs[@]}" 2>/dev/null
    }
}

tollamy_refresh_unwatch() {
    if [ -n "${TOLLAMY_WATCH_PID:-}" ]; then
        kill "$TOLLAMY_WATCH_PID" 2>/dev/null || true
        wait "$TOLLAMY_WATCH_PID" 2>/dev/null || true
    fi
}

# A change at path $1: a profile's collection or its log, or anything in its backups/.
tollamy_refresh_event() {
    local dir="${1%/*}" base="${1##*/}" f
    for f in ${folder[@]+"${folder[@]}"}; do
        if [ "$dir" = "$f/backups" ]; then
            tollamy_refresh_changed "$f"
        elif [ "$dir" = "$f" ]; then
            case "$base" in
            collection.anki2 | collection.anki2-wal | backups) tollamy_refresh_changed "$f" ;;
            esac
        fi
    done
}

# Profile folder $1 changed now: its import waits for 2 quiet seconds, 8 at most.
tollamy_refresh_changed() {
    [ -n "${first[$1]:-}" ] || first[$1]=$now
    pending[$1]=$((now + 2 < first[$1] + 8 ? now + 2 : first[$1] + 8))
}

# Without inotify: each profile's files by their time stamps and sizes.
tollamy_refresh_poll() {
    local f stamp
    while IFS= read -r f; do
        stamp="$(stat -c '%n %.9Y %s' -- "$f/collection.anki2" "$f/collection.anki2-wal" \
            "$f/backups" 2>/dev/null)"
        if [ -n "${stamps[$f]+set}" ] && [ "${stamps[$f]}" != "$stamp" ]; then
            tollamy_refresh_changed "$f"
        fi
        stamps[$f]="$stamp"
    done < <(printf '%s\n' ${folder[@]+"${folder[@]}"} | sort -u | grep .)
}
