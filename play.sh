#!/bin/sh
# Install what is missing, build, and play. The game reads pix/ and sound/
# from the folder it starts in, so it starts here.
set -eu
cd "$(dirname "$0")"
./deps.sh play
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTUMBRIK_SANITIZE=OFF -DTUMBRIK_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)"
exec build/tumbrik
