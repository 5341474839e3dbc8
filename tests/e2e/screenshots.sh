#!/bin/bash
# Makes the README's pictures from the real game in a private X server:
# title.png, playing.png (a few pieces landed and a row cleared) and
# gameover.png, each the whole 580 x 400 window.
#
#   screenshots.sh <tumbrik binary> <repository root> <output folder> [<scratch folder>]
#
# or `cmake --build <build folder> --target screenshots`, which writes docs/.
#
# To clear a row it plays properly: for each piece it tries every turn
# and column on the board it sees and takes the placement that leaves the
# pile lowest and with the fewest holes.
set -u
[ $# -ge 3 ] || { echo "usage: $0 <tumbrik binary> <repository root> <output folder> [<scratch folder>]" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
root=$(cd "$2" && pwd)
mkdir -p "$3" && out=$(cd "$3" && pwd)
scratch=""
if [ $# -ge 4 ]; then
    mkdir -p "$4" && art=$(cd "$4" && pwd)
    rm -f "$art"/*.png
else
    art=$(mktemp -d) && scratch=$art
fi
# shellcheck source=xplay.sh
. "$here/xplay.sh"

need_tools

# keep NAME: the latest screenshot as NAME.png, without metadata.
keep() { "$IM" "$SHOT" -strip "$out/$1.png" || die "could not write $out/$1.png"; }

# ==== Choosing where a piece goes ====

# plan: reads the board (G pile, B piece) and prints "TURNS COLUMN": how
# many clockwise quarter turns to give the piece and the column its
# leftmost cell should end in. Each placement is dropped straight down,
# full rows are taken out, and the pile is scored by its total height,
# its holes and how uneven its top is, against the rows it cleared.
plan() {
    awk '
        { line[NR - 1] = $0 }
        function fits(top, left,   i, r) {
            for (i = 1; i <= n; i++) {
                r = top + qr[i]
                if (r >= H || (r >= 0 && g[r, left + qc[i]])) return 0
            }
            return 1
        }
        function score(top, left,   i, r, c, full, rows, k, h, holes, total, bumps, seen, prev) {
            for (r = 0; r < H; r++) for (c = 0; c < W; c++) t[r, c] = g[r, c]
            for (i = 1; i <= n; i++) t[top + qr[i], left + qc[i]] = 1
            rows = 0
            k = H - 1
            for (r = H - 1; r >= 0; r--) {
                full = 1
                for (c = 0; c < W; c++) if (!t[r, c]) full = 0
                if (full) { rows++; continue }
                for (c = 0; c < W; c++) u[k, c] = t[r, c]
                k--
            }
            for (; k >= 0; k--) for (c = 0; c < W; c++) u[k, c] = 0
            holes = total = bumps = 0
            for (c = 0; c < W; c++) {
                h = 0; seen = 0
                for (r = 0; r < H; r++) {
                    if (u[r, c] && !seen) { h = H - r; seen = 1 }
                    if (!u[r, c] && seen) holes++
                }
                total += h
                if (c > 0) bumps += (h > prev ? h - prev : prev - h)
                prev = h
            }
            return 0.76 * rows - 0.51 * total - 0.36 * holes - 0.18 * bumps
        }
        END {
            H = NR; W = 20
            for (r = 0; r < H; r++)
                for (c = 0; c < W; c++) {
                    ch = substr(line[r], c + 1, 1)
                    g[r, c] = (ch == "G")
                    if (ch == "B") { n++; pr[n] = r; pc[n] = c }
                }
            best = -1e9; bestTurns = 0; bestLeft = 0
            for (turns = 0; turns < 4; turns++) {
                mr = mc = 1e9; wide = 0
                for (i = 1; i <= n; i++) { if (pr[i] < mr) mr = pr[i]; if (pc[i] < mc) mc = pc[i] }
                for (i = 1; i <= n; i++) {
                    qr[i] = pr[i] - mr; qc[i] = pc[i] - mc
                    if (qc[i] + 1 > wide) wide = qc[i] + 1
                }
                for (left = 0; left + wide <= W; left++) {
                    if (!fits(0, left)) continue
                    for (top = 0; fits(top + 1, left); top++) ;
                    s = score(top, left)
                    if (s > best) { best = s; bestTurns = turns; bestLeft = left }
                }
                for (i = 1; i <= n; i++) { t0 = pr[i]; pr[i] = pc[i]; pc[i] = -t0 }
            }
            print bestTurns, bestLeft
        }'
}

# ==== Steering a piece ====

leftmost() { board "$SHOT" | shape cols B | cut -d' ' -f1; }
leftmost_is() { blue_cells 4 && [ "$(leftmost)" = "$1" ]; }
# The pile changed from $1 green cells and the next piece is in view.
landed_on() { [ "$(board "$SHOT" | shape n G)" != "$1" ] && blue_cells 4; }
turned_from() { blue_cells 4 && [ "$(board "$SHOT" | shape norm B)" != "$1" ]; }

# Turn the piece on the latest screenshot $1 times, then move it until its
# leftmost cell is in column $2: held keys on the way, short taps at the
# end so as not to overshoot. It keeps falling meanwhile, and stays where
# it got to if the game would not let it go further.
steer() {
    local turns=$1 target=$2 before lo dir k
    for ((k = 0; k < turns; k++)); do
        before=$(board "$SHOT" | shape norm B)
        [ "$before" = "$SQUARE" ] && break
        key Down
        until_shot 2 turn turned_from "$before" || return
    done
    for _ in $(seq 12); do
        lo=$(leftmost)
        [ "$lo" = "$target" ] && return
        dir=Right
        [ "$lo" -gt "$target" ] && dir=Left
        if [ $((lo - target)) -gt 1 ] || [ $((target - lo)) -gt 1 ]; then
            xdotool keydown "$dir"
            until_shot 3 move leftmost_is "$target"
            xdotool keyup "$dir"
        else
            hold "$dir" 0.04
        fi
        shot moved
    done
}

# ==== The pictures ====

step "start: Xvfb, the game, its window"
start_x
start_game
find_window
expect_pictures

step "title.png"
until_shot 15 title is_title || die "$why"
keep title

step "playing.png: pieces placed until a row is cleared"
key F2
until_shot 5 new-game is_fresh_game || die "$why"
cleared=""
for _ in $(seq 60); do
    until_shot 5 piece blue_cells 4 || die "no piece in view$(show_board)"
    greens=$(board "$SHOT" | shape n G)
    read -r turns target <<<"$(board "$SHOT" | plan)"
    steer "$turns" "$target"
    key space
    until_shot 5 landed landed_on "$greens" || die "no landing, or no next piece in view$(show_board)"
    [ "$(board "$SHOT" | shape n G)" -lt $((greens + 4)) ] && { cleared=yes; break; }
done
[ -n "$cleared" ] || die "no row cleared in 60 pieces"
# Let the next piece come a little way down the well.
sleep 1
shot playing
keep playing

step "gameover.png"
for _ in $(seq 60); do
    key space
    sleep 0.2
    shot drop
    is_game_over && break
done
is_game_over || die "no game-over picture after 60 hard drops"
keep gameover

key Escape
wait_exit 10 || die "the game was still running 10 s after Esc"
[ -z "$scratch" ] || rm -rf "$scratch"
echo "$tag: title.png, playing.png and gameover.png are in $out"
