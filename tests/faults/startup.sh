#!/bin/sh
# One row of the start-up fault table (startup.rows): copy the game's
# pictures and sounds into a scratch folder, damage them as the row says,
# start the game there the row's way, and hold what it does against the
# row: the exit status, the one line on stderr, no sanitizer report, and
# the libSDL-1.2 the game loaded (see tests/sdllib.sh).
#
#   startup.sh <row> <game> <closewin> <asset-root> [compat]
#
# With "compat" the game runs on sdl12-compat (the caller sets
# LD_LIBRARY_PATH), and a row of compat.rows stands in for the row of the
# same name in startup.rows.
set -u
row=$1 game=$2 closewin=$3 root=$4 library=${5:-real}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"
. "$here/../sdllib.sh"

line=
[ "$library" = compat ] && line=$(grep -E "^$row[[:space:]]" "$here/compat.rows")
[ -n "$line" ] || line=$(grep -E "^$row[[:space:]]" "$here/startup.rows")
[ -n "$line" ] || { echo "no row named $row in startup.rows or compat.rows"; exit 2; }
read -r name run setup want pattern <<EOF
$line
EOF

scratch=$(cd "$(mktemp -d)" && pwd -P)
trap 'stop_xvfb; rm -rf "$scratch"' EXIT
mkdir "$scratch/game" "$scratch/log"
cp -R "$root/pix" "$root/sound" "$scratch/game/"
cd "$scratch/game" || exit 2

# The rows choose the drivers and displays; nothing comes from the
# caller's environment. A Wayland display a row names is a socket in a
# private runtime folder, where no compositor listens. The caches of SDL
# 2's OpenGL renderer (sdl12-compat) stay in the scratch folder too.
unset SDL_VIDEODRIVER DISPLAY WAYLAND_DISPLAY
SDL_AUDIODRIVER=dummy
mkdir -m 700 "$scratch/run" "$scratch/cache"
XDG_RUNTIME_DIR=$scratch/run
XDG_CACHE_HOME=$scratch/cache
export SDL_AUDIODRIVER XDG_RUNTIME_DIR XDG_CACHE_HOME
sanitizers "$here"
# SDL 2 under sdl12-compat leaves allocations of its own (D-Bus) at exit,
# so the leak check is the real SDL 1.2's; and the slow unwinder, which
# only the leak suppressions need, deadlocks there with SDL 2's renderer
# threads.
[ "$library" = compat ] && ASAN_OPTIONS=detect_leaks=0

