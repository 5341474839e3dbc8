#!/bin/sh
# Install the Debian packages the game needs that are missing.
#   ./deps.sh play   to build and play
#   ./deps.sh test   to build and run every test as well
set -eu
want="g++ cmake make pkg-config libsdl1.2-dev libsdl-mixer1.2-dev"
if [ "${1:-play}" = test ]; then
    want="$want libgtest-dev libbenchmark-dev clang libclang-rt-14-dev
          libfreetype-dev libvorbis-dev libogg-dev fonts-dejavu-core
          xvfb xauth xdotool imagemagick x11-utils sox valgrind time
          libsdl2-2.0-0 weston"
fi
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
