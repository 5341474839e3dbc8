#!/bin/sh
# Fetch sdl12-compat, the SDL 1.2 of today's distributions (SDL 1.2 on
# SDL 2), into the build tree, beside the real SDL 1.2 the game is built
# with, so that the tests can run the same game on both. Debian ships it
# as libsdl1.2-compat; only its library is unpacked, nothing is installed
# and the real libsdl1.2-dev stays. Afterwards DEST/lib holds
# libSDL-1.2.so.0: LD_LIBRARY_PATH=DEST/lib runs a program on it.
#
#   fetch.sh DEST
set -eu
[ $# -eq 1 ] || { echo "usage: $0 DEST" >&2; exit 2; }
dest=$1
package=libsdl1.2-compat

if [ -e "$dest/lib/libSDL-1.2.so.0" ]; then
    echo "sdl12-compat is already in $dest/lib"
    exit 0
fi

# It runs on SDL 2, which the system must have. Asked of dpkg, not of
# ldconfig, which Debian keeps in /sbin, off a user's PATH.
if ! dpkg-query -W -f='${Status}' libsdl2-2.0-0 2>/dev/null | grep -q 'ok installed'; then
    echo "fetch.sh: sdl12-compat needs SDL 2 (libsdl2-2.0-0; ./deps.sh test installs it)" >&2
    exit 1
fi

rm -rf "$dest"
mkdir -p "$dest/deb"
dest=$(cd "$dest" && pwd)
cd "$dest/deb"
# apt-get download needs the package lists, which a fresh machine may not
# have yet.
if ! apt-get download "$package" >download.log 2>&1; then
    echo "fetch.sh: apt-get download $package failed; updating the package lists"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -qq ||
        { echo "fetch.sh: apt-get update failed" >&2; exit 1; }
    apt-get download "$package" >download.log 2>&1 ||
        { cat download.log >&2; echo "fetch.sh: apt-get download $package failed" >&2; exit 1; }
fi
deb=$(ls ./"$package"_*.deb)
dpkg-deb -x "$deb" "$dest/root" || { echo "fetch.sh: dpkg-deb could not unpack $deb" >&2; exit 1; }

lib=$(find "$dest/root" -name libSDL-1.2.so.0 | head -n 1)
[ -n "$lib" ] || { echo "fetch.sh: $deb holds no libSDL-1.2.so.0" >&2; exit 1; }
ln -s "$(dirname "$lib")" "$dest/lib"
echo "sdl12-compat $(dpkg-deb -f "$deb" Version) is in $dest/lib"
