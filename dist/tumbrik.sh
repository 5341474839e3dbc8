#!/bin/sh
# Start Tumbrik from its data folder: the game reads pix/ and sound/ from
# the folder it starts in.
here=$(dirname "$(readlink -f "$0")")
cd "$here/../share/tumbrik" || exit 1
exec "$here/../lib/tumbrik/tumbrik" "$@"
