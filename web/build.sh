#!/bin/sh
# Build the game for the browser into one static folder (default
# build-web/site): index.html, its script, the WebAssembly and the
# preloaded pix/ and sound/. Uses Debian's emscripten; downloads nothing.
#   web/build.sh [outdir]
set -eu
web=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$web")
out=${1:-$root/build-web/site}
mkdir -p "$out"
out=$(cd "$out" && pwd)

"$root/deps.sh" web ||
    { echo "web/build.sh: could not install Debian's emscripten (./deps.sh web)" >&2; exit 1; }

# Debian's emscripten finds its JavaScript tools (the optimiser's
# acorn and the like) among Debian's node packages.
NODE_PATH=/usr/share/nodejs
export NODE_PATH

# The game reads pix/ and sound/ from its working folder; in the page
# that is /tumbrik (web/entry.cpp), where the data is preloaded.
cd "$root"
emcc -std=c++17 -O2 -Wall -Wextra \
    -include web/sdl12.h -Isrc \
    src/main.cpp src/pkfont.cpp web/entry.cpp \
    --js-library web/library.js \
    --shell-file web/shell.html \
    --preload-file pix@/tumbrik/pix --preload-file sound@/tumbrik/sound --use-preload-plugins \
    -sMINIFY_HTML=0 -sENVIRONMENT=web \
    -sEXPORTED_FUNCTIONS=_main,_fileno,_fclose \
    -o "$out/index.html" ||
    { echo "web/build.sh: emcc failed" >&2; exit 1; }
echo "web/build.sh: the site is in $out"
