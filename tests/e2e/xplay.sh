# shellcheck shell=bash disable=SC2034,SC2154
# (variables pass both ways between this file and the script that sources it)
#
# Sourced by play_through.sh and screenshots.sh: a private X server, the
# real game in it, keys typed into its window, and its screenshots read
# back as colours, as boards of cells and as piece shapes.
#
# The caller sets `bin` (the game, an absolute path), `root` (the
# repository, the game's working folder), `art` (a folder for the
# screenshots and logs) and `session`, then calls start_x, start_game and
# find_window.
#
# session x11: the game is a client of the X server.
# session wayland: the game is a client of a Weston compositor that runs
# as a window of the X server, and has no DISPLAY; keys go into Weston's
# window and the screenshots are of it (start_weston).
session=${session:-x11}

# shellcheck source=../sdllib.sh
. "$(dirname "${BASH_SOURCE[0]}")/../sdllib.sh"
# shellcheck source=../procs.sh
. "$(dirname "${BASH_SOURCE[0]}")/../procs.sh"

# ==== Tools ====

# shellcheck source=../im6.sh
. "$(dirname "${BASH_SOURCE[0]}")/../im6.sh"

need_tools() {
    local t missing=""
    for t in Xvfb xdotool xwininfo import "$IM" "$CMP" sox timeout \
        $([ "$session" = wayland ] && echo weston); do
        command -v "$t" >/dev/null 2>&1 || missing="$missing $t"
    done
    [ -z "$missing" ] || die "missing tools:$missing (./deps.sh test installs them)"
}

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

# ==== Failure and clean-up ====

# Every failure names the step it happened in, shows what the game said
# and leaves the screenshots where they were taken.
tag=$(basename "$0" .sh)
step_name="start-up"
step() {
    step_name=$1
    echo "$tag: $1"
}

die() {
    echo "$tag: FAILED in step '$step_name': $*" >&2
    if [ -s "$art/game.stderr" ]; then
        echo "$tag: --- the game's stderr ---" >&2
        cat "$art/game.stderr" >&2
    fi
    echo "$tag: screenshots and logs are in $art" >&2
    exit 1
}

game_pid=""
weston_pid=""
wl_runtime=""

# Whatever happens, neither the game nor the X server outlives the script.
cleanup() {
    [ -n "$game_pid" ] && stop_process "$game_pid" 5
    [ -n "$weston_pid" ] && stop_process "$weston_pid" 5
    stop_xvfb
    [ -n "$wl_runtime" ] && rm -rf "$wl_runtime"
}
trap cleanup EXIT
trap 'exit 2' HUP INT TERM

# ==== The X server and the game ====

# The X server, with room for Weston's window, or the test fails.
start_x() {
    start_xvfb "$art" 1024x768x24 || die "Xvfb did not start"
}

# Weston in a window of the X server, with one output of the game's size
# in its kiosk shell, which shows its one client over the whole output:
# Weston's window then shows the game's frame pixel for pixel (the pixman
# renderer copies without scaling). Its socket has a name of its own in a
# private runtime folder. Sets wl_socket, wl_runtime and weston_win.
start_weston() {
    local end
    wl_runtime=$(mktemp -d) && chmod 700 "$wl_runtime" || die "no runtime folder for Weston"
    wl_socket=tumbrik-e2e-$$
    XDG_RUNTIME_DIR=$wl_runtime weston --no-config --backend=x11-backend.so \
        --shell=kiosk-shell.so --width=580 --height=400 --use-pixman --idle-time=0 \
        --socket="$wl_socket" >"$art/weston.log" 2>&1 &
    weston_pid=$!
    end=$(( $(now_ms) + 15000 ))
    weston_win=""
    until [ -S "$wl_runtime/$wl_socket" ] && [ -n "$weston_win" ]; do
        kill -0 "$weston_pid" 2>/dev/null || { weston_pid=""; die "Weston stopped (see weston.log)"; }
        [ "$(now_ms)" -lt "$end" ] || die "Weston showed no window and no socket within 15 s"
        sleep 0.05
        weston_win=$(xdotool search --classname '^weston' 2>/dev/null | head -n 1)
    done
}

