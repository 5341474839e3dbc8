#!/bin/sh
# Install the Debian packages the game needs that are missing.
#   ./deps.sh play   to build and play
#   ./deps.sh deb    to build the Debian package as well (dist/deb.sh)
#   ./deps.sh test   to build and run every test as well
set -eu
mode=${1:-play}
want="g++ cmake make pkg-config libsdl1.2-dev libsdl-mixer1.2-dev"
deb="build-essential debhelper"   # dpkg-buildpackage needs build-essential
case $mode in
    play) ;;
    deb) want="$want $deb" ;;
    test) want="$want $deb libgtest-dev libbenchmark-dev clang libclang-rt-14-dev
          libfreetype-dev libpng-dev libvorbis-dev libogg-dev fonts-dejavu-core
          xvfb xauth xdotool imagemagick x11-utils sox valgrind time
          lintian appstream desktop-file-utils man-db groff-base" ;;
    *) echo "usage: $0 [play|deb|test]" >&2; exit 2 ;;
esac
missing=""
for p in $want; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
echo "Installing:$missing"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends $missing
