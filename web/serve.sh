#!/bin/sh
# Build the site and serve it on 127.0.0.1 for a player to open.
#   web/serve.sh [port]      (default 8580)
set -eu
web=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$web")
port=${1:-8580}
"$web/build.sh" "$root/build-web/site"
echo "Open http://127.0.0.1:$port/ in a browser; Ctrl+C stops the server."
exec python3 -m http.server --bind 127.0.0.1 --directory "$root/build-web/site" "$port"
