#!/bin/sh
# A whole game in the real binary under a private Xvfb, with sound on SDL's
# dummy audio driver so that the music and the chime are loaded, played
# and freed: F2, a few moves and turns, hard drops until the game is over,
# F2 again, Escape. LeakSanitizer (in the sanitized build) then looks for
# anything left unfreed; only the suppressions in lsan.supp are allowed,
# and they are printed so that the log shows what they hid.
#
#   leaks.sh <game> <asset-root>
set -u
game=$1 root=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"

log=$(mktemp -d)
trap 'stop_xvfb; rm -rf "$log"' EXIT
cd "$root" || exit 2
unset SDL_VIDEODRIVER
SDL_AUDIODRIVER=dummy
export SDL_AUDIODRIVER
sanitizers "$here" 1

start_xvfb "$log" || exit 1
fail() {
    echo "FAIL: $1"
    [ -z "$STATUS" ] && stop_process "$GAME_PID" 2
    cat "$log/stderr"
    exit 1
}
start_game "$game" "$log" || fail "the game's window did not appear"

# The bottom of the well, 90 pixels high: all of the well's own dark grey
# on the game-over screen; the title, and a running game once a piece has
# landed, show green there.
game_over() {
    [ "$(xretry import -window root -crop 400x90+8+300 +repage -depth 8 \
             -format '%k %[hex:p{0,0}]' info: 2>/dev/null)" = "1 111111" ]
}

xretry xdotool key F2
sleep 0.3
xretry xdotool keydown Left
sleep 0.3
xretry xdotool keyup Left keydown Right
sleep 0.3
xretry xdotool keyup Right key --delay 100 Down Down
drops=0
while :; do
    xretry xdotool key space
    sleep 0.15
    drops=$((drops + 1))
    game_over && break
    [ $drops -lt 60 ] || fail "60 hard drops and the game is not over"
done
echo "game over after $drops hard drops"
xretry xdotool key F2
sleep 0.3
xretry xdotool key --delay 100 Right space Escape
wait_exit "$GAME_PID" 60 || fail "the game did not end after Escape"

echo "---- exit status $STATUS; stderr:"
cat "$log/stderr"
if sanitizer_report "$log/stderr" >/dev/null; then
    echo "FAIL: a sanitizer report"
    exit 1
fi
[ "$STATUS" -eq 0 ] || { echo "FAIL: exit status $STATUS"; exit 1; }
