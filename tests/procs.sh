# Sourced (POSIX sh, also by bash scripts) by the tests and benchmarks that
# run the real game: the private X server it runs in, and the ending of a
# process they started.

# Start Xvfb in the background, screen $2 (640x480x24 by default), on a
# display number it chooses itself, so that runs side by side never meet.
# Its display number and log go into folder $1. Sets XVFB_PID and exports
# DISPLAY; says why and returns false when it did not start within 15 s.
start_xvfb() {
    rm -f "$1/display"
    Xvfb -displayfd 3 -nolisten tcp -screen 0 "${2:-640x480x24}" \
        3>"$1/display" >"$1/xvfb.log" 2>&1 &
    XVFB_PID=$!
    xvfb_tries=0
    until grep -q '^[0-9][0-9]*$' "$1/display" 2>/dev/null; do
        xvfb_tries=$((xvfb_tries + 1))
        if [ $xvfb_tries -gt 300 ] || ! kill -0 "$XVFB_PID" 2>/dev/null; then
            echo "Xvfb did not start (its log, $1/xvfb.log):"
            cat "$1/xvfb.log"
            return 1
        fi
        sleep 0.05
    done
    DISPLAY=:$(head -n 1 "$1/display")
    export DISPLAY
}

stop_xvfb() {
    [ -n "${XVFB_PID:-}" ] || return 0
    stop_process "$XVFB_PID" 5
    XVFB_PID=
}

# Ask process $1 to end, and make it after $2 seconds: SDL turns SIGTERM
# into a quit event, which a game stuck before its next pass never reads.
# Nothing a test started outlives it.
stop_process() {
    kill "$1" 2>/dev/null || return 0
    stop_ticks=0
    while kill -0 "$1" 2>/dev/null && [ $stop_ticks -lt $(($2 * 10)) ]; do
        stop_ticks=$((stop_ticks + 1))
        sleep 0.1
    done
    kill -9 "$1" 2>/dev/null || :
    wait "$1" 2>/dev/null || :
}
