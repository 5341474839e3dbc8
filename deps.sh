#!/bin/sh
# Install the Debian packages the game needs that are missing.
#   ./deps.sh play   to build and play
#   ./deps.sh deb    to build the Debian package as well (dist/deb.sh)
#   ./deps.sh web    to build the game for the browser (web/build.sh)
#   ./deps.sh test   to build and run every test as well
set -eu
mode=${1:-play}
want="g++ cmake make pkg-config libsdl1.2-dev libsdl-mixer1.2-dev"
deb="build-essential debhelper"   # dpkg-buildpackage needs build-essential
web="emscripten python3"
case $mode in
    play) ;;
    deb) want="$want $deb" ;;
    web) want="$web" ;;
    test) want="$want $deb $web libgtest-dev libbenchmark-dev clang libclang-rt-14-dev
          libfreetype-dev libpng-dev libvorbis-dev libogg-dev fonts-dejavu-core
          xvfb xauth xdotool imagemagick x11-utils sox valgrind time
          lintian appstream desktop-file-utils man-db groff-base chromium
          libsdl2-2.0-0 weston"
        # The browser test runs puppeteer-core under node; a node from
        # elsewhere that brings its own npm is kept.
        command -v npm >/dev/null 2>&1 || want="$want nodejs npm" ;;
    *) echo "usage: $0 [play|deb|web|test]" >&2; exit 2 ;;
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
