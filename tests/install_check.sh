#!/bin/sh
# Install into a scratch prefix and start the game through its launcher from
# a folder that is not its data folder: it must find its pictures and
# sounds, run, and quit cleanly (SIGTERM asks SDL to quit, like closing the
# window).
#   install_check.sh <build-dir> <scratch-prefix>
set -u
build=$1
prefix=$2
rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "install failed"; exit 1; }
for f in bin/tumbrik lib/tumbrik/tumbrik share/tumbrik/pix/Tahoma10.bmp \
         share/tumbrik/pix/tumbrik2.bmp share/tumbrik/sound/block.ogg \
         share/tumbrik/sound/bonus.wav share/applications/tumbrik.desktop \
         share/pixmaps/tumbrik.xpm; do
    [ -e "$prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done
cd /
SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy "$prefix/bin/tumbrik" 2>"$prefix/stderr" &
pid=$!
sleep 2
if ! kill -0 "$pid" 2>/dev/null; then
    echo "the game stopped by itself:"; cat "$prefix/stderr"; exit 1
fi
kill -TERM "$pid"
wait "$pid"
rc=$?
cat "$prefix/stderr"
[ "$rc" -eq 0 ] || { echo "exit status $rc"; exit 1; }
if [ -s "$prefix/stderr" ]; then
    echo "the game complained"; exit 1
fi
echo "installed game started from / and quit cleanly"