# ---- the damage ----
damage() {
    case $1 in
    -) ;;
    nopix) rm -r pix ;;
    *=*) export "$1" ;;
    missing:*) rm "${1#*:}" ;;
    empty:*) : >"${1#*:}" ;;
    folder:*) rm "${1#*:}" && mkdir "${1#*:}" ;;
    text:*) echo "Not a picture nor a sound, only a line of text." >"${1#*:}" ;;
    half:*)
        f=${1#*:}
        size=$(wc -c <"$f")
        head -c $((size / 2)) "$f" >"$f.part" && mv "$f.part" "$f" ;;
    size:*)
        rest=${1#size:}
        convert -size "${rest%%:*}" xc:black BMP3:"${rest#*:}" ;;
    poke:*)
        rest=${1#poke:}
        offset=${rest%%:*} rest=${rest#*:}
        hex=${rest%%:*} f=${rest#*:}
        bytes=
        while [ -n "$hex" ]; do
            rest=${hex#??}
            bytes="$bytes\\$(printf '%03o' "0x${hex%"$rest"}")"
            hex=$rest
        done
        printf "$bytes" | dd of="$f" bs=1 seek="$offset" conv=notrunc status=none ;;
    flip:*)
        rest=${1#flip:}
        offset=${rest%%:*} rest=${rest#*:}
        mask=${rest%%:*} f=${rest#*:}
        byte=$(od -An -tu1 -j "$offset" -N 1 "$f" | tr -d ' ')
        printf "\\$(printf '%03o' $((byte ^ 0x$mask)))" |
            dd of="$f" bs=1 seek="$offset" conv=notrunc status=none ;;
    copy:*)
        rest=${1#copy:}
        cp "$here/${rest%%:*}" "${rest#*:}" ;;
    *) echo "unknown setup item $1"; exit 2 ;;
    esac
}
old_ifs=$IFS
IFS=,
for item in $setup; do
    IFS=$old_ifs
    damage "$item" || { echo "setup $item failed"; exit 2; }
done
IFS=$old_ifs

# An X display number nobody serves: no socket and no lock file.
dead_display() {
    n=400
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do
        n=$((n + 1))
    done
    echo ":$n"
}

# ---- the run ----
# The dynamic loader notes which libSDL-1.2 it starts, for the verdict.
LD_DEBUG=libs
LD_DEBUG_OUTPUT=$scratch/log/ld
export LD_DEBUG LD_DEBUG_OUTPUT
out=$scratch/log/stdout err=$scratch/log/stderr
started=$(date +%s%N)
case $run in
nodisplay)
    # In a terminal of its own, so that a text-mode video driver would show
    # itself by drawing into it. The terminal merges stdout into stderr.
    # Without a display the game must give up within 5 s.
    env -u DISPLAY -u SDL_VIDEODRIVER \
        script -qec "timeout -k 2 5 '$game'" /dev/null </dev/null >"$out" 2>&1
    STATUS=$?
    tr -d '\r' <"$out" >"$err"
    : >"$out"
    if grep -q "$(printf '\033')" "$err"; then
        echo "FAIL: the game wrote terminal control codes: a text-mode driver took the terminal"
        exit 1
    fi ;;
nox)
    DISPLAY=$(dead_display) timeout -k 2 5 "$game" >"$out" 2>"$err" </dev/null
    STATUS=$? ;;
dummy)
    SDL_VIDEODRIVER=dummy timeout -k 2 60 "$game" >"$out" 2>"$err" </dev/null
    STATUS=$?
    case $STATUS in
    124 | 137) echo "FAIL: the game did not stop by itself"; cat "$err"; exit 1 ;;
    esac ;;
esc | close)
    start_xvfb "$scratch/log" || exit 1
    if ! start_game "$game" "$scratch/log"; then
        echo "FAIL: the game's window did not appear"
        [ -z "$STATUS" ] && stop_process "$GAME_PID" 2
        cat "$err"
        exit 1
    fi
    expect_sdl "$(sdl_in_maps "$GAME_PID")" || maps_wrong=1
    if [ "$run" = esc ]; then
        xretry xdotool key Escape
    else
        xretry "$closewin" "$GAME_WINDOW"
    fi
    if ! wait_exit "$GAME_PID" 60; then
        echo "FAIL: the game did not end after the $run"
        stop_process "$GAME_PID" 2
        exit 1
    fi ;;
*) echo "unknown run $run"; exit 2 ;;
esac

elapsed=$((($(date +%s%N) - started) / 1000000))

# ---- the verdict ----
fail=0
# timeout says 124 when its TERM ended the game, 137 when the KILL after
# it had to.
case $STATUS in
124 | 137)
    echo "FAIL: the game was still running when its time was up"
    fail=1 ;;
esac
expect_sdl "$(sdl_in_lddebug "$scratch"/log/ld.*)" || fail=1
[ -n "${maps_wrong:-}" ] && fail=1
if sanitizer_report "$err" >/dev/null; then
    echo "FAIL: a sanitizer report"
    fail=1
fi
if [ "$STATUS" != "$want" ]; then
    echo "FAIL: exit status $STATUS, expected $want"
    fail=1
fi
if [ -s "$out" ]; then
    echo "FAIL: the game wrote on stdout"
    fail=1
fi
lines=$(wc -l <"$err")
if [ "$pattern" = - ]; then
    [ -s "$err" ] && { echo "FAIL: expected nothing on stderr"; fail=1; }
else
    pattern=$(printf '%s' "$pattern" | sed "s|@DIR@|$scratch/game|g")
    if [ "$lines" -ne 1 ] || ! grep -Eq -- "$pattern" "$err"; then
        echo "FAIL: expected one line on stderr matching: $pattern"
        fail=1
    fi
fi
echo "---- $name: exit status $STATUS after $elapsed ms; stderr:"
cat "$err"
[ -s "$out" ] && { echo "---- stdout:"; cat "$out"; }
exit $fail
