#!/bin/sh
# The game on the display, on both SDL 1.2 libraries: builds the Release
# configuration into build-bench (as run.sh does), fetches sdl12-compat
# into build-bench/sdl12-compat, and under a private Xvfb measures
#   - passes per second, and the CPU share of the game and of the X
#     server, over 10 s on the title screen and 10 s on the playing
#     screen: the real SDL 1.2, sdl12-compat with its flip waiting for
#     nothing (SDL12COMPAT_SYNC_TO_VBLANK=0) and sdl12-compat with its flip
#     in step with the display (the game's default there);
#   - the time from process start to the mapped window on both libraries
#     (tumbrik_startup, 15 runs each).
# Passes are counted as page flips by a preloaded counter
# (benchmarks/flipcount.cpp); CPU time is read from /proc/PID/stat.
# Prints one table against the budgets; exit status 1 when one is missed.
# Scratch files go to build-bench/perf/libraries. See docs/performance.md.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/benchmarks/common.sh"
. "$root/tests/sdllib.sh"
out="$build/perf/libraries"
seconds=10

need_tools Xvfb xdotool apt-get dpkg-deb pkg-config
build_release tumbrik tumbrik_startup tumbrik_flipcount
sh "$root/tests/compat/fetch.sh" "$build/sdl12-compat" >/dev/null ||
    { echo "display.sh: could not fetch sdl12-compat" >&2; exit 2; }
compat="$build/sdl12-compat/lib"
real="$(pkg-config --variable=libdir sdl)/libSDL-1.2.so.0"
counter="$build/benchmarks/libtumbrik_flipcount.so"
mkdir -p "$out"
cd "$root"
load=$(cut -d' ' -f1-3 /proc/loadavg)

echo "Starting Xvfb ..."
game=
trap 'kill $game 2>/dev/null || true; stop_xvfb' EXIT
start_xvfb "$out" 1024x768x24 >&2 || exit 2
unset SDL_VIDEODRIVER WAYLAND_DISPLAY SDL12COMPAT_SYNC_TO_VBLANK
export SDL_AUDIODRIVER=dummy
# SDL 2's OpenGL renderer (sdl12-compat) keeps its caches here, not in the
# user's home.
mkdir -p "$out/cache"
export XDG_CACHE_HOME="$out/cache"

hz=$(getconf CLK_TCK)
# CPU ticks (user + system) that process $1 has used so far.
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
now_ns() { date +%s%N; }

# window SECONDS: the game's window id once it is named, or fail.
window() {
    for _ in $(seq $(($1 * 10))); do
        w=$(xdotool search --name '^Tumbrik$' 2>/dev/null | head -n 1)
        [ -n "$w" ] && { echo "$w"; return 0; }
        sleep 0.1
    done
    return 1
}

# sample SCREEN: passes per second and CPU shares of the running game and
# of Xvfb over $seconds s, as a line "LIBRARY SCREEN PASSES GAME% X%".
sample() {
    f0=$(od -An -tu8 -N8 "$out/flips" | tr -d ' ')
    g0=$(ticks "$game") x0=$(ticks "$XVFB_PID") t0=$(now_ns)
    sleep "$seconds"
    f1=$(od -An -tu8 -N8 "$out/flips" | tr -d ' ')
    g1=$(ticks "$game") x1=$(ticks "$XVFB_PID") t1=$(now_ns)
    awk -v f=$((f1 - f0)) -v g=$((g1 - g0)) -v x=$((x1 - x0)) -v t=$((t1 - t0)) -v hz="$hz" \
        -v lib="$label" -v screen="$1" 'BEGIN {
            s = t / 1e9
            printf "%s %s %.1f %.1f %.1f\n", lib, screen, f / s, 100 * g / hz / s, 100 * x / hz / s
        }' >>"$out/load.txt"
}

# measure LABEL KIND LIBRARY ENV...: the game on the title screen, then
# after F2 on the playing screen, with ENV in its environment; it must run
# on LIBRARY, an SDL 1.2 of KIND real or compat (tests/sdllib.sh), or the
# figures would be another library's.
measure() {
    label=$1
    TUMBRIK_SDL_KIND=$2
    TUMBRIK_SDL_LIB=$3
    shift 3
    echo "Measuring $label ($seconds s on each screen) ..."
    rm -f "$out/flips"
    env "$@" LD_PRELOAD="$counter" TUMBRIK_FLIPS="$out/flips" "$build/tumbrik" \
        >"$out/$label.log" 2>&1 &
    game=$!
    win=$(window 20) || { echo "$label: no window within 20 s; see $out/$label.log" >&2; exit 2; }
    loaded=$(expect_sdl "$(sdl_in_maps "$game")") ||
        { echo "$label: $loaded" >&2; exit 2; }
    loaded=${loaded#libSDL-1.2 loaded: }
    echo "$label ${loaded%, as meant}" >>"$out/libraries.txt"
    xdotool windowfocus --sync "$win"
    xdotool mousemove --window "$win" 200 200
    sleep 2
    sample title
    xdotool key F2
    sleep 2
    sample playing
    xdotool key Escape
    for _ in $(seq 100); do
        kill -0 "$game" 2>/dev/null || break
        sleep 0.1
    done
    kill -9 "$game" 2>/dev/null && echo "$label: the game did not end on Escape" >&2
    wait "$game" || true
    game=
}

rm -f "$out/load.txt" "$out/libraries.txt"
measure real real "$real"
measure compat-nosync compat "$compat/libSDL-1.2.so.0" \
    LD_LIBRARY_PATH="$compat" SDL12COMPAT_SYNC_TO_VBLANK=0
measure compat-sync compat "$compat/libSDL-1.2.so.0" LD_LIBRARY_PATH="$compat"

runs=15
echo "Timing $runs start-ups on each library ..."
"$build/benchmarks/tumbrik_startup" "$runs" "$build/tumbrik" >"$out/startup-real.txt"
LD_LIBRARY_PATH="$compat" "$build/benchmarks/tumbrik_startup" "$runs" "$build/tumbrik" \
    >"$out/startup-compat.txt"

# ==== The table ====
echo
echo "Machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores," \
    "$(. /etc/os-release && echo "$PRETTY_NAME")"
echo "Load average before the run: $load"
while read -r label lib; do
    echo "$label: $lib"
done <"$out/libraries.txt"
echo
row measure figure budget verdict
while read -r label screen passes gameCpu xCpu; do
    budget="" v=""
    if [ "$label" = compat-sync ]; then
        check "$gameCpu" "<=" 25
        v1=$v
        check "$passes" ">=" 55
        [ "$v1" = ok ] || v=MISSED
        budget=">= 55/s, <= 25 %"
    fi
    row "$label $screen: passes, game CPU" "$passes/s, $gameCpu % (X: $xCpu %)" "$budget" "$v"
done <"$out/load.txt"
for lib in real compat; do
    set -- $(awk '$1 == "summary" && $2 == "mapped" { print $3, $4 }' "$out/startup-$lib.txt")
    check "$1" "<=" 150
    row "$lib: window mapped after process start" "median $1, max $2 ms" "median <= 150" "$v"
done
exit "$missed"