# The game from the repository root, its sound going to a file, on the
# session's display. Leaks are another test's business; any other
# sanitizer report fails this one. The caches that SDL 2's OpenGL renderer
# keeps (sdl12-compat) go into the artefacts folder, not the user's home.
start_game() {
    local display_env=(-u WAYLAND_DISPLAY)
    [ "$session" = wayland ] &&
        display_env=(-u DISPLAY WAYLAND_DISPLAY="$wl_socket" XDG_RUNTIME_DIR="$wl_runtime")
    rm -f "$art/audio.raw"
    mkdir -p "$art/cache" || die "no cache folder in $art"
    (
        cd "$root" || exit 1
        exec env -u SDL_VIDEODRIVER "${display_env[@]}" XDG_CACHE_HOME="$art/cache" \
            ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
            UBSAN_OPTIONS="${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}print_stacktrace=1" \
            SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$art/audio.raw" SDL_DISKAUDIODELAY=46 \
            "$bin"
    ) >"$art/game.stdout" 2>"$art/game.stderr" &
    game_pid=$!
}

# Stop with the game's own exit status if it is gone.
expect_alive() {
    kill -0 "$game_pid" 2>/dev/null && return 0
    wait "$game_pid"
    status=$?
    game_pid=""
    die "the game exited by itself (status $status)"
}

# Wait up to $1 seconds for the game to end; its status in $status.
wait_exit() {
    local end
    end=$(( $(now_ms) + $1 * 1000 ))
    while kill -0 "$game_pid" 2>/dev/null; do
        [ "$(now_ms)" -lt "$end" ] || return 1
        sleep 0.05
    done
    wait "$game_pid"
    status=$?
    game_pid=""
    return 0
}

# The game's window: `win`, 580 x 400 and with the keyboard's focus, on
# the game's own library. A loaded machine now and then resets a new X
# connection; the game then stops at once saying the display does not
# answer. Start it again then, up to three times; any other early end
# fails the test.
find_window() {
    local size tries=1
    if [ "$session" = wayland ]; then
        find_wayland_window
        return
    fi
    while :; do
        win=$(timeout 30 xdotool search --sync --limit 1 --name '^Tumbrik$' 2>/dev/null | head -n 1)
        [ -n "$win" ] && break
        if [ "$tries" -lt 3 ] && ! kill -0 "$game_pid" 2>/dev/null &&
            grep -q "does not answer" "$art/game.stderr"; then
            wait "$game_pid"
            tries=$((tries + 1))
            start_game
            continue
        fi
        expect_alive
        die "no window named Tumbrik within 30 s"
    done
    size=$(xwininfo -id "$win" | awk '/ Width:/ { w = $2 } / Height:/ { h = $2 } END { print w "x" h }')
    [ "$size" = 580x400 ] || die "the window is $size, not 580x400"
    timeout 10 xdotool windowfocus --sync "$win" || die "the window would not take the focus"
    expect_sdl "$(sdl_in_maps "$game_pid")" || die "the game runs on the wrong libSDL-1.2"
}

# On Wayland, Weston's window is the game's once the game's grey shows in
# it. Weston gives the keyboard to the game on a click; it is made at the
# right edge, where the pointer Weston draws stays out of every check.
find_wayland_window() {
    local end
    win=$weston_win
    end=$(( $(now_ms) + 30000 ))
    until [ "$(import -window "$win" -crop 1x1+2+2 -depth 8 -format '%[hex:p{0,0}]' info: 2>/dev/null | cut -c1-6)" = AAAAAA ]; do
        expect_alive
        [ "$(now_ms)" -lt "$end" ] || die "the game showed nothing in Weston within 30 s"
        sleep 0.1
    done
    timeout 10 xdotool windowfocus --sync "$win" || die "Weston's window would not take the focus"
    xdotool mousemove --window "$win" 577 200 click 1 || die "xdotool could not click into Weston"
    expect_sdl "$(sdl_in_maps "$game_pid")" || die "the game runs on the wrong libSDL-1.2"
}

# ==== Keys ====

key() { xdotool key "$@" || die "xdotool could not type $*"; }

# Hold a key for $2 seconds.
hold() {
    xdotool keydown "$1" || die "xdotool could not press $1"
    sleep "$2"
    xdotool keyup "$1" || die "xdotool could not release $1"
}

# ==== Screenshots ====

# shot NAME: the window into $art as NNN-NAME.png, its path in $SHOT.
shot_no=0
shot() {
    shot_no=$((shot_no + 1))
    SHOT=$(printf '%s/%03d-%s.png' "$art" "$shot_no" "$1")
    import -window "$win" "$SHOT" 2>>"$art/import.log" ||
        import -window "$win" "$SHOT" 2>>"$art/import.log" ||
        { expect_alive; die "import could not take a screenshot"; }
}

