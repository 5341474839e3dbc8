#!/bin/bash
# Plays one game of Tumbrik in a private X server as a player would: the
# title screen, a new game, moving, turning and dropping a piece, pause,
# drops until the game is over, a new game, Esc. Every step is checked on
# screenshots of the real window; the sound the game made goes to a file
# and must not be silence.
#
#   play_through.sh <tumbrik binary> <repository root> <artefacts folder> [x11|wayland]
#
# x11 (the default) plays in the X server; wayland plays in a Weston
# compositor inside it, the game seeing only WAYLAND_DISPLAY, which takes
# an SDL 1.2 with a Wayland driver (sdl12-compat).
#
# Screenshots, the game's output and its recorded sound stay in the
# artefacts folder.
set -u
[ $# -eq 3 ] || [ $# -eq 4 ] ||
    { echo "usage: $0 <tumbrik binary> <repository root> <artefacts folder> [x11|wayland]" >&2; exit 2; }
session=${4:-x11}
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
root=$(cd "$2" && pwd)
mkdir -p "$3" && art=$(cd "$3" && pwd)
rm -f "$art"/*.png
# shellcheck source=xplay.sh
. "$here/xplay.sh"

started=$(now_ms)
need_tools

# Predicates on the board of the latest screenshot.
leftmost_below() { blue_cells 4 && [ "$(board "$SHOT" | shape cols B | cut -d' ' -f1)" -lt "$1" ]; }
rightmost_above() { blue_cells 4 && [ "$(board "$SHOT" | shape cols B | cut -d' ' -f2)" -gt "$1" ]; }
pattern_not() { blue_cells 4 && [ "$(board "$SHOT" | shape norm B)" != "$1" ]; }
board_not() { [ "$(board "$SHOT")" != "$1" ]; }
landed() { [ "$(board "$SHOT" | sed -n 19p | grep -c G)" = 1 ] && [ "$(board "$SHOT" | shape n G)" = 4 ]; }
# After a hard drop: the game-over picture (then $over is set), or more
# than $1 green cells and the next piece fully in view.
after_drop() {
    is_game_over && { over=yes; return 0; }
    [ "$(board "$SHOT" | shape n G)" -gt "$1" ] && blue_cells 4
}
pause_gone() { [ "$(others "$SHOT" $PAUSE 111111 0000FF)" = 0 ]; }

# ==== Start ====

step "start: Xvfb, the game, its window ($session)"
start_x
[ "$session" = wayland ] && start_weston
start_game
find_window
expect_pictures

# ==== Title screen ====

step "title screen"
until_shot 15 title is_title || die "$why"
first=$(demo "$SHOT")
turned=""
for _ in 1 2 3 4 5; do
    sleep 0.4
    shot title-turned
    [ "$(demo "$SHOT")" != "$first" ] && { turned=yes; break; }
done
[ -n "$turned" ] || die "the demo piece did not turn in five looks 400 ms apart"

# ==== A new game ====

step "F2: a new game"
key F2
until_shot 5 new-game is_fresh_game || die "$why"
until_shot 5 piece-in-view blue_cells 4 || die "the piece did not come fully into view: $why$(show_board)"
play_shot=$SHOT
next_piece=$(preview "$SHOT" | shape canon W)

# ==== Moving and turning ====

step "Left held: the piece moves left"
read -r lo hi <<<"$(board "$SHOT" | shape cols B)"
hold Left 0.4
until_shot 3 left leftmost_below "$lo" || die "the piece stayed in columns $lo..$hi$(show_board)"

step "Right held: the piece moves right"
read -r lo hi <<<"$(board "$SHOT" | shape cols B)"
hold Right 0.4
until_shot 3 right rightmost_above "$hi" || die "the piece stayed in columns $lo..$hi$(show_board)"

step "Down: the piece turns"
before=$(board "$SHOT" | shape norm B)
key Down
if [ "$before" = "$SQUARE" ]; then
    echo "$tag: the piece is the square, which looks the same turned"
else
    until_shot 3 turned pattern_not "$before" || die "the piece kept its shape $before$(show_board)"
fi
dropped=$(board "$SHOT" | shape canon B)

# ==== Hard drop ====

step "Space: the piece lands at the bottom"
key space
until_shot 3 landed landed || die "no piece of four green cells on the bottom row$(show_board)"
[ "$(board "$SHOT" | shape canon G)" = "$dropped" ] ||
    die "the landed cells are not the piece that fell ($dropped)$(show_board)"
until_shot 5 next-in-view blue_cells 4 || die "the next piece did not come into view: $why$(show_board)"
[ "$(board "$SHOT" | shape canon B)" = "$next_piece" ] ||
    die "the new piece is not the one the preview showed ($next_piece)$(show_board)"

# ==== Pause ====

step "F3: pause"
key F3
until_shot 3 paused is_paused || die "the pause picture is not at (100, 100)"
still=$(board "$SHOT")
sleep 0.6
shot paused-later
[ "$(board "$SHOT")" = "$still" ] || die "the piece moved while paused$(show_board)"

step "F3 again: the game goes on"
key F3
until_shot 3 resumed pause_gone || die "the pause picture stayed"
still=$(board "$SHOT")
until_shot 3 falling board_not "$still" || die "the piece does not fall after the pause$(show_board)"

# ==== Game over ====

step "Space until the game is over; each new piece is the one the preview showed"
over=""
shot before-drops
for _ in $(seq 40); do
    want=$(preview "$SHOT" | shape canon W)
    greens=$(board "$SHOT" | shape n G)
    key space
    until_shot 5 drop after_drop "$greens" || die "no landing and no game-over picture$(show_board)"
    [ -n "$over" ] && break
    # A piece that landed by itself just before the drop leaves no way of
    # telling which preview the new piece came from.
    if [ "$(board "$SHOT" | shape n G)" = $((greens + 4)) ]; then
        [ "$(board "$SHOT" | shape canon B)" = "$want" ] ||
            die "the new piece is not the one the preview showed ($want)$(show_board)"
    fi
done
[ -n "$over" ] || die "no game-over picture after 40 hard drops$(show_board)"

step "the game-over screen"
for region in 400x92+8+8 400x224+8+166; do
    [ "$(count "$SHOT" $region 00FF00 0000FF)" = 0 ] || die "green or blue in the well ($region) on the game-over screen"
done
# Same words, same font, both times before any row was cleared: the
# final score on the dark well is the score line of the playing screen.
"$IM" "$SHOT" -crop 100x20+120+220 +repage -fill '#AAAAAA' -opaque '#111111' "$art/final-score.png"
[ "$(differ "$art/final-score.png" 100x20+0+0 "$play_shot" $SCORE)" = 0 ] ||
    die "the final score at (120, 220) is not drawn as the playing screen's score"

# ==== Again, and out ====

step "F2: a new game after the game over"
key F2
until_shot 5 again is_fresh_game || die "$why$(show_board)"

step "Esc: the game ends"
key Escape
wait_exit 10 || die "the game was still running 10 s after Esc"
[ "$status" = 0 ] || die "the game exited with status $status"

# ==== What the game left behind ====

step "no sanitizer reports"
if grep -E -n 'Sanitizer|runtime error:' "$art/game.stderr" >&2; then
    die "the game's stderr has sanitizer reports"
fi

step "the sound is not silence"
[ -s "$art/audio.raw" ] || die "no sound was written to audio.raw"
rms=$(sox -t raw -r 44100 -e signed -b 16 -c 2 "$art/audio.raw" -n stat 2>&1 |
    awk '/^RMS +amplitude:/ { print $3 }')
[ -n "$rms" ] || die "sox could not measure audio.raw"
awk -v r="$rms" 'BEGIN { exit !(r > 0.005) }' || die "RMS amplitude $rms, not above 0.005"

echo "$tag: passed in $(( ($(now_ms) - started) / 1000 )) s (RMS amplitude $rms)"
