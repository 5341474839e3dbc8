# Sourced by the tests that run the real game (POSIX sh): which
# libSDL-1.2.so.0 the game has loaded, held against the one the test means
# to run it on, so that no test passes on the wrong library. CTest names
# that library in TUMBRIK_SDL_LIB: the real SDL 1.2, or sdl12-compat
# fetched into the build tree (tests named *.compat); and its kind in
# TUMBRIK_SDL_KIND, real or compat, so that a system whose own
# libSDL-1.2 is sdl12-compat cannot pass for the real SDL 1.2.

# The libSDL-1.2 file mapped into running process $1.
sdl_in_maps() {
    awk '$6 ~ /\/libSDL-1\.2\.so/ { print $6; exit }' "/proc/$1/maps" 2>/dev/null
}

# The libSDL-1.2 that the dynamic loader started, read from the files
# that LD_DEBUG=libs wrote (LD_DEBUG_OUTPUT): for runs too short to catch
# in /proc.
sdl_in_lddebug() {
    sed -n 's/.*calling init: \(.*\/libSDL-1\.2\.so[^ ]*\).*/\1/p' "$@" 2>/dev/null | head -n 1
}

# True when file $1 is $TUMBRIK_SDL_LIB (the same device and inode, so
# that links and /lib against /usr/lib do not matter) and of the kind
# $TUMBRIK_SDL_KIND, told by the version its file name ends in: the real
# SDL 1.2 is libSDL-1.2.so.0.11.x, sdl12-compat libSDL-1.2.so.1.2.x. Says
# which library it was either way; without TUMBRIK_SDL_LIB it only says.
expect_sdl() {
    if [ -z "$1" ]; then
        echo "FAIL: no libSDL-1.2 was seen loaded"
        return 1
    fi
    if [ -z "${TUMBRIK_SDL_LIB:-}" ]; then
        echo "libSDL-1.2 loaded: $1 (not checked: TUMBRIK_SDL_LIB is not set)"
        return 0
    fi
    if [ "$(stat -L -c %d:%i "$1" 2>/dev/null)" != "$(stat -L -c %d:%i "$TUMBRIK_SDL_LIB" 2>/dev/null)" ]; then
        echo "FAIL: the game loaded $1, not $TUMBRIK_SDL_LIB"
        return 1
    fi
    sdl_file=$(readlink -f "$1")
    case ${TUMBRIK_SDL_KIND:-}:${sdl_file##*/} in
    real:libSDL-1.2.so.0.11.* | compat:libSDL-1.2.so.1.2.*) ;;
    real:* | compat:*)
        echo "FAIL: the game loaded $sdl_file, which is not the $TUMBRIK_SDL_KIND SDL 1.2 by its name"
        return 1 ;;
    *)
        echo "FAIL: TUMBRIK_SDL_KIND is '${TUMBRIK_SDL_KIND:-}', not real or compat"
        return 1 ;;
    esac
    echo "libSDL-1.2 loaded: $sdl_file ($TUMBRIK_SDL_KIND), as meant"
}
