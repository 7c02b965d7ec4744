# The Today screen of the launcher and, beside it, the refresh that keeps its Anki items current
# (tollamy-deck watch). prepare.sh sources it; do not run it.
#
#   tollamy_screen HOST     runs the Today host HOST with --live (a card in every item at once,
#                           a new card when a deck or the items list changes) and the refresh;
#                           returns the host's status when the screen closes
#
# The two live exactly as long as each other, however either ends:
# - the screen closing (Exit, F2, the window's close button) stops the refresh;
# - SIGTERM, SIGINT or SIGHUP to the launcher stop both (prepare.sh's tollamy_session traps);
# - SIGKILL to the launcher: both get the kernel's parent-death signal, the host through
#   setpriv, the refresh by its own link (tollamy-deck watch follows its parent);
# - the refresh ending while the screen is open: it is started again, and said so; one that
#   ends within seconds three times running cannot be started, and the screen closes.
# The refresh's schedule, its watch on Anki's files and its messages are tollamy-deck watch's;
# it shows and leaves out an item through switch-item.

TOLLAMY_HOST_PID=""
TOLLAMY_REFRESH_PID=""
TOLLAMY_REFRESH_STARTED=0
TOLLAMY_REFRESH_QUICK=0

tollamy_screen() {
    local host="$1" status=0 ended got
    setpriv --pdeathsig TERM wine "$host" --live ${TOLLAMY_HOST_ARGS[@]+"${TOLLAMY_HOST_ARGS[@]}"} &
    TOLLAMY_HOST_PID=$!
    tollamy_refresh_start
    while :; do
        ended=""
        got=0
        wait -n -p ended "$TOLLAMY_HOST_PID" ${TOLLAMY_REFRESH_PID:+"$TOLLAMY_REFRESH_PID"} ||
            got=$?
        if [ "$ended" = "$TOLLAMY_HOST_PID" ]; then
            status=$got
            break
        fi
        if [ -z "$ended" ]; then
            # A signal whose trap came back, or nothing left to wait for.
            kill -0 "$TOLLAMY_HOST_PID" 2>/dev/null && continue
            wait "$TOLLAMY_HOST_PID" 2>/dev/null || status=$?
            break
        fi
        [ "$ended" = "$TOLLAMY_REFRESH_PID" ] || continue
        TOLLAMY_REFRESH_PID=""
        if ! tollamy_refresh_again "$got"; then
            kill "$TOLLAMY_HOST_PID" 2>/dev/null || true
            wait "$TOLLAMY_HOST_PID" 2>/dev/null || true
            status=1
            break
        fi
    done
    TOLLAMY_HOST_PID=""
    tollamy_refresh_stop
    return "$status"
}

# The refresh, when there is a deck tool: every Anki item of the data folder, and those that a
# later start hands to this screen. It runs in a process group of its own (setsid execs it in
# place), so that stopping it stops a switch of an item under way too.
tollamy_refresh_start() {
    [ -n "$TOLLAMY_DECK_TOOL" ] && [ -x "$TOLLAMY_DECK_TOOL" ] || return 0
    setsid "$TOLLAMY_DECK_TOOL" watch "$TOLLAMY_ANKI_FOLDER" --refresh "$TOLLAMY_REFRESH_MINUTES" \
        --switch "$TOLLAMY_ROOT/scripts/switch-item" </dev/null &
    TOLLAMY_REFRESH_PID=$!
    printf -v TOLLAMY_REFRESH_STARTED '%(%s)T' -1
}

# The refresh ended with status $1 while the screen is open: it starts again, unless it ended
# within 10 s of its start for the third time running. False when it cannot be started.
tollamy_refresh_again() {
    local now
    printf -v now '%(%s)T' -1
    if [ $((now - TOLLAMY_REFRESH_STARTED)) -lt 10 ]; then
        TOLLAMY_REFRESH_QUICK=$((TOLLAMY_REFRESH_QUICK + 1))
    else
        TOLLAMY_REFRESH_QUICK=0
    fi
    if [ "$TOLLAMY_REFRESH_QUICK" -ge 3 ]; then
        echo "$TOLLAMY_PROGRAM: the refresh of the Anki items cannot be started (it ended at" \
            "once three times, last with status $1); the screen closes" >&2
        return 1
    fi
    echo "$TOLLAMY_PROGRAM: the refresh of the Anki items ended (status $1); it starts again" >&2
    tollamy_refresh_start
}

tollamy_refresh_stop() {
    [ -n "$TOLLAMY_REFRESH_PID" ] || return 0
    kill -- "-$TOLLAMY_REFRESH_PID" 2>/dev/null || kill "$TOLLAMY_REFRESH_PID" 2>/dev/null || true
    wait "$TOLLAMY_REFRESH_PID" 2>/dev/null || true
    TOLLAMY_REFRESH_PID=""
}

# A signal ends the launcher: the refresh, then the host; the EXIT trap stops Wine's server and
# every program of the prefix.
tollamy_screen_stop() {
    tollamy_refresh_stop
    if [ -n "$TOLLAMY_HOST_PID" ]; then
        kill "$TOLLAMY_HOST_PID" 2>/dev/null || true
        wait "$TOLLAMY_HOST_PID" 2>/dev/null || true
        TOLLAMY_HOST_PID=""
    fi
}