# until_shot SECONDS NAME PREDICATE [ARGS]: take screenshots until
# PREDICATE [ARGS] holds for $SHOT, for at most SECONDS. On a timeout it
# returns 1, the last screenshot in $SHOT and the predicate's $why.
until_shot() {
    local end name
    end=$(( $(now_ms) + $1 * 1000 ))
    name=$2
    shift 2
    while :; do
        expect_alive
        shot "$name"
        why=""
        "$@" && return 0
        [ "$(now_ms)" -lt "$end" ] || return 1
        sleep 0.05
    done
}

# ==== Reading pixels ====

# pixel FILE X Y: the colour as RRGGBB.
pixel() {
    "$IM" "$1" -format "%[hex:p{$2,$3}]" info: | cut -c1-6
}

# hist FILE GEOM: "COUNT RRGGBB" for each colour in the region WxH+X+Y.
hist() {
    "$IM" "$1" -crop "$2" +repage -depth 8 -format %c histogram:info:- |
        awk '{ sub(":", "", $1); sub("#", "", $3); print $1, substr($3, 1, 6) }'
}

# count FILE GEOM RRGGBB...: pixels of the region in any of the colours.
# others FILE GEOM RRGGBB...: pixels of the region in none of them.
count() {
    local f=$1 g=$2
    shift 2
    hist "$f" "$g" | awk -v want=" $* " 'index(want, " " $2 " ") { n += $1 } END { print n + 0 }'
}
others() {
    local f=$1 g=$2
    shift 2
    hist "$f" "$g" | awk -v want=" $* " '!index(want, " " $2 " ") { n += $1 } END { print n + 0 }'
}

# differ A GEOM_A B GEOM_B: how many pixels of two equal-sized regions differ.
differ() {
    "$IM" "$1" -crop "$2" +repage "$art/differ-a.png"
    "$IM" "$3" -crop "$4" +repage "$art/differ-b.png"
    "$CMP" -metric AE "$art/differ-a.png" "$art/differ-b.png" null: 2>&1 | cut -d' ' -f1
}

# keyed PICTURE OUT: what the game shows when it draws the picture, keyed
# on magenta, over the well's colour.
keyed() {
    "$IM" "$1" -transparent '#FF00FF' -background '#111111' -flatten "$2"
}

# cells FILE GEOM COLSxROWS: the colour at the middle of each cell of a
# grid laid over the region, a line a row: '.' the well or the window
# grey, G green, B blue, W white, ? anything else.
cells() {
    "$IM" "$1" -crop "$2" +repage -sample "$3!" -depth 8 txt:- | awk '
        NR > 1 {
            split($1, p, /[,:]/)
            c = $3
            m = "?"
            if (c == "#111111" || c == "#AAAAAA") m = "."
            if (c == "#00FF00") m = "G"
            if (c == "#0000FF") m = "B"
            if (c == "#FFFFFF") m = "W"
            row[p[2]] = row[p[2]] m
            if (p[2] > last) last = p[2]
        }
        END { for (r = 0; r <= last; r++) print row[r] }'
}

# The well's 20 x 19 cells, and the 4 x 2 cells of the preview.
board() { cells "$1" 400x380+8+10 20x19; }
preview() { cells "$1" 80x40+430+180 4x2; }

# shape WHAT CHAR: about the cells marked CHAR in the grid on stdin:
#   n      how many there are
#   cols   the leftmost and the rightmost column
#   norm   their pattern moved into the top left corner, "rr,cc ..." sorted
#   canon  the least norm of the pattern's four quarter turns, the same
#          for a piece in any orientation
shape() {
    awk -v what="$1" -v ch="$2" '
        {
            for (c = 1; c <= length($0); c++)
                if (substr($0, c, 1) == ch) { n++; R[n] = NR - 1; C[n] = c - 1 }
        }
        function norm(   i, j, t, mr, mc, a, s) {
            mr = mc = 1e9
            for (i = 1; i <= n; i++) { if (R[i] < mr) mr = R[i]; if (C[i] < mc) mc = C[i] }
            for (i = 1; i <= n; i++) a[i] = sprintf("%02d,%02d", R[i] - mr, C[i] - mc)
            for (i = 2; i <= n; i++) {
                t = a[i]
                for (j = i - 1; j >= 1 && a[j] > t; j--) a[j + 1] = a[j]
                a[j + 1] = t
            }
            for (i = 1; i <= n; i++) s = s (i > 1 ? " " : "") a[i]
            return s
        }
        END {
            if (what == "n") print n + 0
            if (what == "cols") {
                lo = 99; hi = -1
                for (i = 1; i <= n; i++) { if (C[i] < lo) lo = C[i]; if (C[i] > hi) hi = C[i] }
                print lo, hi
            }
            if (what == "norm") print norm()
            if (what == "canon") {
                best = norm()
                for (k = 1; k < 4; k++) {
                    for (i = 1; i <= n; i++) { t = R[i]; R[i] = C[i]; C[i] = -t }
                    s = norm()
                    if (s < best) best = s
                }
                print best
            }
        }'
}

