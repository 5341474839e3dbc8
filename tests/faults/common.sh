# Shared by the start-up fault rows and the leak check (sourced, POSIX sh):
# a private X server, the game started in it, and the sanitizers' verdict.
# The caller sets `here` to this folder.
. "$here/../procs.sh"

# The sanitized build reports into stderr. Leaks are looked for, with the
# system libraries' own one-time allocations suppressed; the slow unwinder
# gives whole stacks through libraries built without frame pointers, which
# the suppressions need to recognise them.
sanitizers() {
    ASAN_OPTIONS="detect_leaks=1:fast_unwind_on_malloc=0"
    LSAN_OPTIONS="suppressions=$1/lsan.supp:print_suppressions=${2:-0}"
    UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    export ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS
}

# Print what the sanitizers said in the file, if anything; true when they
# said something.
sanitizer_report() {
    grep -E "ERROR: AddressSanitizer|runtime error:|LeakSanitizer" "$1"
}

# Some machines (sandboxed ones) now and then refuse or reset a new local
# connection before the X server sees it. Each X client a test runs is
# therefore tried a few times before its failure counts.
xretry() {
    tries=0
    until "$@"; do
        tries=$((tries + 1))
        [ $tries -lt 5 ] || return 1
        sleep 0.2
    done
}

# Wait up to $2 seconds for process $1 to end; sets STATUS to its exit
# status, or returns false (leaving it running) when it doesn't end.
wait_exit() {
    ticks=0
    while kill -0 "$1" 2>/dev/null; do
        ticks=$((ticks + 1))
        [ $ticks -gt $(($2 * 10)) ] && return 1
        sleep 0.1
    done
    wait "$1"
    STATUS=$?
}

# Start game $1 in the X server with its output in $2/stdout and
# $2/stderr, and wait for its window: the caption is set once the assets
# are in. Sets GAME_PID and GAME_WINDOW and puts the pointer over the
# window (with no window manager the keyboard goes where the pointer is).
# A start that failed only to reach the X server is tried again, as above.
# False when the game ended or showed no window within a minute; then
# STATUS holds its exit status, or is empty if it still runs.
start_game() {
    starts=0
    while :; do
        "$1" >"$2/stdout" 2>"$2/stderr" </dev/null &
        GAME_PID=$! GAME_WINDOW= STATUS=
        ticks=0
        while [ -z "$GAME_WINDOW" ] && kill -0 "$GAME_PID" 2>/dev/null; do
            ticks=$((ticks + 1))
            [ $ticks -le 600 ] || return 1
            sleep 0.1
            GAME_WINDOW=$(xdotool search --name '^Tumbrik$' 2>/dev/null | head -n 1)
        done
        if [ -n "$GAME_WINDOW" ]; then
            xretry xdotool mousemove --window "$GAME_WINDOW" 200 200
            return
        fi
        wait "$GAME_PID"
        STATUS=$?
        starts=$((starts + 1))
        [ $starts -lt 5 ] && [ "$STATUS" -eq 1 ] &&
            grep -q "no graphical display found" "$2/stderr" || return 1
        echo "(the game could not reach the X server; starting it again)"
    done
}