# The four cells of the square, in any orientation.
SQUARE="00,00 00,01 01,00 01,01"

# ==== The game's screens ====

# The title's still pile, rows 14..18 of the well: a hole in row 16 and
# the last column empty.
PILE=".G..................
GGGGGGGG......GGGG..
GGGG.GGGGGGGGGGGGGG.
GGGGGGGGGGGGGGGGGGG.
GGGGGGGGGGGGGGGGGGG."

WELL=400x382+8+8            # the whole well, the frame's dark rectangle
PREVIEW=80x40+430+180       # where the next piece is shown
SCORE=100x20+430+240        # the score line beside the well
OVER=276x66+70+100          # the game-over picture
PAUSE=216x110+100+100       # the pause picture

is_title() {
    local b
    b=$(board "$SHOT")
    [ "$(pixel "$SHOT" 20 380)" = 00FF00 ] || { why="no pile at (20, 380)"; return 1; }
    [ "$(pixel "$SHOT" 200 340)" = 00FF00 ] || { why="no pile at (200, 340)"; return 1; }
    [ "$(count "$SHOT" 20x20+88+330 111111)" = 400 ] || { why="the hole at (88, 330) is not open"; return 1; }
    [ "$(count "$SHOT" 20x1+388+370 111111)" = 20 ] || { why="the last column is not empty at y 370"; return 1; }
    [ "$(pixel "$SHOT" 415 395)" = AAAAAA ] || { why="the window is not grey at (415, 395)"; return 1; }
    [ "$(count "$SHOT" 400x42+8+8 111111)" = 16800 ] || { why="the top of the well is not 111111"; return 1; }
    [ "$(echo "$b" | sed -n '15,19p')" = "$PILE" ] || { why="the pile is not the title's: $(printf '\n%s' "$b")"; return 1; }
    [ "$(count "$SHOT" 60x60+208+50 0000FF)" = 1600 ] &&
        [ "$(others "$SHOT" 60x60+208+50 0000FF 111111)" = 0 ] ||
        { why="the demo piece is not four blue cells in (208..267, 50..109)"; return 1; }
}

# The title's demo piece as a 3 x 3 grid of cells.
demo() { cells "$1" 60x60+208+50 3x3; }

# A game in progress before anything has landed: the well dark but for
# one to four blue cells, four white cells in the preview, a score drawn.
is_fresh_game() {
    local blue
    blue=$(count "$SHOT" $WELL 0000FF)
    [ "$(count "$SHOT" $WELL 00FF00)" = 0 ] || { why="green in the well"; return 1; }
    [ "$(others "$SHOT" $WELL 0000FF 111111)" = 0 ] || { why="the well has colours other than 111111 and the blue piece"; return 1; }
    [ "$blue" -ge 400 ] && [ "$blue" -le 1600 ] && [ $((blue % 400)) = 0 ] ||
        { why="$blue blue pixels in the well, not one to four cells"; return 1; }
    [ "$(count "$SHOT" $PREVIEW FFFFFF)" = 1600 ] && [ "$(others "$SHOT" $PREVIEW FFFFFF AAAAAA)" = 0 ] ||
        { why="the preview is not four white cells"; return 1; }
    [ "$(others "$SHOT" $SCORE AAAAAA)" -gt 30 ] || { why="no score text at (430, 240)"; return 1; }
    [ "$(pixel "$SHOT" 415 395)" = AAAAAA ] || { why="the window is not grey at (415, 395)"; return 1; }
}

# The game-over and pause pictures as the game draws them over the well.
expect_pictures() {
    keyed "$root/pix/over.bmp" "$art/expect-over.png"
    keyed "$root/pix/paus.bmp" "$art/expect-pause.png"
}
picture_at() { [ "$(differ "$SHOT" "$2" "$1" "${2%%+*}+0+0")" = 0 ]; }
is_game_over() { picture_at "$art/expect-over.png" $OVER; }
is_paused() { picture_at "$art/expect-pause.png" $PAUSE; }

# Exactly $1 blue cells on the board.
blue_cells() {
    local n
    n=$(board "$SHOT" | shape n B)
    [ "$n" = "$1" ] || { why="$n blue cells, not $1"; return 1; }
}

# The board of the latest screenshot, for failure messages.
show_board() { printf '\n%s' "$(board "$SHOT")"; }
